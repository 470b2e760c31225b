#pragma once
// Where the system has mounted the file system of an optical drive's disc:
// the mount table on Linux (the drive's device node, links resolved), the
// drive letter's root on Windows.
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct DriveMount {
  // The location names a drive of the system (a device node, a lettered
  // drive); false for anything else, such as a virtual recorder's disc file.
  bool SystemDrive = false;
  std::optional<std::string> MountPoint;  // nullopt: not mounted
};

DriveMount FindDriveMount(const std::string& location, char letter);

// One line of /proc/self/mountinfo, octal escapes decoded.
struct MountInfoLine {
  unsigned Major = 0;
  unsigned Minor = 0;
  std::string Root;        // the mounted folder of the file system ("/" for all of it)
  std::string MountPoint;
  std::string FsType;
  std::string Source;
};
// Lines that do not follow the format are passed over.
std::vector<MountInfoLine> ParseMountInfo(const std::string& text);

// Reads this file instead of /proc/self/mountinfo; empty restores it.
void SetMountTableForTesting(std::string path);

}  // namespace platform
