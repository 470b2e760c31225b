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
  // The readable end of the disc: the larger of READ CAPACITY's and the
  // lead-out's, since drives disagree on multisession discs; 0 when the
  // drive tells neither. Asked once per disc (Ready and LastSession forget it).
  std::uint64_t SectorCount() const override;

 private:
  // The block after the last one READ CAPACITY names; nullopt when refused.
  std::optional<std::uint32_t> CapacityEnd() const;

  device::TSCSIDevice& FDrive;
  mutable std::optional<std::uint64_t> FSectorCount;
};

}  // namespace engine
