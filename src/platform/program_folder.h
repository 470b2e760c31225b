#pragma once
// Where the program keeps Option.ini, Tips.ini and the Schedule folder.
#include <string>

namespace platform {

// The folder of the running executable when the user can write there and
// the program is not installed under a prefix (a copy unpacked into a home
// folder, or the build tree); otherwise, as for an installation in /usr,
// the per-user folder
// $XDG_CONFIG_HOME/zantic (or ~/.config/zantic). The environment variable
// ZANTIC_HOME, when set, overrides both. No trailing separator.
std::string ProgramFolder();
// The folder of the running executable, where data delivered with the
// program (Tips.ini) lies; empty when unknown.
std::string ExecutableFolder();
// Where the files delivered with the program (skins, tips, help) lie: for
// an installation under a prefix (<prefix>/bin/zantic) the folder
// <prefix>/share/zantic when it exists, otherwise the executable's folder.
std::string ShippedDataFolder();
// Where per-user data lives: $XDG_DATA_HOME (absolute), else
// ~/.local/share on Linux; the local application data folder on Windows.
// Empty when there is none.
std::string UserDataFolder();

}  // namespace platform
