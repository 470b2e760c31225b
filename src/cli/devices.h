#pragma once
// zantic-cli devices: the drive list, one line per CD/DVD drive.
#include <cstdio>
#include <string>
#include <vector>

namespace cli {

inline constexpr const char* kDevicesUsage =
    "usage: zantic-cli devices\n"
    "\n"
    "Lists the CD/DVD drives, one per line: host adapter:target:logical unit,\n"
    "drive letter (\"?:\" when the system names none), vendor, product and\n"
    "revision; the device node follows after a tab where there is one.\n";
inline constexpr const char* kNoTransport =
    "No CD/DVD drives found: no optical drive answers through the pass-through layer "
    "and no ASPI library is installed.\n";
inline constexpr const char* kNoDrivesOn = "No CD/DVD drives found on %s.\n";

// The virtual recorders: one for a disc file named by --device, else the
// configured ones.
void RegisterRecorders(const std::vector<std::string>& args);

int RunDevices(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace cli
