// Commands that record, close, blank and set up the drive for writing.
#include <algorithm>

#include "engine/device/mmc_command.h"
#include "engine/device/scsi_device.h"

namespace device {

using mmc::NewSrb;

bool TSCSIDevice::FormatUnit(std::span<const std::uint8_t, 12> parameterList) {
  std::array<std::uint8_t, 12> data{};
  std::copy(parameterList.begin(), parameterList.end(), data.begin());
  SRB_ExecSCSICmd srb = NewSrb(0x04, 6, kFlagsWrite, data);
  srb.CDBByte[1] = 0x11;  // format data follows, format code 1
  Run(srb, 10000);
  return srb.SRB_Status == kSsComp;
}

// WRITE (10) and BLANK pass unless the layer reported an error; a command
// that was never sent is a failure all the same.
bool TSCSIDevice::Write10(std::uint32_t lba, std::uint16_t blocks, std::span<std::uint8_t> data, std::uint8_t flags) {
  SRB_ExecSCSICmd srb = NewSrb(0x2A, 10, flags, data);
  mmc::PutBe32(srb, 2, lba);
  mmc::PutBe16(srb, 7, blocks);
  if (Run(srb, 120000) == kExecuteNotSent) return false;
  return srb.SRB_Status == kSsPending || srb.SRB_Status == kSsComp;
}

bool TSCSIDevice::Write12Streaming(std::uint32_t lba, std::uint32_t blocks, std::span<std::uint8_t> data) {
  SRB_ExecSCSICmd srb = NewSrb(0xAA, 12, kFlagsWrite, data);
  mmc::PutBe32(srb, 2, lba);
  mmc::PutBe32(srb, 6, blocks);
  srb.CDBByte[10] = 0x80;
  if (Run(srb, 120000) == kExecuteNotSent) return false;
  return srb.SRB_Status == kSsPending || srb.SRB_Status == kSsComp;
}

std::optional<std::uint32_t> TSCSIDevice::BdSpareBlocks() {
  std::array<std::uint8_t, 16> data{};
  SRB_ExecSCSICmd srb = NewSrb(0xAD, 12, kFlagsRead, data);
  srb.CDBByte[1] = 0x01;  // BD
  srb.CDBByte[7] = 0x0A;  // spare area information
  mmc::PutBe16(srb, 8, static_cast<std::uint16_t>(data.size()));
  Run(srb, 10000);
  if (srb.SRB_Status != kSsComp) return std::nullopt;
  return std::uint32_t{data[12]} << 24 | std::uint32_t{data[13]} << 16 | std::uint32_t{data[14]} << 8 | data[15];
}

bool TSCSIDevice::SynchronizeCache(TImmediate immediate, std::uint32_t timeoutMs) {
  const std::uint8_t cdb[10] = {0x35, static_cast<std::uint8_t>(immediate == TImmediate::Yes ? 2 : 0)};
  return Simple(cdb, timeoutMs);
}

bool TSCSIDevice::ReserveTrack(std::uint32_t blocks) {
  SRB_ExecSCSICmd srb = NewSrb(0x53, 12, kFlagsNoData);
  mmc::PutBe32(srb, 5, blocks);
  Run(srb, 10000);
  return srb.SRB_Status == kSsComp;
}

bool TSCSIDevice::SendOpcInformation() {
  const std::uint8_t cdb[10] = {0x54, 1};
  return Simple(cdb, 150000);
}

bool TSCSIDevice::ModeSelect10(std::span<std::uint8_t> parameters) {
  SRB_ExecSCSICmd srb = NewSrb(0x55, 10, kFlagsWrite, parameters);
  srb.CDBByte[1] = 0x10;  // page format
  srb.CDBByte[8] = static_cast<std::uint8_t>(parameters.size() & 0xFF);
  Run(srb, 10000);
  return srb.SRB_Status == kSsComp;
}

bool TSCSIDevice::CloseTrackSession(TImmediate immediate, bool finalize, bool closeTrack) {
  const std::uint8_t function = finalize ? 5 : closeTrack ? 1 : 2;
  return CloseTrackSession(immediate, function, 0, 0, closeTrack ? 0xFF : 0);
}

bool TSCSIDevice::CloseTrackSession(TImmediate immediate, std::uint8_t closeFunction, std::uint8_t byte3,
                                    std::uint8_t byte4, std::uint8_t byte5) {
  const std::uint8_t cdb[10] = {0x5B,  static_cast<std::uint8_t>(immediate == TImmediate::Yes ? 1 : 0),
                                closeFunction, byte3, byte4, byte5};
  return Simple(cdb, 180000);
}

bool TSCSIDevice::Blank(std::uint8_t blankingType) {
  SRB_ExecSCSICmd srb = NewSrb(0xA1, 12, kFlagsNoData);
  srb.CDBByte[1] = static_cast<std::uint8_t>(blankingType + 0x10);  // immediate
  if (Run(srb, 4800000) == kExecuteNotSent) return false;
  return srb.SRB_Status == kSsPending || srb.SRB_Status == kSsComp;
}

bool TSCSIDevice::SetStreaming(std::span<std::uint8_t, 28> performanceDescriptor) {
  SRB_ExecSCSICmd srb = NewSrb(0xB6, 12, kFlagsWrite, performanceDescriptor);
  mmc::PutBe16(srb, 9, 28);
  Run(srb, 10000);
  return srb.SRB_Status == kSsComp;
}

bool TSCSIDevice::SetCdSpeed(std::uint16_t readKBps, std::uint16_t writeKBps) {
  SRB_ExecSCSICmd srb = NewSrb(0xBB, 12, kFlagsNoData);
  // 0 asks for the fastest speed the drive has.
  mmc::PutBe16(srb, 2, readKBps == 0 ? 0xFFFF : readKBps);
  mmc::PutBe16(srb, 4, writeKBps == 0 ? 0xFFFF : writeKBps);
  Run(srb, 10000);
  return srb.SRB_Status == kSsComp;
}

bool TSCSIDevice::SendDvdStructure(std::uint8_t formatCode, std::span<std::uint8_t> parameters) {
  SRB_ExecSCSICmd srb = NewSrb(0xBF, 12, kFlagsWrite, parameters);
  srb.CDBByte[7] = formatCode;
  mmc::PutBe16(srb, 8, static_cast<std::uint16_t>(std::min<std::size_t>(parameters.size(), 0xFFFF)));
  Run(srb, 10000);
  return srb.SRB_Status == kSsComp;
}

}  // namespace device
