#include <windows.h>
#include <shlobj.h>

#include <string>

#include "platform/autostart.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "platform/win32_text.h"

namespace platform {

namespace {

// Whether a file can be made in the folder: the answer that counts, whatever
// the access lists say.
bool CanWriteIn(const std::string& folder) {
  wchar_t probe[MAX_PATH] = {};
  if (GetTempFileNameW(win32::WidePath(folder).c_str(), L"zan", 0, probe) == 0) return false;
  DeleteFileW(probe);
  return true;
}

}  // namespace

std::string ExecutableFolder() {
  const std::string exe = ExecutablePath();
  const std::size_t cut = exe.find_last_of("\\/");
  if (cut == std::string::npos) return {};
  // "C:\zantic.exe" keeps "C:\"; the program folder has no trailing
  // backslash, except where the root needs it.
  return cut == 2 && exe[1] == ':' ? exe.substr(0, 3) : exe.substr(0, cut);
}

std::string ShippedDataFolder() { return ExecutableFolder(); }

std::string ProgramFolder() {
  if (auto home = GetEnvironment("ZANTIC_HOME"); home && !home->empty()) {
    std::string folder = *home;
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    return folder;
  }
  const std::string exeFolder = ExecutableFolder();
  if (!exeFolder.empty() && CanWriteIn(exeFolder)) return exeFolder;
  wchar_t appData[MAX_PATH] = {};
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, appData)))
    return win32::Utf8(appData) + "\\Zantic";
  return exeFolder.empty() ? std::string(".") : exeFolder;
}

std::string UserDataFolder() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, folder))) return {};
  return win32::Utf8(folder);
}

}  // namespace platform
