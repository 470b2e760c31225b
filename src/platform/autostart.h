#pragma once
// The entry that starts a program when the user logs on: on Linux an XDG
// autostart desktop entry, on Windows a value of the Run key. Entries are
// known by their display name ("Zantic Schedule").
#include <string>
#include <vector>

#include "base/result.h"

namespace platform {

// Where the entry of that name lives (Linux: the .desktop file in
// $XDG_CONFIG_HOME/autostart, or ~/.config/autostart). Empty when no
// configuration folder can be found.
std::string AutostartEntryPath(const std::string& name);
bool AutostartEntryExists(const std::string& name);
// Writes the entry so that it starts `executable` with `arguments`,
// replacing one of the same name.
base::Status WriteAutostartEntry(const std::string& name, const std::string& executable,
                                 const std::vector<std::string>& arguments);
// A missing entry counts as removed.
base::Status RemoveAutostartEntry(const std::string& name);

// The full path of the running program; empty when it cannot be found.
std::string ExecutablePath();

}  // namespace platform
