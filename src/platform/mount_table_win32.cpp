// A lettered drive's file system is its root folder.
#include <windows.h>

#include <mutex>

#include "platform/mount_table.h"

namespace platform {

DriveMount FindDriveMount(const std::string& /*location*/, char letter) {
  DriveMount result;
  if (letter < 'A' || letter > 'Z') return result;
  result.SystemDrive = true;
  const char root[] = {letter, ':', '\\', '\0'};
  // A drive without a readable disc has no volume to name.
  if (GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0)) result.MountPoint = root;
  return result;
}

}  // namespace platform
