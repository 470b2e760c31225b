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
  int OsError = 0;               // errno when CallOk is false
};

// Device nodes of the optical drives present, in kernel order (/dev/sr0, /dev/sr1, ...).
std::vector<std::string> ListOpticalDrives();

// Opens a drive node read/write, falling back to read-only; -1 on failure.
// Never blocks on a drive without a medium.
int OpenScsiDevice(const std::string& node);
void CloseScsiDevice(int handle);

ScsiOutcome ScsiPassThrough(int handle, std::span<const std::uint8_t> cdb, ScsiDirection direction,
                            std::span<std::uint8_t> data, std::span<std::uint8_t> sense,
                            std::uint32_t timeoutMs);

std::optional<ScsiAddress> GetScsiAddress(int handle);

}  // namespace platform
