// Commands that read from the drive, and the decoding of their answers.
#include <algorithm>

#include "engine/device/mmc_command.h"
#include "engine/device/scsi_device.h"

namespace device {

using mmc::Be16At;
using mmc::Be32At;
using mmc::NewSrb;
using mmc::U8At;

bool TSCSIDevice::ReadFormatCapacities(std::vector<std::uint8_t>& data) {
  data.assign(248, 0);
  SRB_ExecSCSICmd srb = NewSrb(0x23, 10, kFlagsRead, data);
  srb.CDBByte[8] = 0xF8;
  Run(srb, 10000);
  return srb.SRB_Status == kSsComp;
}

bool TSCSIDevice::ReadCapacity(std::uint32_t& lastLba, std::uint32_t& blockLength) {
  std::array<std::uint8_t, 8> data{};
  SRB_ExecSCSICmd srb = NewSrb(0x25, 10, kFlagsRead, data);
  Run(srb, 10000);
  if (srb.SRB_Status != kSsComp) return false;
  FCapacityLastLba = lastLba = Be32At(data, 0);
  FCapacityBlockLength = blockLength = Be32At(data, 4);
  return true;
}

bool TSCSIDevice::Read10(std::uint32_t lba, std::uint16_t blocks, std::vector<std::uint8_t>& data) {
  data.assign(std::size_t{blocks} * 2048, 0);
  SRB_ExecSCSICmd srb = NewSrb(0x28, 10, kFlagsRead, data);
  mmc::PutBe32(srb, 2, lba);
  mmc::PutBe16(srb, 7, blocks);
  Run(srb, 10000);
  return srb.SRB_Status == kSsComp;
}

bool TSCSIDevice::ReadTocPmaAtip(TAddressForm form, std::uint8_t format, std::uint8_t trackOrSession,
                                 std::uint8_t allocationLength, std::uint8_t control, std::vector<std::uint8_t>& data) {
  data.assign(allocationLength, 0);
  SRB_ExecSCSICmd srb = NewSrb(0x43, 10, kFlagsRead, data);
  srb.CDBByte[1] = form == TAddressForm::Msf ? 2 : 0;
  srb.CDBByte[2] = format;
  srb.CDBByte[6] = trackOrSession;
  srb.CDBByte[8] = allocationLength;
  srb.CDBByte[9] = control;
  Run(srb, 10000);
  return srb.SRB_Status == kSsComp;
}

bool TSCSIDevice::GetConfiguration(std::uint8_t feature) {
  std::array<std::uint8_t, 114> data{};
  SRB_ExecSCSICmd srb = NewSrb(0x46, 10, kFlagsRead, data);
  srb.CDBByte[1] = 2;  // RT 10b: the one feature named
  srb.CDBByte[3] = feature;
  srb.CDBByte[8] = 0x72;
  Run(srb, 30000);
  if (srb.SRB_Status != kSsComp) return false;
  FConfiguration.CurrentProfile = Be16At(data, 6);
  FConfiguration.Feature = Be16At(data, 8);
  FConfiguration.FeatureFlags = U8At(data, 10);
  FConfiguration.FeatureData = U8At(data, 11) >= 1 ? U8At(data, 12) : std::uint8_t{0};
  FConfiguration.FeatureBody.fill(0);
  for (std::size_t i = 0; i < FConfiguration.FeatureBody.size() && i < U8At(data, 11); ++i)
    FConfiguration.FeatureBody[i] = U8At(data, 12 + i);
  return true;
}

bool TSCSIDevice::ReadDiscInformation() {
  std::array<std::uint8_t, 56> data{};
  SRB_ExecSCSICmd srb = NewSrb(0x51, 10, kFlagsRead, data);
  srb.CDBByte[8] = 0x38;
  Run(srb, 10000);
  if (srb.SRB_Status != kSsComp) return false;
  FLastDiscInfo.StatusByte = U8At(data, 2);
  FLastDiscInfo.Sessions = U8At(data, 4);
  FLastDiscInfo.FirstTrackInLastSession = U8At(data, 5);
  FLastDiscInfo.LastTrackInLastSession = U8At(data, 6);
  return true;
}

bool TSCSIDevice::ReadTrackInformation(std::uint8_t track) {
  std::array<std::uint8_t, 40> data{};
  SRB_ExecSCSICmd srb = NewSrb(0x52, 10, kFlagsRead, data);
  srb.CDBByte[1] = 1;  // the address is a track number
  srb.CDBByte[5] = track;
  srb.CDBByte[8] = 0x28;
  Run(srb, 60000);
  if (srb.SRB_Status != kSsComp) return false;
  // Older drives send fewer fields (28 bytes in MMC-1): those past the
  // answer's own length read as 0, never as what the buffer held.
  const std::size_t answered = std::min<std::size_t>(std::size_t{Be16At(data, 0)} + 2, data.size());
  std::fill(data.begin() + static_cast<std::ptrdiff_t>(answered), data.end(), std::uint8_t{0});
  FLastTrackInfo.DataLength = Be16At(data, 0);
  FLastTrackInfo.TrackStart = Be32At(data, 8);
  FLastTrackInfo.NextWritableAddress = Be32At(data, 12);
  FLastTrackInfo.FreeBlocks = Be32At(data, 16);
  FLastTrackInfo.FixedPacketSize = Be32At(data, 20);
  FLastTrackInfo.TrackSize = Be32At(data, 24);
  FLastTrackInfo.LastRecordedAddress = Be32At(data, 28);
  FLastTrackInfo.Session = U8At(data, 3);
  FLastTrackInfo.ModeFlags = U8At(data, 6);
  FLastTrackInfo.ValidFlags = U8At(data, 7);
  return true;
}

bool TSCSIDevice::ReadBufferCapacity() {
  std::array<std::uint8_t, 32> data{};
  SRB_ExecSCSICmd srb = NewSrb(0x5C, 10, kFlagsRead, data);
  srb.CDBByte[8] = 0x20;
  Run(srb, 10000);
  if (srb.SRB_Status != kSsComp) {
    FDeviceFreeBufferSize = 0;
    return false;
  }
  FDeviceBufferSize = Be32At(data, 4);
  const std::uint32_t available = Be32At(data, 8);
  FDeviceFreeBufferSize = available == 0xFFFFFFFFu ? FDeviceBufferSize.load() : available;
  return true;
}

bool TSCSIDevice::ModeSense10(std::uint8_t pageCode, TModeValues values, std::span<std::uint8_t> buffer) {
  std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
  const std::size_t length = std::min<std::size_t>(buffer.size(), 0xFFFF);
  FModeTransfer.assign(length, 0);
  SRB_ExecSCSICmd srb = NewSrb(0x5A, 10, kFlagsRead, FModeTransfer);
  srb.CDBByte[2] = static_cast<std::uint8_t>(pageCode + (values == TModeValues::Default ? 0x80 : 0));
  mmc::PutBe16(srb, 7, static_cast<std::uint16_t>(length));
  Run(srb, 20000);
  std::copy_n(FModeTransfer.begin(), length, buffer.begin());
  return srb.SRB_Status == kSsComp;
}

}  // namespace device
