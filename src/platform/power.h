#pragma once
// Switching the computer off at the end of a burn. On Linux the session
// manager (logind, over the system D-Bus) does it, so that a user without
// root may; on Windows the shutdown privilege and ExitWindowsEx.
#include <functional>
#include <string>

namespace platform {

// Asks the system to power off now. False, with the reason in `error`, when
// the request was refused or could not be sent; true means it was accepted.
bool PowerOff(std::string& error);

// Replaces the real request (tests and dry runs); an empty function restores it.
void SetPowerOffForTesting(std::function<bool(std::string&)> fake);

namespace detail {
// The real request of this OS, one file per OS.
bool SystemPowerOff(std::string& error);
}  // namespace detail

}  // namespace platform
