#include "engine/device/aspi_records.h"

namespace device::aspi {

template <std::size_t P>
TPackedExecSCSICmd<P> Pack(const SRB_ExecSCSICmd& srb, std::uintptr_t buffer, std::uintptr_t event) {
  TPackedExecSCSICmd<P> p{};
  p.SRB_Cmd = srb.SRB_Cmd;
  p.SRB_Status = srb.SRB_Status;
  p.SRB_HaId = srb.SRB_HaId;
  p.SRB_Flags = srb.SRB_Flags;
  p.SRB_Target = srb.SRB_Target;
  p.SRB_Lun = srb.SRB_Lun;
  p.SRB_BufLen.Set(srb.SRB_BufLen);
  p.SRB_BufPointer.Set(buffer);
  p.SRB_SenseLen = srb.SRB_SenseLen;
  p.SRB_CDBLen = srb.SRB_CDBLen;
  p.SRB_HaStat = srb.SRB_HaStat;
  p.SRB_TargStat = srb.SRB_TargStat;
  p.SRB_PostProc.Set(event);
  p.CDBByte = srb.CDBByte;
  p.SenseArea = srb.SenseArea;
  return p;
}

// The library answers in the status bytes and the sense; buffer and event
// stay the engine's.
template <std::size_t P>
void Unpack(const TPackedExecSCSICmd<P>& p, SRB_ExecSCSICmd& srb) {
  srb.SRB_Status = p.SRB_Status;
  srb.SRB_HaStat = p.SRB_HaStat;
  srb.SRB_TargStat = p.SRB_TargStat;
  srb.SenseArea = p.SenseArea;
}

template TPackedExecSCSICmd<4> Pack<4>(const SRB_ExecSCSICmd&, std::uintptr_t, std::uintptr_t);
template TPackedExecSCSICmd<8> Pack<8>(const SRB_ExecSCSICmd&, std::uintptr_t, std::uintptr_t);
template void Unpack<4>(const TPackedExecSCSICmd<4>&, SRB_ExecSCSICmd&);
template void Unpack<8>(const TPackedExecSCSICmd<8>&, SRB_ExecSCSICmd&);

TPackedHAInquiry Pack(const SRB_HAInquiry& srb) {
  TPackedHAInquiry p{};
  p.SRB_Cmd = srb.SRB_Cmd;
  p.SRB_HaId = srb.SRB_HaId;
  p.SRB_Flags = srb.SRB_Flags;
  return p;
}

void Unpack(const TPackedHAInquiry& p, SRB_HAInquiry& srb) {
  srb.SRB_Status = p.SRB_Status;
  srb.HA_Count = p.HA_Count;
  srb.HA_SCSI_ID = p.HA_SCSI_ID;
  srb.HA_ManagerId = p.HA_ManagerId;
  srb.HA_Identifier = p.HA_Identifier;
  srb.HA_Unique = p.HA_Unique;
}

TPackedGDEVBlock Pack(const SRB_GDEVBlock& srb) {
  TPackedGDEVBlock p{};
  p.SRB_Cmd = srb.SRB_Cmd;
  p.SRB_HaId = srb.SRB_HaId;
  p.SRB_Flags = srb.SRB_Flags;
  p.SRB_Target = srb.SRB_Target;
  p.SRB_Lun = srb.SRB_Lun;
  return p;
}

void Unpack(const TPackedGDEVBlock& p, SRB_GDEVBlock& srb) {
  srb.SRB_Status = p.SRB_Status;
  srb.SRB_DeviceType = p.SRB_DeviceType;
}

TPackedGetDiskInfo Pack(const SRB_GetDiskInfo& srb) {
  TPackedGetDiskInfo p{};
  p.SRB_Cmd = srb.SRB_Cmd;
  p.SRB_HaId = srb.SRB_HaId;
  p.SRB_Flags = srb.SRB_Flags;
  p.SRB_Target = srb.SRB_Target;
  p.SRB_Lun = srb.SRB_Lun;
  return p;
}

void Unpack(const TPackedGetDiskInfo& p, SRB_GetDiskInfo& srb) {
  srb.SRB_Status = p.SRB_Status;
  srb.SRB_DriveFlags = p.SRB_DriveFlags;
  srb.SRB_Int13HDriveInfo = p.SRB_Int13HDriveInfo;
}

}  // namespace device::aspi
