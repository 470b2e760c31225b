#pragma once
// What the built-in layer needs from one drive: open and close a handle,
// run a command block, tell its SCSI address. The Linux SG_IO drives are one
// kind; the virtual recorder registers its drives through
// RegisterDriveProvider so that a machine without optical drives still has
// a drive list.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/scsi_passthrough.h"

namespace device {

class TPassThroughDrive {
 public:
  virtual ~TPassThroughDrive() = default;
  virtual bool Open() = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Needs an open handle.
  virtual platform::ScsiOutcome Execute(std::span<const std::uint8_t> cdb, platform::ScsiDirection direction,
                                        std::span<std::uint8_t> data, std::span<std::uint8_t> sense,
                                        std::uint32_t timeoutMs) = 0;
  // Needs an open handle; nullopt when the system gives no address.
  virtual std::optional<platform::ScsiAddress> Address() = 0;
  // 'A'..'Z', or 0 when the system names drives without letters.
  virtual char DriveLetter() const = 0;
  // Where the drive lives (device node, disc file), for people to read.
  virtual std::string Location() const = 0;
  // Why the last Open failed, for people to read (a disc another program
  // holds); empty when nothing more is known.
  virtual std::string OpenProblem() const { return {}; }
};

using TDriveProvider = std::function<std::vector<std::unique_ptr<TPassThroughDrive>>()>;

// Providers are asked, in registration order after the system's own drives,
// each time the built-in layer builds its table.
void RegisterDriveProvider(const std::string& name, TDriveProvider provider);
void UnregisterDriveProvider(const std::string& name);
// The drives of every registered provider, asked now.
std::vector<std::unique_ptr<TPassThroughDrive>> RegisteredDrives();

// The optical drives of the operating system (SG_IO on Linux, SPTI on Windows).
std::vector<std::unique_ptr<TPassThroughDrive>> SystemOpticalDrives();

}  // namespace device
