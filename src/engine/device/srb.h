#pragma once
// ASPI for Win32 request blocks, in which every drive command travels. The
// packed 97-byte layout only matters where a real ASPI library reads the
// record; here the records keep the same fields natively, since a buffer
// pointer does not fit 4 bytes on a 64-bit machine.
#include <array>
#include <cstdint>
#include <variant>

namespace device {

class TSRBEvent;

// SRB_Cmd values.
inline constexpr std::uint8_t kScHaInquiry = 0x00;
inline constexpr std::uint8_t kScGetDevType = 0x01;
inline constexpr std::uint8_t kScExecScsiCmd = 0x02;
inline constexpr std::uint8_t kScGetDiskInfo = 0x06;

// SRB_Status values.
inline constexpr std::uint8_t kSsPending = 0x00;
inline constexpr std::uint8_t kSsComp = 0x01;
inline constexpr std::uint8_t kSsAborted = 0x02;
inline constexpr std::uint8_t kSsAbortFail = 0x03;
inline constexpr std::uint8_t kSsErr = 0x04;
inline constexpr std::uint8_t kSsInvalidCmd = 0x80;
inline constexpr std::uint8_t kSsInvalidHa = 0x81;
inline constexpr std::uint8_t kSsNoDevice = 0x82;
inline constexpr std::uint8_t kSsInvalidSrb = 0xE0;
inline constexpr std::uint8_t kSsBufferAlign = 0xE1;
inline constexpr std::uint8_t kSsNoAdapters = 0xE8;
inline constexpr std::uint8_t kSsAspiIsBusy = 0xE5;
inline constexpr std::uint8_t kSsBufferTooBig = 0xE6;

// SRB_Flags bits.
inline constexpr std::uint8_t kSrbDirIn = 0x08;
inline constexpr std::uint8_t kSrbDirOut = 0x10;
inline constexpr std::uint8_t kSrbEventNotify = 0x40;
inline constexpr std::uint8_t kFlagsRead = kSrbEventNotify | kSrbDirIn;    // 0x48
inline constexpr std::uint8_t kFlagsWrite = kSrbEventNotify | kSrbDirOut;  // 0x50
inline constexpr std::uint8_t kFlagsNoData = kSrbEventNotify;              // 0x40

// SRB_HaStat and SRB_TargStat values that the decoding names.
inline constexpr std::uint8_t kHaStatTimeout = 0x09;
inline constexpr std::uint8_t kTargStatCheckCondition = 0x02;
inline constexpr std::uint8_t kTargStatBusy = 0x08;

inline constexpr std::uint8_t kSenseLen = 24;
inline constexpr std::size_t kSenseAreaSize = 33;
inline constexpr std::uint8_t kNoAddress = 254;

// SC_HA_INQUIRY.
struct SRB_HAInquiry {
  std::uint8_t SRB_Cmd = kScHaInquiry;
  std::uint8_t SRB_Status = 0;
  std::uint8_t SRB_HaId = 0;
  std::uint8_t SRB_Flags = 0;
  std::uint8_t HA_Count = 0;
  std::uint8_t HA_SCSI_ID = 0;
  std::array<std::uint8_t, 16> HA_ManagerId{};
  std::array<std::uint8_t, 16> HA_Identifier{};
  std::array<std::uint8_t, 16> HA_Unique{};
};

// SC_GET_DEV_TYPE.
struct SRB_GDEVBlock {
  std::uint8_t SRB_Cmd = kScGetDevType;
  std::uint8_t SRB_Status = 0;
  std::uint8_t SRB_HaId = 0;
  std::uint8_t SRB_Flags = 0;
  std::uint8_t SRB_Target = 0;
  std::uint8_t SRB_Lun = 0;
  std::uint8_t SRB_DeviceType = 0;
};

// SC_EXEC_SCSI_CMD.
struct SRB_ExecSCSICmd {
  std::uint8_t SRB_Cmd = kScExecScsiCmd;
  std::uint8_t SRB_Status = 0;
  std::uint8_t SRB_HaId = 0;
  std::uint8_t SRB_Flags = 0;
  std::uint8_t SRB_Target = 0;
  std::uint8_t SRB_Lun = 0;
  std::uint32_t SRB_BufLen = 0;
  std::uint8_t* SRB_BufPointer = nullptr;  // SRB_BufLen bytes, owned by the caller
  std::uint8_t SRB_SenseLen = 0;
  std::uint8_t SRB_CDBLen = 0;
  std::uint8_t SRB_HaStat = 0;
  std::uint8_t SRB_TargStat = 0;
  TSRBEvent* SRB_PostProc = nullptr;  // completion event, set when the layer is done
  std::array<std::uint8_t, 16> CDBByte{};
  std::array<std::uint8_t, kSenseAreaSize> SenseArea{};
  // Not in the ASPI record (a library keeps its own time-outs): how long the
  // built-in layer lets the operating system wait for this command, 0 for
  // its default.
  std::uint32_t TimeoutMs = 0;
};

// SC_GET_DISK_INFO.
struct SRB_GetDiskInfo {
  std::uint8_t SRB_Cmd = kScGetDiskInfo;
  std::uint8_t SRB_Status = 0;
  std::uint8_t SRB_HaId = 0;
  std::uint8_t SRB_Flags = 0;
  std::uint8_t SRB_Target = 0;
  std::uint8_t SRB_Lun = 0;
  std::uint8_t SRB_DriveFlags = 0;
  std::uint8_t SRB_Int13HDriveInfo = 0;
};

// A request block of any kind; an unknown SRB_Cmd inside a record is
// answered as the layer answers an unknown command.
using TSRB = std::variant<SRB_HAInquiry, SRB_GDEVBlock, SRB_ExecSCSICmd, SRB_GetDiskInfo>;

}  // namespace device
