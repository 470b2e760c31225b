#pragma once
// The request blocks as an ASPI for Win32 library reads and writes them:
// packed records with the library's field offsets. The engine's own records
// (srb.h) keep the same fields natively; these are only filled where a
// real library is called, and read back from it.
//
// The library format was made for 32-bit processes, where the two pointer
// fields are 4 bytes and the execute record is 97 bytes long. A 64-bit
// process can only load a 64-bit library; for one the pointers widen to
// 8 bytes in place and the record stays packed.
#include <array>
#include <cstddef>
#include <cstdint>

#include "base/byte_order.h"
#include "engine/device/srb.h"

namespace device::aspi {

template <std::size_t PointerSize>
using TPointerField = base::LeField<std::uint64_t, PointerSize>;

// SC_HA_INQUIRY, 60 bytes.
struct TPackedHAInquiry {
  std::uint8_t SRB_Cmd;
  std::uint8_t SRB_Status;
  std::uint8_t SRB_HaId;
  std::uint8_t SRB_Flags;
  base::Le32 SRB_Hdr_Rsvd;
  std::uint8_t HA_Count;
  std::uint8_t HA_SCSI_ID;
  std::array<std::uint8_t, 16> HA_ManagerId;
  std::array<std::uint8_t, 16> HA_Identifier;
  std::array<std::uint8_t, 16> HA_Unique;
  base::Le16 HA_Rsvd1;
};
static_assert(sizeof(TPackedHAInquiry) == 60 && offsetof(TPackedHAInquiry, HA_Count) == 8 &&
              offsetof(TPackedHAInquiry, HA_SCSI_ID) == 9 && offsetof(TPackedHAInquiry, HA_ManagerId) == 10 &&
              offsetof(TPackedHAInquiry, HA_Identifier) == 26 && offsetof(TPackedHAInquiry, HA_Unique) == 42);

// SC_GET_DEV_TYPE, 12 bytes.
struct TPackedGDEVBlock {
  std::uint8_t SRB_Cmd;
  std::uint8_t SRB_Status;
  std::uint8_t SRB_HaId;
  std::uint8_t SRB_Flags;
  base::Le32 SRB_Hdr_Rsvd;
  std::uint8_t SRB_Target;
  std::uint8_t SRB_Lun;
  std::uint8_t SRB_DeviceType;
  std::uint8_t SRB_Rsvd1;
};
static_assert(sizeof(TPackedGDEVBlock) == 12 && offsetof(TPackedGDEVBlock, SRB_DeviceType) == 10);

// SC_EXEC_SCSI_CMD.
template <std::size_t PointerSize>
struct TPackedExecSCSICmd {
  std::uint8_t SRB_Cmd;
  std::uint8_t SRB_Status;
  std::uint8_t SRB_HaId;
  std::uint8_t SRB_Flags;
  base::Le32 SRB_Hdr_Rsvd;
  std::uint8_t SRB_Target;
  std::uint8_t SRB_Lun;
  base::Le16 SRB_Rsvd1;
  base::Le32 SRB_BufLen;
  TPointerField<PointerSize> SRB_BufPointer;
  std::uint8_t SRB_SenseLen;
  std::uint8_t SRB_CDBLen;
  std::uint8_t SRB_HaStat;
  std::uint8_t SRB_TargStat;
  TPointerField<PointerSize> SRB_PostProc;  // the completion event's handle
  std::array<std::uint8_t, 20> SRB_Rsvd2;
  std::array<std::uint8_t, 16> CDBByte;
  std::array<std::uint8_t, kSenseAreaSize> SenseArea;
};
using TPackedExec32 = TPackedExecSCSICmd<4>;
static_assert(sizeof(TPackedExec32) == 97 && alignof(TPackedExec32) == 1);
static_assert(offsetof(TPackedExec32, SRB_Target) == 8 && offsetof(TPackedExec32, SRB_Lun) == 9 &&
              offsetof(TPackedExec32, SRB_BufLen) == 12 && offsetof(TPackedExec32, SRB_BufPointer) == 16 &&
              offsetof(TPackedExec32, SRB_SenseLen) == 20 && offsetof(TPackedExec32, SRB_CDBLen) == 21 &&
              offsetof(TPackedExec32, SRB_HaStat) == 22 && offsetof(TPackedExec32, SRB_TargStat) == 23 &&
              offsetof(TPackedExec32, SRB_PostProc) == 24 && offsetof(TPackedExec32, CDBByte) == 48 &&
              offsetof(TPackedExec32, SenseArea) == 64);
static_assert(sizeof(TPackedExecSCSICmd<8>) == 105);

// The record this process hands a library: the 97-byte one in a 32-bit build.
using TPackedExec = TPackedExecSCSICmd<sizeof(void*)>;
static_assert(sizeof(void*) != 4 || sizeof(TPackedExec) == 97);

// SC_GET_DISK_INFO, 24 bytes.
struct TPackedGetDiskInfo {
  std::uint8_t SRB_Cmd;
  std::uint8_t SRB_Status;
  std::uint8_t SRB_HaId;
  std::uint8_t SRB_Flags;
  base::Le32 SRB_Hdr_Rsvd;
  std::uint8_t SRB_Target;
  std::uint8_t SRB_Lun;
  std::uint8_t SRB_DriveFlags;
  std::uint8_t SRB_Int13HDriveInfo;
  std::uint8_t SRB_Heads;
  std::uint8_t SRB_Sectors;
  std::array<std::uint8_t, 10> SRB_Rsvd1;
};
static_assert(sizeof(TPackedGetDiskInfo) == 24 && offsetof(TPackedGetDiskInfo, SRB_Int13HDriveInfo) == 11);

// Filling a packed record from the engine's record and reading the
// library's answer back. The buffer and event are given as addresses: the
// library gets the caller's own buffer or a copy of it, and an event of the
// operating system rather than the engine's.
template <std::size_t P>
TPackedExecSCSICmd<P> Pack(const SRB_ExecSCSICmd& srb, std::uintptr_t buffer, std::uintptr_t event);
template <std::size_t P>
void Unpack(const TPackedExecSCSICmd<P>& packed, SRB_ExecSCSICmd& srb);
TPackedHAInquiry Pack(const SRB_HAInquiry& srb);
void Unpack(const TPackedHAInquiry& packed, SRB_HAInquiry& srb);
TPackedGDEVBlock Pack(const SRB_GDEVBlock& srb);
void Unpack(const TPackedGDEVBlock& packed, SRB_GDEVBlock& srb);
TPackedGetDiskInfo Pack(const SRB_GetDiskInfo& srb);
void Unpack(const TPackedGetDiskInfo& packed, SRB_GetDiskInfo& srb);

}  // namespace device::aspi
