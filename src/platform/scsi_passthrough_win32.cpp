// SCSI pass-through of the Windows kernel (SPTI): drive devices opened as
// "\\.\X:", command blocks sent with IOCTL_SCSI_PASS_THROUGH_DIRECT.
#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>

#include "platform/scsi_passthrough.h"
#include "platform/win32_text.h"

namespace platform {

namespace {

constexpr std::size_t kSenseBytes = 32;

// SCSI_PASS_THROUGH_DIRECT followed by its sense buffer: Length 44 and the
// sense at offset 48, 80 bytes in all, in the 32-bit build.
struct TPassThroughRecord {
  SCSI_PASS_THROUGH_DIRECT Request;
  ULONG Filler;  // puts the sense on a 4-byte boundary after a 44-byte request
  UCHAR Sense[kSenseBytes];
};
static_assert(sizeof(void*) != 4 ||
              (sizeof(SCSI_PASS_THROUGH_DIRECT) == 44 && offsetof(TPassThroughRecord, Sense) == 48 &&
               sizeof(TPassThroughRecord) == 80));

HANDLE H(ScsiHandle handle) { return reinterpret_cast<HANDLE>(handle); }

int SystemPassThrough(ScsiHandle handle, void* request) {
  DWORD returned = 0;
  if (!DeviceIoControl(H(handle), IOCTL_SCSI_PASS_THROUGH_DIRECT, request, sizeof(TPassThroughRecord), request,
                       sizeof(TPassThroughRecord), &returned, nullptr))
    return static_cast<int>(GetLastError());
  return 0;
}

std::atomic<ScsiSystemCall> gSystemCall{&SystemPassThrough};

}  // namespace

void SetScsiSystemCall(ScsiSystemCall call) { gSystemCall.store(call != nullptr ? call : &SystemPassThrough); }

std::vector<std::string> ListOpticalDrives() {
  std::vector<std::string> nodes;
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
    if (GetDriveTypeW(root) == DRIVE_CDROM) nodes.push_back(std::string("\\\\.\\") + letter + ":");
  }
  return nodes;
}

char DriveLetterOfDevice(const std::string& node) {
  // "\\.\X:"
  if (node.size() != 6 || node.compare(0, 4, "\\\\.\\") != 0 || node[5] != ':') return '\0';
  const char letter = static_cast<char>(node[4] & ~0x20);
  return letter >= 'A' && letter <= 'Z' ? letter : '\0';
}

ScsiHandle OpenScsiDevice(const std::string& node) {
  const std::wstring name = win32::Wide(node);
  HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  return h == INVALID_HANDLE_VALUE ? kNoScsiHandle : reinterpret_cast<ScsiHandle>(h);
}

void CloseScsiDevice(ScsiHandle handle) {
  if (handle != kNoScsiHandle) CloseHandle(H(handle));
}

ScsiOutcome ScsiPassThrough(ScsiHandle handle, std::span<const std::uint8_t> cdb, ScsiDirection direction,
                            std::span<std::uint8_t> data, std::span<std::uint8_t> sense, std::uint32_t timeoutMs) {
  ScsiOutcome out;
  if (handle == kNoScsiHandle || cdb.empty() || cdb.size() > 16 || data.size() > 0xFFFFFFFFu) {
    out.OsError = ERROR_INVALID_PARAMETER;
    return out;
  }
  TPassThroughRecord record{};
  SCSI_PASS_THROUGH_DIRECT& r = record.Request;
  r.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
  r.CdbLength = static_cast<UCHAR>(cdb.size());
  r.SenseInfoLength = static_cast<UCHAR>(std::min(sense.size(), kSenseBytes));
  r.DataIn = direction == ScsiDirection::In    ? SCSI_IOCTL_DATA_IN
             : direction == ScsiDirection::Out ? SCSI_IOCTL_DATA_OUT
                                               : SCSI_IOCTL_DATA_UNSPECIFIED;
  r.DataTransferLength = static_cast<ULONG>(data.size());
  r.DataBuffer = data.empty() ? nullptr : data.data();
  // The kernel counts whole seconds.
  r.TimeOutValue = std::max<ULONG>(1, (timeoutMs + 999) / 1000);
  r.SenseInfoOffset = offsetof(TPassThroughRecord, Sense);
  std::memcpy(r.Cdb, cdb.data(), cdb.size());
  if (const int error = gSystemCall.load()(handle, &record); error != 0) {
    out.OsError = error;
    return out;
  }
  out.CallOk = true;
  out.ScsiStatus = r.ScsiStatus;
  std::copy_n(record.Sense, r.SenseInfoLength, sense.begin());
  return out;
}

std::optional<ScsiAddress> GetScsiAddress(ScsiHandle handle) {
  if (handle == kNoScsiHandle) return std::nullopt;
  SCSI_ADDRESS address{};
  address.Length = sizeof address;
  DWORD returned = 0;
  if (!DeviceIoControl(H(handle), IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address, sizeof address, &returned, nullptr))
    return std::nullopt;
  return ScsiAddress{address.PortNumber, address.TargetId, address.Lun};
}

std::optional<ScsiAddress> ScsiAddressOfLetter(char letter) {
  const ScsiHandle h = OpenScsiDevice(std::string("\\\\.\\") + letter + ":");
  if (h == kNoScsiHandle) return std::nullopt;
  auto address = GetScsiAddress(h);
  CloseScsiDevice(h);
  return address;
}

SilentCriticalErrors::SilentCriticalErrors() : FOldMode(SetErrorMode(SEM_FAILCRITICALERRORS)) {}

SilentCriticalErrors::~SilentCriticalErrors() { SetErrorMode(FOldMode); }

}  // namespace platform
