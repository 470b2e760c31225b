#pragma once
// Sessions read from the selected drive through its MMC commands.
#include "engine/device/scsi_device.h"
#include "engine/iso/disc_source.h"

namespace engine {

class DeviceDiscSource final : public iso::DiscSource {
 public:
  explicit DeviceDiscSource(device::TSCSIDevice& drive) : FDrive(drive) {}

  base::Status ReadSectors(std::uint32_t lba, std::uint32_t count, std::span<std::uint8_t> out) override;
  bool Ready() override;
  std::uint8_t LastSession() override;
  std::optional<iso::TrackEntry> TrackInfo(std::uint8_t track) override;
  std::optional<std::pair<std::uint8_t, std::uint8_t>> TrackRange() override;
  std::optional<std::uint32_t> TocAddress(std::uint8_t track) override;
  std::uint32_t FreeBlocks() override;
  std::optional<std::uint32_t> NextWritableAddress() override;
  // Unknown: drives disagree on the capacity of multisession discs, and a
  // read past the end fails on its own.
  std::uint64_t SectorCount() const override { return 0; }

 private:
  device::TSCSIDevice& FDrive;
};

}  // namespace engine
