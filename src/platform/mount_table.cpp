#include "platform/mount_table.h"

#include <mutex>
#include <sstream>

namespace platform {
namespace {

// "\040" and the like stand for space, tab, newline and backslash.
std::string Unescape(const std::string& field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string oct = field.substr(i + 1, 3);
      if (oct.size() == 3 && oct.find_first_not_of("01234567") == std::string::npos) {
        out.push_back(static_cast<char>(std::stoi(oct, nullptr, 8) & 0xFF));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

}  // namespace

std::vector<MountInfoLine> ParseMountInfo(const std::string& text) {
  std::vector<MountInfoLine> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::vector<std::string> f;
    for (std::string w; fields >> w;) f.push_back(w);
    // id parent major:minor root mount-point options [optional...] - type source super-options
    std::size_t dash = 6;
    while (dash < f.size() && f[dash] != "-") ++dash;
    if (dash + 2 >= f.size()) continue;
    MountInfoLine m;
    const std::string& dev = f[2];
    const auto colon = dev.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= dev.size() ||
        dev.find_first_not_of("0123456789:") != std::string::npos)
      continue;
    try {
      m.Major = static_cast<unsigned>(std::stoul(dev.substr(0, colon)));
      m.Minor = static_cast<unsigned>(std::stoul(dev.substr(colon + 1)));
    } catch (const std::exception&) {
      continue;
    }
    m.Root = Unescape(f[3]);
    m.MountPoint = Unescape(f[4]);
    m.FsType = f[dash + 1];
    m.Source = Unescape(f[dash + 2]);
    lines.push_back(std::move(m));
  }
  return lines;
}

namespace detail {
std::mutex& MountTableMutex() {
  static std::mutex m;
  return m;
}
std::string& MountTableOverride() {
  static std::string path;
  return path;
}
}  // namespace detail

void SetMountTableForTesting(std::string path) {
  std::lock_guard lock(detail::MountTableMutex());
  detail::MountTableOverride() = std::move(path);
}

}  // namespace platform
