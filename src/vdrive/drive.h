#pragma once
// The virtual recorder: an MMC-5 drive in software. It parses command
// blocks with its own field readers and answers as real drives do, with its
// disc in a file (TDiscFile). Commands sent with the immediate bit take
// simulated time, measured on an injectable clock: the drive never waits on
// its own, it compares times when asked.
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/scsi_passthrough.h"
#include "vdrive/disc_image.h"
#include "vdrive/faults.h"
#include "vdrive/medium.h"

namespace vdrive {

class TClock {
 public:
  virtual ~TClock() = default;
  virtual std::int64_t NowMs() = 0;
  virtual void SleepMs(std::int64_t ms) = 0;
};
// Steady time and real sleeps.
TClock& SystemClock();

// Simulated durations of the immediate-bit commands, in ms.
struct TTimings {
  std::uint32_t BlankMinimal = 2000;
  std::uint32_t BlankFull = 6000;
  std::uint32_t Format = 4000;
  std::uint32_t CloseTrack = 500;
  std::uint32_t CloseSession = 1500;
  std::uint32_t Finalize = 3000;
};
// The defaults, scaled by ZANTIC_VDRIVE_TIMESCALE when set (0 makes them instant).
TTimings DefaultTimings();

struct TCommandRecord {
  std::vector<std::uint8_t> Cdb;
  std::uint8_t Status = 0;  // 00h good, 02h check condition, 08h busy
  TSense Sense;
  std::uint8_t Opcode() const { return Cdb.empty() ? 0 : Cdb[0]; }
};

inline constexpr const char* kVendor = "ZANTIC";
inline constexpr const char* kProduct = "VIRTUAL RECORDER";
inline constexpr const char* kRevision = "1.00";
inline constexpr std::uint32_t kBufferSize = 2u << 20;

inline constexpr std::uint8_t kStatusGood = 0x00;
inline constexpr std::uint8_t kStatusCheck = 0x02;
inline constexpr std::uint8_t kStatusBusy = 0x08;

class TVirtualRecorder {
 public:
  explicit TVirtualRecorder(std::string discPath, TClock* clock = nullptr);
  ~TVirtualRecorder();
  TVirtualRecorder(const TVirtualRecorder&) = delete;
  TVirtualRecorder& operator=(const TVirtualRecorder&) = delete;

  // A handle as the built-in layer opens it: locks the disc file against
  // other processes and picks up what they changed. False while another
  // process holds the disc.
  bool Open();
  // Flushes what was written since the last flush and releases the lock.
  void Close();
  bool IsOpen() const;
  // Why the last Open failed; empty when it did not.
  std::string OpenProblem() const;
  platform::ScsiOutcome Execute(std::span<const std::uint8_t> cdb, platform::ScsiDirection direction,
                                std::span<std::uint8_t> data, std::span<std::uint8_t> sense);

  const std::string& DiscPath() const { return FDiscPath; }
  // These load the disc on first use, as commands do.
  // Why the disc could not be loaded (the drive then has no medium); empty when loaded.
  std::string LoadError();
  std::optional<TDisc> Disc();
  // How the throttled buffer fared in the writes that the last SYNCHRONIZE
  // CACHE ended: whether the host ever filled it, how often a write found it
  // empty after that, and the lowest fill a write found after that.
  struct TBufferStats {
    bool Filled = false;
    std::uint32_t EmptyAfterFull = 0;
    std::uint32_t LowestAfterFull = kBufferSize;
  };
  TBufferStats BufferStats() const;
  std::vector<TCommandRecord> CommandLog() const;
  void ClearCommandLog();
  TFaults Faults();
  // Kept with the disc when one is loaded.
  void SetFaults(const TFaults& faults);
  void SetTimings(const TTimings& timings);
  // A hung drive: an immediate-bit command's progress stops moving `ms`
  // into it and the drive stays busy until the tray opens (0: never).
  void SetStallAfter(std::uint32_t ms);
  // Appends one line per command to this file (ZANTIC_VDRIVE_LOG by default).
  void SetLogFile(const std::string& path);

 private:
  struct TCommand {
    std::span<const std::uint8_t> Cdb;
    platform::ScsiDirection Direction;
    std::span<std::uint8_t> Data;
  };
  struct TPending {
    std::int64_t Start = 0;
    std::int64_t End = 0;
    TSense Sense;
  };
  using THandler = TCheck (TVirtualRecorder::*)(TCommand&);

  // drive.cpp
  void EnsureLoaded();
  TCheck Dispatch(TCommand& c);
  TCheck RequireMedium() const;
  void Respond(TCommand& c, std::span<const std::uint8_t> reply, std::size_t allocation);
  // False when the state could not be saved (the previous one stays, on file and here).
  bool Commit(const TStoredState& state);
  bool Commit(const TDisc& disc);
  void MediumLoaded();
  void StartPending(std::uint32_t ms, TSense notReady);
  std::optional<TPending> ActivePending();
  // Sense-key specific progress indication of a pending command, 0 to 65535.
  std::uint16_t PendingProgress(const TPending& pending);
  void Record(std::span<const std::uint8_t> cdb, std::uint8_t status, const TSense& s);
  void LogLine(const std::string& line);
  std::vector<std::uint32_t> WriteSpeeds() const;
  std::uint32_t MaxReadSpeed() const;
  bool IsCdMedium() const;
  bool IsBdMedium() const;
  void DrainBuffer();
  std::uint32_t DrainRate() const;

  TCheck TestUnitReady(TCommand& c);
  TCheck RequestSense(TCommand& c);
  TCheck Inquiry(TCommand& c);
  TCheck StartStopUnit(TCommand& c);
  TCheck PreventAllow(TCommand& c);
  TCheck Rezero(TCommand& c);
  TCheck SetCdSpeed(TCommand& c);
  TCheck ReadBufferCapacity(TCommand& c);
  TCheck SetStreaming(TCommand& c);
  TCheck GetPerformance(TCommand& c);
  TCheck SendOpc(TCommand& c);
  TCheck SendDvdStructure(TCommand& c);
  // mode_pages.cpp
  void ResetWriteParameters();
  std::vector<std::uint8_t> WriteParametersPage(std::uint8_t control) const;
  std::vector<std::uint8_t> CapabilitiesPage(std::uint8_t control) const;
  TCheck ModeSense(TCommand& c);
  TCheck ModeSelect(TCommand& c);
  bool TestWriteOn() const;
  bool NextSessionAllowed() const;
  // commands_info.cpp
  TCheck ReadDiscInformation(TCommand& c);
  TCheck ReadTrackInformation(TCommand& c);
  TCheck ReadToc(TCommand& c);
  TCheck ReadCapacity(TCommand& c);
  TCheck ReadFormatCapacities(TCommand& c);
  TCheck GetConfiguration(TCommand& c);
  // commands_write.cpp
  TCheck Read10(TCommand& c);
  bool DamagedRead(const TFaults& faults, std::uint32_t lba, std::uint64_t end);
  void CorruptRead(const TFaults& faults, std::uint32_t lba, std::uint64_t end, std::span<std::uint8_t> data);
  TCheck Write10(TCommand& c);
  TCheck Write12(TCommand& c);
  TCheck WriteBlocks(TCommand& c, std::uint32_t lba, std::uint32_t count, bool streaming);
  TCheck ReadDiscStructure(TCommand& c);
  TCheck SynchronizeCache(TCommand& c);
  TCheck CloseTrackSession(TCommand& c);
  TCheck ReserveTrack(TCommand& c);
  TCheck FormatUnit(TCommand& c);
  TCheck Blank(TCommand& c);
  TDisc& WorkingDisc(TDisc& real);

  mutable std::mutex FMutex;
  std::string FDiscPath;
  TClock* FClock;
  TTimings FTimings;
  std::uint32_t FStallAfter = 0;
  std::unique_ptr<TDiscFile> FFile;
  bool FLoadTried = false;
  std::string FLoadError;
  std::string FOpenProblem;
  TFaults FLooseFaults;  // faults while no disc is loaded
  bool FOpen = false;
  bool FDirty = false;
  bool FTrayOpen = false;
  bool FPrevent = false;
  bool FUnitAttention = false;
  std::optional<TPending> FPending;
  std::array<std::uint8_t, 52> FWriteParams{};
  std::optional<TDisc> FTestDisc;  // the simulated disc while a test write runs
  std::uint32_t FWriteSpeed = 0;
  // The last write verified each block for defect management (a BD with
  // spare areas written without the streaming bit): half the drain rate.
  bool FVerifying = false;
  std::uint32_t FReadSpeed = 0;
  double FBufferUsed = 0;
  TBufferStats FBufferStats;
  TBufferStats FLastBufferStats;
  std::int64_t FBufferStamp = 0;
  std::deque<TCommandRecord> FLog;
  std::string FLogFile;
  std::unordered_map<std::uint32_t, std::uint8_t> FFailedReads;  // attempts on flaky sectors
};

}  // namespace vdrive
