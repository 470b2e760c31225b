// The mount table of this process's mount namespace.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/mount_table.h"

namespace platform {
namespace detail {
std::mutex& MountTableMutex();
std::string& MountTableOverride();
}  // namespace detail

namespace {

std::string Resolved(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string out(real);
  std::free(real);
  return out;
}

std::string ReadTable() {
  std::string path = "/proc/self/mountinfo";
  {
    std::lock_guard lock(detail::MountTableMutex());
    if (!detail::MountTableOverride().empty()) path = detail::MountTableOverride();
  }
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

DriveMount FindDriveMount(const std::string& location, char /*letter*/) {
  DriveMount result;
  struct stat st {};
  if (location.empty() || ::stat(location.c_str(), &st) != 0) return result;
  result.SystemDrive = S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode);
  if (!result.SystemDrive) return result;
  const std::string node = Resolved(location);
  const bool block = S_ISBLK(st.st_mode);
  for (const MountInfoLine& m : ParseMountInfo(ReadTable())) {
    // The whole file system only: a bind mount of one folder is not the disc.
    if (m.Root != "/") continue;
    const bool sameDevice = block && m.Major == major(st.st_rdev) && m.Minor == minor(st.st_rdev);
    if (sameDevice || (!m.Source.empty() && m.Source.front() == '/' && Resolved(m.Source) == node)) {
      result.MountPoint = m.MountPoint;
      break;
    }
  }
  return result;
}

}  // namespace platform
