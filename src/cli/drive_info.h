#pragma once
// zantic-cli drive-info and disc-info: what a drive can do and what its
// disc holds, as the device-capabilities and disc-information windows show it.
#include <cstdio>
#include <string>
#include <vector>

namespace cli {

inline constexpr const char* kDriveInfoUsage =
    "usage: zantic-cli drive-info [--device DEV]\n"
    "\n"
    "Shows the drive's name, what it reads and writes, its fastest read and\n"
    "write speeds, its buffer, and the write speeds it offers for the disc in it.\n"
    "DEV is the leading address of a `zantic-cli devices` line (1:0:0) or a\n"
    "device node; without it, the first drive that can write.\n";
inline constexpr const char* kDiscInfoUsage =
    "usage: zantic-cli disc-info [--device DEV]\n"
    "\n"
    "Shows the disc in the drive: medium, total, used and free space, whether\n"
    "it can be erased, its status and sessions, and one line per track.\n";

int RunDriveInfo(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);
int RunDiscInfo(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace cli
