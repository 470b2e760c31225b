#include "engine/device/scsi_device.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "engine/device/builtin_layer.h"
#include "engine/device/device_address.h"
#include "engine/device/device_texts.h"
#include "engine/device/transport.h"
#include "platform/scsi_passthrough.h"

namespace device {

namespace {

constexpr std::uint32_t kMinimumTimeoutMs = 10000;
constexpr std::uint8_t kTypeCdDvd = 5;
constexpr std::uint8_t kTypeWriteOnce = 4;

// Operation codes whose first failure is not worth a log line: they fail
// routinely while a drive is probed.
constexpr std::uint8_t kQuietOperations[] = {0x00, 0x01, 0x04, 0x12, 0x1B, 0x1E, 0x23, 0x35, 0x43,
                                             0x46, 0x51, 0x52, 0x55, 0x5A, 0x5C, 0xB6, 0xBB};

std::string Printable(std::span<const std::uint8_t> bytes) {
  std::string s;
  for (std::uint8_t b : bytes) s.push_back(b < 32 ? ' ' : static_cast<char>(b));
  return s;
}

std::string FixedText(std::span<const std::uint8_t> bytes) {
  std::string s;
  for (std::uint8_t b : bytes) {
    if (b == 0) break;
    s.push_back(static_cast<char>(b));
  }
  return s;
}

std::string Trim(std::string s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  const auto last = s.find_last_not_of(' ');
  return s.substr(first, last - first + 1);
}

}  // namespace

namespace {
// Real pauses of an operation sleep on its cancel token.
class TRealSleeper final : public TSleeper {
 public:
  bool PauseUnlessCancelled(const base::CancelToken* cancel, std::uint32_t ms) override {
    if (cancel == nullptr) {
      Sleep(ms);
      return false;
    }
    return cancel->SleepFor(ms);
  }
};
}  // namespace

TSleeper& RealSleeper() {
  static TRealSleeper sleeper;
  return sleeper;
}

TSCSIDevice::TSCSIDevice() : FSleeper(&RealSleeper()) {
  if (TransportReady()) {
    HostAdapterInquiry(0);
    ScanDevices();
  }
}

TSCSIDevice::~TSCSIDevice() = default;

bool TSCSIDevice::ASPIInitialized() const { return TransportReady(); }

bool TSCSIDevice::InitASPI(bool useSpti, const std::string& dllPath) {
  bool ready = false;
  try {
    ready = InitializeTransport(useSpti, dllPath);
  } catch (const std::exception&) {
    ready = false;
  }
  if (ready) {
    HostAdapterInquiry(0);
    ScanDevices();
  }
  return ready;
}

void TSCSIDevice::HostAdapterInquiry(std::uint8_t hostAdapter) {
  TSRB srb = SRB_HAInquiry{};
  std::get<SRB_HAInquiry>(srb).SRB_HaId = hostAdapter;
  SendASPI32Command(&srb);
  FHaInquiry = std::get<SRB_HAInquiry>(srb);
  if (FHaInquiry.SRB_Status == kSsComp)
    FHostAdapterCount = FHaInquiry.HA_Count == 0 ? 7 : FHaInquiry.HA_Count;
  else
    FHostAdapterCount = 255;
}

void TSCSIDevice::ScanDevices() {
  FDeviceList.clear();
  const std::uint8_t savedHa = FHostAdapter, savedTarget = FTarget, savedLun = FLun;
  if (DebugLogging()) DebugMessage(">>> " + TransportName(), kMsgProgress);
  const std::uint8_t adapters = FHostAdapterCount;
  for (unsigned ha = 0; ha < adapters; ++ha) {
    HostAdapterInquiry(static_cast<std::uint8_t>(ha));
    if (DebugLogging())
      DebugMessage(">>> " + FixedText(FHaInquiry.HA_ManagerId) + " (" + Trim(FixedText(FHaInquiry.HA_Identifier)) +
                       ")",
                   kMsgProgress);
    for (const TDeviceAddress& at : AddressesToScan(static_cast<std::uint8_t>(ha))) {
      FHostAdapter = at.HostAdapter;
      FTarget = at.Target;
      FLun = at.Lun;
      FInquiry.fill(0);
      if (!Inquiry()) continue;
      const std::uint8_t type = FInquiry[0];
      if (type != kTypeCdDvd && type != kTypeWriteOnce) continue;
      const char letter = DriveLetter();
      std::string line = std::to_string(ha) + ":" + std::to_string(at.Target) + ":" + std::to_string(at.Lun) + ",";
      line += letter != '\0' ? std::string(1, letter) + ":" : std::string("?:");
      line += " " + Printable(std::span<const std::uint8_t>(FInquiry).subspan(8, 28));
      if (type == kTypeWriteOnce) line += texts::kNotSupported;
      FDeviceList.push_back(line);
    }
  }
  FHostAdapterCount = adapters;
  FHostAdapter = savedHa;
  FTarget = savedTarget;
  FLun = savedLun;
  FLastErrorText.clear();
}

std::vector<TDeviceAddress> TSCSIDevice::AddressesToScan(std::uint8_t hostAdapter) {
  // The built-in layer knows its drives, whose targets and units may pass 7;
  // a library is asked at every address of the classic bus.
  if (auto layer = ActiveBuiltInLayer()) return layer->AddressesOn(hostAdapter);
  std::vector<TDeviceAddress> all;
  for (std::uint8_t target = 0; target < 8; ++target)
    for (std::uint8_t lun = 0; lun < 8; ++lun) all.push_back(TDeviceAddress{hostAdapter, target, lun});
  return all;
}

void TSCSIDevice::ResetSelection() {
  FHostAdapter = FTarget = FLun = kNoAddress;
  FDeviceId.clear();
  FDeviceName.clear();
  FDeviceType = kNoDeviceType;
}

void TSCSIDevice::SelectDevice(const std::string& deviceId) {
  auto reject = [this] {
    DebugMessage(texts::kInvalidDeviceId, kMsgDriveError);
    ResetSelection();
  };
  if (deviceId.size() <= 4) {
    if (!deviceId.empty()) DebugMessage(texts::kInvalidDeviceId, kMsgDriveError);
    ResetSelection();
    return;
  }
  // Host numbers pass 9 on Linux after a few USB replugs: whole numbers, not digits.
  const auto address = ParseDeviceAddress(deviceId);
  if (!address) {
    reject();
    return;
  }
  FHostAdapter = address->HostAdapter;
  FTarget = address->Target;
  FLun = address->Lun;
  FDeviceId = deviceId;
  // The node stays open while the drive is selected: every open and close
  // makes the kernel send commands of its own to the drive.
  SetCloseHandleAfterCommand(false);
  try {
    RefreshCapabilities();
    if (Inquiry()) {
      FDeviceType = FInquiry[0];
      const auto id = std::span<const std::uint8_t>(FInquiry);
      FDeviceName = Printable(id.subspan(8, 8)) + " " + Printable(id.subspan(16, 16)) + " " +
                    Printable(id.subspan(32, 4));
    } else {
      // Nothing answers at this address: a stale type must not pass it.
      FDeviceName = FLastErrorText;
      FDeviceType = kNoDeviceType;
    }
  } catch (const std::exception&) {
    reject();
    return;
  }
  if (FDeviceType != kTypeCdDvd && FDeviceType != kTypeWriteOnce) {
    reject();
    return;
  }
  ApplyModelQuirks();
  DeviceSelected();
}

std::uint32_t TSCSIDevice::ExecuteSRB(SRB_ExecSCSICmd& srb, std::uint32_t timeoutMs) {
  FLastErrorText.clear();
  FTargetBusy = false;
  FLastSense.fill(0);
  FSense = TSense{};
  if (!TransportReady() || FHostAdapter == kNoAddress) return kExecuteNotSent;
  TSRBEvent event;
  const bool notify = (srb.SRB_Flags & kSrbEventNotify) != 0;
  srb.SRB_PostProc = notify ? &event : nullptr;
  srb.SRB_Cmd = kScExecScsiCmd;
  srb.SRB_HaId = FHostAdapter;
  srb.SRB_Target = FTarget;
  srb.SRB_Lun = FLun;
  srb.SRB_SenseLen = kSenseLen;
  srb.CDBByte[1] = static_cast<std::uint8_t>((srb.CDBByte[1] & 0x1F) | ((FLun & 0x07) << 5));
  const std::uint32_t effectiveMs = std::max(timeoutMs, kMinimumTimeoutMs);
  srb.TimeoutMs = effectiveMs;

  TSRB request = srb;
  SendASPI32Command(&request);
  auto& answered = std::get<SRB_ExecSCSICmd>(request);
  if (notify && answered.SRB_Status == kSsPending) FSleeper->WaitForEvent(event, effectiveMs);
  srb = answered;
  srb.SRB_PostProc = nullptr;
  if (srb.SRB_Status == kSsPending) {
    // No abort is sent; the command is marked failed and reported as a time-out.
    srb.SRB_Status = kSsErr;
    srb.SRB_HaStat = kHaStatTimeout;
  }
  const bool failed = srb.SRB_Status != kSsComp;
  if (failed) DecodeFailure(srb);

  if (!FOneShotLogDone) {
    FOneShotLogDone = true;
    const std::uint8_t op = srb.CDBByte[0];
    const bool quiet = std::find(std::begin(kQuietOperations), std::end(kQuietOperations), op) !=
                       std::end(kQuietOperations);
    const bool longWrite = FSense.Asc == 0x04 && FSense.Ascq == 0x08;
    if (failed && !quiet && !longWrite) DebugMessage(FailureLogLine(srb), kMsgDriveError);
  }
  const auto address = reinterpret_cast<std::uintptr_t>(srb.SRB_BufPointer);
  if (address % 4 != 0) DebugMessage(texts::kAlignmentReport + std::to_string(address), kMsgDriveError);
  return 1;
}

char TSCSIDevice::DriveLetter() {
  if (auto layer = ActiveBuiltInLayer()) return layer->DriveLetterOf(FHostAdapter, FTarget, FLun);
  if (!TransportReady()) return '\0';
  // An ASPI library: the letter whose drive reports the same port and
  // target, trying B: to Z:; Linux has no letters to try.
  for (int number = 2; number <= 26; ++number) {
    const auto letter = static_cast<char>(64 + number);
    const auto address = platform::ScsiAddressOfLetter(letter);
    if (address && address->HostAdapter == FHostAdapter && address->Target == FTarget) return letter;
  }
  // Else the library's own idea of the drive, where it has one.
  TSRB request = SRB_GetDiskInfo{};
  auto& info = std::get<SRB_GetDiskInfo>(request);
  info.SRB_HaId = FHostAdapter;
  info.SRB_Target = FTarget;
  info.SRB_Lun = FLun;
  SendASPI32Command(&request);
  const auto& answer = std::get<SRB_GetDiskInfo>(request);
  if (answer.SRB_Status == kSsComp && answer.SRB_Int13HDriveInfo < 26)
    return static_cast<char>('A' + answer.SRB_Int13HDriveInfo);
  return '\0';
}

std::string TSCSIDevice::DriveLocation() {
  if (auto layer = ActiveBuiltInLayer()) return layer->LocationOf(FHostAdapter, FTarget, FLun);
  return std::string();
}

}  // namespace device
