// Unit commands: readiness, sense, identification, loading and locking.
#include "engine/device/mmc_command.h"
#include "engine/device/scsi_device.h"
#include "engine/device/transport.h"

namespace device {

using mmc::NewSrb;

bool TSCSIDevice::Simple(std::span<const std::uint8_t> cdb, std::uint32_t timeoutMs) {
  SRB_ExecSCSICmd srb = NewSrb(cdb[0], static_cast<std::uint8_t>(cdb.size()), kFlagsNoData);
  std::copy(cdb.begin(), cdb.end(), srb.CDBByte.begin());
  ExecuteSRB(srb, timeoutMs);
  return srb.SRB_Status == kSsComp;
}

std::uint32_t TSCSIDevice::Run(SRB_ExecSCSICmd& srb, std::uint32_t timeoutMs) { return ExecuteSRB(srb, timeoutMs); }

bool TSCSIDevice::TestUnitReady(std::uint32_t timeoutMs) {
  const std::uint8_t cdb[6] = {0x00};
  return Simple(cdb, timeoutMs);
}

bool TSCSIDevice::RezeroUnit() {
  const std::uint8_t cdb[6] = {0x01};
  return Simple(cdb, 10000);
}

bool TSCSIDevice::RequestSense(std::span<std::uint8_t> buffer) {
  if (buffer.size() > 255) buffer = buffer.first(255);
  SRB_ExecSCSICmd srb = NewSrb(0x03, 6, kFlagsRead, buffer);
  srb.CDBByte[4] = static_cast<std::uint8_t>(buffer.size());
  Run(srb, 10000);
  return srb.SRB_Status == kSsComp;
}

bool TSCSIDevice::Inquiry() {
  SRB_ExecSCSICmd srb = NewSrb(0x12, 6, kFlagsRead, std::span<std::uint8_t>(FInquiry).first(128));
  srb.CDBByte[4] = 0x80;
  Run(srb, 10000);
  return srb.SRB_Status == kSsComp;
}

bool TSCSIDevice::StartStopUnit(TStartStop action) {
  const std::uint8_t cdb[6] = {0x1B, 0, 0, 0, static_cast<std::uint8_t>(action == TStartStop::Eject ? 2 : 3), 0};
  // The tray moves: the handle must not stay open across it.
  SetCloseHandleAfterCommand(true);
  const bool ok = Simple(cdb, 20000);
  SetCloseHandleAfterCommand(false);
  return ok;
}

bool TSCSIDevice::PreventAllowMediumRemoval(TRemoval removal) {
  const std::uint8_t cdb[6] = {0x1E, 0, 0, 0, static_cast<std::uint8_t>(removal == TRemoval::Prevent ? 1 : 0), 0};
  if (removal == TRemoval::Allow) SetCloseHandleAfterCommand(true);
  const bool ok = Simple(cdb, 10000);
  SetCloseHandleAfterCommand(false);
  return ok;
}

}  // namespace device
