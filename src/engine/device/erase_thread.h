#pragma once
// TEraseThread: waits while the drive blanks or formats a rewritable disc,
// turning elapsed time into a percentage of a fixed estimate, then returns
// the drive to a neutral state and reports once. Past the estimate it waits
// on while the drive's own progress indication keeps moving.
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "base/cancel_token.h"

namespace device {

class TSCSIDevice;
class TSleeper;
struct TSense;

// Estimated seconds of a blank by medium code and blanking type.
std::uint16_t EraseDuration(std::uint8_t medium, std::uint8_t blankType);

class TEraseThread {
 public:
  struct Params {
    TSCSIDevice* Device = nullptr;
    TSleeper* Sleeper = nullptr;
    std::uint8_t Medium = 0;
    std::uint8_t BlankType = 0;
    std::uint16_t Duration = 0;
    // Stops the waits; the blank the drive performs runs on regardless.
    base::CancelTokenPtr Cancel;
    // Called once on the eraser's thread at the end; `reason` says why the
    // wait gave up on a drive still busy, else it is empty.
    std::function<void(bool withError, const std::string& reason)> Done;
    // The same reason, for the log, as soon as it is known.
    std::function<void(const std::string&)> Message;
    // The percentage, on the eraser's thread, each time it moves off the
    // last one told (the first told is 0, by whoever starts the erase); at
    // most once per kReportEveryMs of its waits, and 100 only when the
    // blank has ended well, just before Done.
    std::function<void(int percent)> Progress;
  };

  // A drive past the estimate is given up when its progress stands still
  // this long, and in any case after this many estimates.
  static constexpr std::uint64_t kStallMs = 15 * 60 * 1000;
  static constexpr std::uint32_t kMostEstimates = 6;
  static constexpr std::uint64_t kReportEveryMs = 250;

  explicit TEraseThread(Params params);
  ~TEraseThread();
  TEraseThread(const TEraseThread&) = delete;
  TEraseThread& operator=(const TEraseThread&) = delete;

  bool Running() const { return FRunning; }
  void Join();
  bool OnEraserThread() const { return FThread.get_id() == std::this_thread::get_id(); }

 private:
  void Run();
  void Advance(std::uint32_t seconds);
  void Report(bool last);
  bool Cancelled() const { return base::IsCancelled(FParams.Cancel.get()); }
  bool Elapsed() const;
  bool DriveMoving() const;
  int DrivePercent() const;
  void Pause(std::uint32_t ms);
  // The last command left the drive not ready; notes its progress indication.
  bool NotReady();
  void Watch(const TSense& sense);
  std::string GaveUpText() const;
  void OverwriteStart(std::uint32_t writes, bool flushAndClose);

  Params FParams;
  std::uint32_t FSeconds = 0;
  std::uint64_t FWaitedMs = 0;
  std::optional<std::uint16_t> FDriveProgress;
  std::uint64_t FMovedAtMs = 0;
  int FProgress = 0;
  int FReported = 0;
  std::uint64_t FReportedAtMs = 0;
  std::atomic<bool> FRunning{true};
  std::thread FThread;
};

}  // namespace device
