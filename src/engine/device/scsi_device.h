#pragma once
// The device base of the burner component: the selected drive's address,
// the drive list, the last error text and sense data, the lock that guards
// every hand-over of a data block, and one wrapper per MMC command.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/device/device_address.h"
#include "engine/device/media_types.h"
#include "engine/device/sense.h"
#include "engine/device/sleeper.h"
#include "engine/device/srb.h"
#include "engine/message_kinds.h"

namespace device {

class TSCSIDevice;
using TDebugMessageEvent = std::function<void(TSCSIDevice& sender, const std::string& message, std::uint8_t mType)>;

// Message kinds of OnDebugMessage.
using engine::kMsgDriveError;
using engine::kMsgProgress;
using engine::kMsgTableFull;
using engine::kMsgCompilationError;

// ExecuteSRB's answer when nothing was sent (no transport, no drive selected).
inline constexpr std::uint32_t kExecuteNotSent = 226;
inline constexpr std::uint8_t kNoDeviceType = 127;
inline constexpr std::size_t kInquiryBufferSize = 131;

// READ TRACK INFORMATION answer (MMC-5 6.27.3).
struct TTrackInfo {
  std::uint16_t DataLength = 0;
  std::uint32_t TrackStart = 0;
  std::uint32_t NextWritableAddress = 0;
  std::uint32_t FreeBlocks = 0;
  std::uint32_t FixedPacketSize = 0;
  std::uint32_t TrackSize = 0;
  std::uint32_t LastRecordedAddress = 0;
  std::uint8_t Session = 0;     // byte 3, low byte of the session number
  std::uint8_t ModeFlags = 0;   // byte 6: RT, Blank, Packet, FP, data mode
  std::uint8_t ValidFlags = 0;  // byte 7: LRA_V, NWA_V
  bool Reserved() const { return (ModeFlags & 0x80) != 0; }
  bool Blank() const { return (ModeFlags & 0x40) != 0; }
  bool NextWritableValid() const { return (ValidFlags & 0x01) != 0; }
  bool LastRecordedValid() const { return (ValidFlags & 0x02) != 0; }
};

// READ DISC INFORMATION answer (MMC-5 6.22.3), byte 2 through named accessors.
struct TDiscInfo {
  std::uint8_t StatusByte = 0;
  std::uint8_t Sessions = 0;
  std::uint8_t FirstTrackInLastSession = 0;
  std::uint8_t LastTrackInLastSession = 0;
  bool Erasable() const { return (StatusByte & 0x10) != 0; }
  std::uint8_t LastSessionState() const { return static_cast<std::uint8_t>((StatusByte >> 2) & 0x03); }
  std::uint8_t DiscStatus() const { return static_cast<std::uint8_t>(StatusByte & 0x03); }
};

// GET CONFIGURATION answer for one feature (MMC-5 5.2).
struct TConfiguration {
  std::uint16_t CurrentProfile = 0;
  std::uint16_t Feature = 0;
  std::uint8_t FeatureFlags = 0;
  std::uint8_t FeatureData = 0;  // the first byte after the descriptor header (the Write bit of the DVD+ features)
  // Feature bytes 4 to 35 as far as the descriptor's additional length reaches, zeros after.
  std::array<std::uint8_t, 32> FeatureBody{};
};

enum class TStartStop { Eject, Load };
enum class TRemoval { Prevent, Allow };
enum class TImmediate { No, Yes };
enum class TModeValues { Current, Default };
enum class TAddressForm { Lba, Msf };

class TSCSIDevice {
 public:
  TSCSIDevice();
  virtual ~TSCSIDevice();
  TSCSIDevice(const TSCSIDevice&) = delete;
  TSCSIDevice& operator=(const TSCSIDevice&) = delete;

  TDebugMessageEvent OnDebugMessage;

  const std::string& LastErrorText() const { return FLastErrorText; }
  void Lock() { FLock.lock(); }
  void Unlock() { FLock.unlock(); }
  std::recursive_mutex& CriticalSection() { return FLock; }

  // --- transport and drive list -------------------------------------------
  bool InitASPI(bool useSpti, const std::string& dllPath);
  bool ASPIInitialized() const;
  void HostAdapterInquiry(std::uint8_t hostAdapter);
  void ScanDevices();
  void SelectDevice(const std::string& deviceId);
  std::uint32_t ExecuteSRB(SRB_ExecSCSICmd& srb, std::uint32_t timeoutMs);
  // 'A'..'Z', or 0 when the drive has no letter.
  char DriveLetter();
  // Where the selected drive lives (device node, disc file) when the system names no letter.
  std::string DriveLocation();

  std::uint8_t HostAdapter() const { return FHostAdapter; }
  std::uint8_t Target() const { return FTarget; }
  std::uint8_t Lun() const { return FLun; }
  std::uint8_t HostAdapterCount() const { return FHostAdapterCount; }
  const std::vector<std::string>& DeviceList() const { return FDeviceList; }
  const std::string& DeviceId() const { return FDeviceId; }
  const std::string& DeviceName() const { return FDeviceName; }
  std::uint8_t DeviceType() const { return FDeviceType; }
  const std::array<std::uint8_t, kSenseAreaSize>& LastSense() const { return FLastSense; }
  // LastSense decoded, whichever format the drive used.
  const TSense& Sense() const { return FSense; }
  bool TargetBusy() const { return FTargetBusy; }
  bool OneShotLogDone() const { return FOneShotLogDone; }
  void SetOneShotLogDone(bool v) { FOneShotLogDone = v; }
  bool Erasing() const { return FErasing; }
  // The medium last seen in this drive by the writer, the eraser or the
  // rewritable test; each drive has its own.
  std::uint8_t CurrentMediaType() const { return FCurrentMediaType; }
  void SetCurrentMediaType(std::uint8_t code) { FCurrentMediaType = code; }
  const std::array<std::uint8_t, kInquiryBufferSize>& InquiryData() const { return FInquiry; }

  // Waits run through this; the default waits the real times.
  void SetSleeper(TSleeper& sleeper) { FSleeper = &sleeper; }
  TSleeper& Sleeper() const { return *FSleeper; }

  // --- failure decoding -----------------------------------------------------
  void DecodeFailure(const SRB_ExecSCSICmd& srb);
  std::string FailureLogLine(const SRB_ExecSCSICmd& srb) const;
  static std::string CommandName(std::uint8_t operationCode);

  // --- MMC commands: true on success ---------------------------------------
  bool TestUnitReady(std::uint32_t timeoutMs);
  bool RezeroUnit();
  bool RequestSense(std::span<std::uint8_t> buffer);
  bool FormatUnit(std::span<const std::uint8_t, 12> parameterList);
  bool Inquiry();
  bool StartStopUnit(TStartStop action);
  bool PreventAllowMediumRemoval(TRemoval removal);
  bool ReadFormatCapacities(std::vector<std::uint8_t>& data);
  bool ReadCapacity(std::uint32_t& lastLba, std::uint32_t& blockLength);
  bool Read10(std::uint32_t lba, std::uint16_t blocks, std::vector<std::uint8_t>& data);
  bool Write10(std::uint32_t lba, std::uint16_t blocks, std::span<std::uint8_t> data, std::uint8_t flags = kFlagsWrite);
  // WRITE (12) with the Streaming bit: no verify by defect management (MMC-6, WRITE (12)).
  bool Write12Streaming(std::uint32_t lba, std::uint32_t blocks, std::span<std::uint8_t> data);
  // The spare area blocks of a BD (READ DISC STRUCTURE format 0Ah): 0 without
  // spare areas, nullopt when the drive cannot tell.
  std::optional<std::uint32_t> BdSpareBlocks();
  bool SynchronizeCache(TImmediate immediate, std::uint32_t timeoutMs);
  bool ReadTocPmaAtip(TAddressForm form, std::uint8_t format, std::uint8_t trackOrSession,
                      std::uint8_t allocationLength, std::uint8_t control, std::vector<std::uint8_t>& data);
  bool GetConfiguration(std::uint8_t feature);
  bool ReadDiscInformation();
  bool ReadTrackInformation(std::uint8_t track);
  bool ReserveTrack(std::uint32_t blocks);
  bool SendOpcInformation();
  bool ModeSelect10(std::span<std::uint8_t> parameters);
  bool ModeSense10(std::uint8_t pageCode, TModeValues values, std::span<std::uint8_t> buffer);
  // Form A: the close function follows from finalize and closeTrack.
  bool CloseTrackSession(TImmediate immediate, bool finalize, bool closeTrack);
  // Form B: the caller gives the close function and bytes 3 to 5.
  bool CloseTrackSession(TImmediate immediate, std::uint8_t closeFunction, std::uint8_t byte3, std::uint8_t byte4,
                         std::uint8_t byte5);
  bool ReadBufferCapacity();
  bool Blank(std::uint8_t blankingType);
  bool SetStreaming(std::span<std::uint8_t, 28> performanceDescriptor);
  bool SetCdSpeed(std::uint16_t readKBps, std::uint16_t writeKBps);
  bool SendDvdStructure(std::uint8_t formatCode, std::span<std::uint8_t> parameters);

  bool WaitForReady(std::uint32_t totalMs, std::uint32_t stepMs);

  // --- what the drive can do and what disc it holds ------------------------
  // Rebuilds the capability set and the speeds from page 2Ah and the
  // configuration features; false when the current page cannot be read.
  bool RefreshCapabilities();
  std::uint32_t Capabilities() const { return FCapabilities; }
  bool HasCapability(std::uint32_t bit) const { return (FCapabilities & bit) != 0; }
  // The drive's fastest speeds in KB/s, 0 until its capabilities are read.
  std::uint16_t DeviceMaxWriteSpeed() const { return FDeviceMaxWriteSpeed; }
  std::uint16_t DeviceMaxReadSpeed() const { return FDeviceMaxReadSpeed; }
  // Refresh, then the kept current page's fields; 0 when the refresh fails.
  std::uint16_t MaxWriteSpeed();
  std::uint16_t MaxReadSpeed();
  std::uint16_t CurrentWriteSpeed();
  std::uint16_t CurrentReadSpeed();
  // Whether the capabilities name any medium the drive can write.
  bool WritesAnything() const;
  // Buffer size in KB from the kept current page.
  std::uint16_t BufferSizeKB() const;
  std::uint8_t DetectMediaType();
  // Leaves the record untouched when the drive never becomes ready.
  void GetDiscInfo(TDisc& disc);
  std::uint32_t SessionCount();
  std::int32_t DiscState();
  bool IsRewritable();
  std::uint32_t DiscUsedBlocks();
  std::uint32_t DiscFreeBlocks();
  std::uint32_t DiscTotalBlocks();
  std::uint32_t VolumeSpaceSize();
  bool SetWriteParameters(bool testWrite, bool underrunProtection, std::uint8_t medium, bool last);
  const TModelQuirks& Quirks() const { return FQuirks; }

  bool UnderrunProtection() const { return FUnderrunProtection; }
  void SetUnderrunProtection(bool v) { FUnderrunProtection = v; }
  bool FinalizeDisc() const { return FFinalizeDisc; }
  void SetFinalizeDisc(bool v) { FFinalizeDisc = v; }

  // --- decoded results ------------------------------------------------------
  std::uint32_t DeviceBufferSize() const { return FDeviceBufferSize; }
  std::uint32_t DeviceFreeBufferSize() const { return FDeviceFreeBufferSize; }
  void SetDeviceBufferSize(std::uint32_t v) { FDeviceBufferSize = v; }
  void SetDeviceFreeBufferSize(std::uint32_t v) { FDeviceFreeBufferSize = v; }
  std::uint32_t CapacityLastLba() const { return FCapacityLastLba; }
  std::uint32_t CapacityBlockLength() const { return FCapacityBlockLength; }
  const TTrackInfo& LastTrackInfo() const { return FLastTrackInfo; }
  const TDiscInfo& LastDiscInfo() const { return FLastDiscInfo; }
  const TConfiguration& Configuration() const { return FConfiguration; }

 protected:
  void DebugMessage(const std::string& message, std::uint8_t kind) { RaiseDebugMessage(message, kind); }
  // The component sends the lines of worker threads through its dispatcher.
  virtual void RaiseDebugMessage(const std::string& message, std::uint8_t kind) {
    if (OnDebugMessage) OnDebugMessage(*this, message, kind);
  }
  // Verbose lines of the drive scan; the component answers with its DoDebug.
  virtual bool DebugLogging() const { return false; }
  // Called after a successful selection (model quirks, OnDeviceChange).
  virtual void DeviceSelected() {}
  void ResetSelection();
  std::vector<TDeviceAddress> AddressesToScan(std::uint8_t hostAdapter);

  std::string FLastErrorText;
  bool FSlowReadyQuirk = false;
  TModelQuirks FQuirks;
  std::uint32_t FCapabilities = 0;
  std::uint16_t FDeviceMaxWriteSpeed = 0;
  std::uint16_t FDeviceMaxReadSpeed = 0;
  std::array<std::uint8_t, 128> FCapsPage{};  // page 2Ah, current values, from its page code on
  bool FUnderrunProtection = true;
  bool FFinalizeDisc = false;
  std::atomic<bool> FErasing{false};
  std::atomic<std::uint8_t> FCurrentMediaType{0};

 private:
  // Fills a request block with a command block and runs it.
  std::uint32_t Run(SRB_ExecSCSICmd& srb, std::uint32_t timeoutMs);
  bool Simple(std::span<const std::uint8_t> cdb, std::uint32_t timeoutMs);
  bool AscIsNotReady() const { return FSense.NotReady(); }
  void ApplyModelQuirks();
  // The read/write bits of page 2Ah (from its page code on), the vendor page and the features.
  void DecodeCapabilityPage(std::span<const std::uint8_t> page);
  std::uint16_t CapsPage16(std::size_t at) const {
    return static_cast<std::uint16_t>(FCapsPage[at] << 8 | FCapsPage[at + 1]);
  }
  // Medium, last track of the last session and the write page, as the space
  // queries begin; false when the disc information cannot be read.
  std::uint8_t SpaceQueryStart(std::uint8_t& lastTrack);
  bool TrackInfoFor(std::uint32_t track);
  // READ TOC/PMA/ATIP format 4, kept only when the answer is an ATIP: some
  // drives answer every format with a plain table of contents.
  bool ReadAtip(std::vector<std::uint8_t>& atip);
  // Blocks READ CAPACITY counts (its last address + 1); nullopt when refused.
  std::optional<std::uint32_t> CapacityBlocks();
  bool Pause(std::int64_t& budget, std::uint32_t ms);
  // The token that ends the pauses of the waits above early; none here.
  virtual std::shared_ptr<const base::CancelToken> PauseCancelToken() const { return nullptr; }

  std::recursive_mutex FLock;
  TSleeper* FSleeper;
  std::uint8_t FHostAdapter = kNoAddress;
  std::uint8_t FTarget = kNoAddress;
  std::uint8_t FLun = kNoAddress;
  std::uint8_t FHostAdapterCount = 0;
  std::vector<std::string> FDeviceList;
  std::string FDeviceId;
  std::string FDeviceName;
  std::uint8_t FDeviceType = kNoDeviceType;
  std::array<std::uint8_t, kSenseAreaSize> FLastSense{};
  TSense FSense;
  bool FTargetBusy = false;
  bool FOneShotLogDone = false;
  std::array<std::uint8_t, kInquiryBufferSize> FInquiry{};
  SRB_HAInquiry FHaInquiry;
  std::vector<std::uint8_t> FModeTransfer;
  // Written by the writer thread, read by the progress display.
  std::atomic<std::uint32_t> FDeviceBufferSize{0};
  std::atomic<std::uint32_t> FDeviceFreeBufferSize{0};
  std::uint32_t FCapacityLastLba = 0;
  std::uint32_t FCapacityBlockLength = 0;
  TTrackInfo FLastTrackInfo;
  TDiscInfo FLastDiscInfo;
  TConfiguration FConfiguration;
};

}  // namespace device
