#include "appcore/source_size.h"

#include <set>
#include <utility>
#include <vector>

#include "platform/file_find.h"

namespace appcore {

namespace {

bool IsSeparator(char c) { return c == '\\' || platform::IsPathSeparator(c); }

}  // namespace

std::optional<std::int64_t> MeasureSource(const std::string& path, MeasureControl& control) {
  platform::FindData self;
  if (!platform::GetFileInfo(path, self)) return 0;
  control.EntriesSeen.fetch_add(1, std::memory_order_relaxed);
  if ((self.Attributes & platform::kAttrDirectory) == 0) return static_cast<std::int64_t>(self.Size);

  std::uint64_t total = 0;
  std::set<std::pair<std::uint64_t, std::uint64_t>> seen;
  if (self.Inode != 0) seen.emplace(self.Device, self.Inode);
  std::vector<std::string> todo{path};
  while (!todo.empty()) {
    std::string folder = std::move(todo.back());
    todo.pop_back();
    if (folder.empty() || !IsSeparator(folder.back())) folder += platform::kPathSeparator;
    platform::FileFinder finder;
    finder.SetArchiveLookup(false);
    platform::FindData fd;
    for (bool ok = finder.FindFirst(folder + "*.*", platform::kAttrAnyFile, fd); ok; ok = finder.FindNext(fd)) {
      if (control.Cancel.load(std::memory_order_relaxed)) return std::nullopt;
      if (fd.Name == "." || fd.Name == "..") continue;
      control.EntriesSeen.fetch_add(1, std::memory_order_relaxed);
      if ((fd.Attributes & platform::kAttrDirectory) == 0) {
        total += fd.Size;
      } else if (fd.Inode == 0 || seen.emplace(fd.Device, fd.Inode).second) {
        todo.push_back(folder + fd.Name);
      }
    }
  }
  return static_cast<std::int64_t>(total);
}

}  // namespace appcore
