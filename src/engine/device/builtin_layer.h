#pragma once
// "KVASPI32": the built-in layer that answers ASPI request blocks with the
// operating system's SCSI pass-through, over a table of the drives found.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/device/device_address.h"
#include "engine/device/passthrough_drive.h"
#include "engine/device/transport.h"

namespace device {

inline constexpr std::size_t kDriveTableSize = 27;  // indexed by drive number, 0 = A:
inline constexpr std::size_t kFirstDriveNumber = 2;  // C: onward
inline constexpr std::size_t kStoredInquirySize = 40;
inline constexpr std::size_t kInquiryAnswerSize = 36;

class TBuiltInLayer final : public TAspiLayer {
 public:
  TBuiltInLayer();
  ~TBuiltInLayer() override;

  // Builds the table from the system's drives and the registered providers.
  // Runs once: a second call while a table exists returns 0.
  int SptiScan();

  std::uint32_t SendASPI32Command(TSRB* srb) override;
  std::uint32_t GetASPI32SupportInfo() override;

  // Drive letter of the drive at an address; 0 when none matches or the
  // drive has no letter.
  char DriveLetterOf(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun);
  // Where the drive at an address lives (device node, disc file); empty when none.
  std::string LocationOf(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun);
  void CloseAllHandles();
  // The addresses of the drives on one adapter, by target then unit.
  std::vector<TDeviceAddress> AddressesOn(std::uint8_t hostAdapter);
  // Why drives of the last scan could not be opened, one line each.
  std::vector<std::string> Problems();

 private:
  struct TDriveEntry {
    std::uint8_t HostAdapter = 0;
    std::uint8_t Target = 0;
    std::uint8_t Lun = 0;
    std::uint8_t DriveNumber = 0;
    bool Present = false;
    std::array<std::uint8_t, kStoredInquirySize> Inquiry{};
    std::unique_ptr<TPassThroughDrive> Drive;
    std::mutex CommandMutex;  // one command per drive at a time; guards the handle
  };

  bool Probe(TDriveEntry& entry, std::unique_ptr<TPassThroughDrive> drive);
  TDriveEntry* Find(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun);
  void Execute(SRB_ExecSCSICmd& srb);

  std::mutex FTableMutex;  // guards table building against lookups
  std::array<TDriveEntry, kDriveTableSize> FTable;
  std::uint8_t FAdapterCount = 0;
  bool FScanned = false;
  std::vector<std::string> FProblems;
};

// The built-in layer when it is the active one, else null.
std::shared_ptr<TBuiltInLayer> ActiveBuiltInLayer();

}  // namespace device
