#include "appcore/sources.h"

#include <filesystem>

#include "platform/file_find.h"
#include "platform/utf8_path.h"

namespace appcore {

std::string SourceFolderName(const std::string& source) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path p = fs::absolute(platform::Utf8Path(source), ec).lexically_normal();
  std::string s = platform::PathUtf8(p);
  while (s.size() > 1 && platform::IsPathSeparator(s.back())) s.pop_back();
  return platform::PathUtf8(platform::Utf8Path(s).filename());
}

SourceAdded AddSource(engine::TKavoBurner& burner, const std::string& source) {
  if (platform::IsDirectory(source)) {
    const std::string name = SourceFolderName(source);
    std::string dest = "\\";
    if (!name.empty()) {  // the file-system root has no name: its contents go into the root
      auto* dir = burner.MakeCompilationDir("\\", name);
      if (dir == nullptr) return SourceAdded::FolderRefused;
      burner.TakeFolderAttributes(*dir, source);
      dest += name;
    }
    burner.AddFolderToCompilation(dest, source, false, false, true, platform::kAttrAnyFile, "*.*");
    return SourceAdded::Added;
  }
  if (burner.AddFileToCompilation("\\", source, false) == 255) return SourceAdded::NotFound;
  return SourceAdded::Added;
}

}  // namespace appcore
