// The shutdown privilege, then a power-off request.
#include <windows.h>

#include "platform/power.h"

namespace platform::detail {

bool SystemPowerOff(std::string& error) {
  // Without the privilege the request below fails and says so; a failure
  // to enable it is not an error in itself.
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    TOKEN_PRIVILEGES privileges{};
    if (LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
      privileges.PrivilegeCount = 1;
      privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
      AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
    CloseHandle(token);
  }
  if (ExitWindowsEx(EWX_POWEROFF, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_FLAG_PLANNED)) return true;
  error = "Windows refused to switch the computer off (error " + std::to_string(GetLastError()) + ").";
  return false;
}

}  // namespace platform::detail
