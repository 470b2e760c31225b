#pragma once
// SCSI pass-through to the optical drives of the operating system. One
// command block at a time, with the data buffer and a sense buffer given by
// the caller; nothing here interprets the answer.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

enum class ScsiDirection { None, In, Out };

// Address of a drive as the kernel knows it.
struct ScsiAddress {
  std::uint8_t HostAdapter = 0;
  std::uint8_t Target = 0;
  std::uint8_t Lun = 0;
};

struct ScsiOutcome {
  bool CallOk = false;           // the operating system accepted and ran the request
  std::uint8_t ScsiStatus = 0;   // target status byte
  std::uint8_t HostStatus = 0;   // transport-level status, 0 when none
  int OsError = 0;               // errno (Windows: the last error) when CallOk is false
};

// A file descriptor on Linux, a HANDLE on Windows.
using ScsiHandle = std::intptr_t;
inline constexpr ScsiHandle kNoScsiHandle = -1;

// The optical drives present: device nodes in kernel order on Linux
// (/dev/sr0, /dev/sr1, ...); on Windows the drive devices ("\\.\D:") of the
// letters C: to Z: that the system calls CD-ROM drives, in letter order.
std::vector<std::string> ListOpticalDrives();
// The letter ('C'..'Z') of a Windows drive device; 0 on Linux, where drives
// have no letters.
char DriveLetterOfDevice(const std::string& node);

// Opens a drive read/write with read/write sharing, falling back to read-only
// with read sharing; kNoScsiHandle on failure. Never blocks on a drive
// without a medium.
ScsiHandle OpenScsiDevice(const std::string& node);
void CloseScsiDevice(ScsiHandle handle);

ScsiOutcome ScsiPassThrough(ScsiHandle handle, std::span<const std::uint8_t> cdb, ScsiDirection direction,
                            std::span<std::uint8_t> data, std::span<std::uint8_t> sense,
                            std::uint32_t timeoutMs);

std::optional<ScsiAddress> GetScsiAddress(ScsiHandle handle);

// The system call ScsiPassThrough ends in: Linux's ioctl(SG_IO) with an
// sg_io_hdr, Windows' IOCTL_SCSI_PASS_THROUGH_DIRECT with its record. It
// returns 0 or the OS error. Tests put a fake in its place to see the
// request built; nullptr brings back the system's.
using ScsiSystemCall = int (*)(ScsiHandle handle, void* request);
void SetScsiSystemCall(ScsiSystemCall call);

// The address of the drive behind a drive letter (opened, asked, closed);
// nullopt where letters name no drives (Linux) or the drive does not say.
std::optional<ScsiAddress> ScsiAddressOfLetter(char letter);

// While one lives, the system fails critical errors (no disc in a drive)
// back to the caller instead of asking the user in a dialog; the previous
// mode comes back afterwards. Nothing to do on Linux.
class SilentCriticalErrors {
 public:
  SilentCriticalErrors();
  ~SilentCriticalErrors();
  SilentCriticalErrors(const SilentCriticalErrors&) = delete;
  SilentCriticalErrors& operator=(const SilentCriticalErrors&) = delete;

 private:
  unsigned FOldMode = 0;
};

}  // namespace platform
