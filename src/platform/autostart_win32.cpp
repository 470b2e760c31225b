#include <windows.h>

#include <string>
#include <vector>

#include "platform/autostart.h"
#include "platform/win32_text.h"

namespace platform {

namespace {

constexpr const wchar_t* kRunKey = L"software\\microsoft\\windows\\currentversion\\run";
constexpr const char* kRunKeyName = "HKEY_LOCAL_MACHINE\\software\\microsoft\\windows\\currentversion\\run";

base::Error RegistryError(const std::string& what, LONG code) {
  return base::MakeError(base::ErrorKind::System, what + ": " + win32::ErrorText(static_cast<unsigned long>(code)));
}

// An argument of the command line the shell runs: quoted only where it has
// to be, so "-Schedule" stays as it is.
std::string CommandArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++backslashes;
    } else {
      // Backslashes before a quote are doubled, and the quote escaped.
      if (c == '"') out.append(backslashes + 1, '\\');
      backslashes = 0;
    }
    out += c;
  }
  out.append(backslashes, '\\');
  return out + "\"";
}

}  // namespace

std::string AutostartEntryPath(const std::string& name) { return std::string(kRunKeyName) + "\\" + name; }

bool AutostartEntryExists(const std::string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  const LONG found = RegQueryValueExW(key, win32::Wide(name).c_str(), nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return found == ERROR_SUCCESS;
}

base::Status WriteAutostartEntry(const std::string& name, const std::string& executable,
                                 const std::vector<std::string>& arguments) {
  if (executable.find('"') != std::string::npos)
    return base::MakeError(base::ErrorKind::InvalidInput, "a quote in the program path");
  // The program path always quoted, then the arguments.
  std::string command = "\"" + executable + "\"";
  for (const auto& a : arguments) command += " " + CommandArgument(a);
  HKEY key = nullptr;
  const LONG opened = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_SET_VALUE, nullptr, &key, nullptr);
  if (opened != ERROR_SUCCESS) return RegistryError(std::string("cannot open ") + kRunKeyName, opened);
  const std::wstring value = win32::Wide(command);
  const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  const LONG written = RegSetValueExW(key, win32::Wide(name).c_str(), 0, REG_SZ,
                                      reinterpret_cast<const BYTE*>(value.c_str()), bytes);
  RegCloseKey(key);
  if (written != ERROR_SUCCESS) return RegistryError("cannot write " + AutostartEntryPath(name), written);
  return base::Ok();
}

base::Status RemoveAutostartEntry(const std::string& name) {
  HKEY key = nullptr;
  const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &key);
  if (opened == ERROR_FILE_NOT_FOUND) return base::Ok();
  if (opened != ERROR_SUCCESS) return RegistryError(std::string("cannot open ") + kRunKeyName, opened);
  const LONG removed = RegDeleteValueW(key, win32::Wide(name).c_str());
  RegCloseKey(key);
  if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND)
    return RegistryError("cannot remove " + AutostartEntryPath(name), removed);
  return base::Ok();
}

std::string ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return win32::Utf8(path);
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

}  // namespace platform
