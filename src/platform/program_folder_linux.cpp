#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/autostart.h"
#include "platform/program_folder.h"

namespace platform {

std::string ExecutableFolder() {
  const std::string exe = ExecutablePath();
  if (exe.empty()) return {};
  return std::filesystem::path(exe).parent_path().string();
}

std::string ShippedDataFolder() {
  const std::string exeFolder = ExecutableFolder();
  if (exeFolder.empty()) return {};
  const std::filesystem::path exe(exeFolder);
  if (exe.filename() == "bin") {
    std::error_code ec;
    const std::filesystem::path share = exe.parent_path() / "share" / "zantic";
    if (std::filesystem::is_directory(share, ec)) return share.string();
  }
  return exeFolder;
}

std::string ProgramFolder() {
  if (const char* home = std::getenv("ZANTIC_HOME"); home != nullptr && home[0] != '\0') {
    std::string folder = home;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
  }
  const std::string exeFolder = ExecutableFolder();
  // Installed under a prefix, the person's files never go next to the
  // program, even where that folder happens to be writable.
  const bool installed = !exeFolder.empty() && ShippedDataFolder() != exeFolder;
  if (!installed && !exeFolder.empty() && access(exeFolder.c_str(), W_OK) == 0) return exeFolder;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/')
    return std::string(xdg) + "/zantic";
  if (const char* userHome = std::getenv("HOME"); userHome != nullptr && userHome[0] == '/')
    return std::string(userHome) + "/.config/zantic";
  return exeFolder.empty() ? std::string(".") : exeFolder;
}

std::string UserDataFolder() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') return xdg;
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != 0)
    return (std::filesystem::path(home) / ".local" / "share").string();
  return {};
}

}  // namespace platform
