#pragma once
// TEraseThread: waits while the drive blanks or formats a rewritable disc,
// turning elapsed time into a percentage of a fixed estimate, then returns
// the drive to a neutral state and reports once.
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "base/cancel_token.h"

namespace device {

class TSCSIDevice;
class TSleeper;

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
    // Called once on the eraser's thread at the end.
    std::function<void(bool withError)> Done;
  };

  explicit TEraseThread(Params params);
  ~TEraseThread();
  TEraseThread(const TEraseThread&) = delete;
  TEraseThread& operator=(const TEraseThread&) = delete;

  int Progress() const { return FProgress; }
  bool Running() const { return FRunning; }
  void Join();
  bool OnEraserThread() const { return FThread.get_id() == std::this_thread::get_id(); }

 private:
  void Run();
  void Advance(std::uint32_t seconds);
  bool Cancelled() const { return base::IsCancelled(FParams.Cancel.get()); }
  bool Elapsed() const { return FSeconds > FParams.Duration || Cancelled(); }
  void Pause(std::uint32_t ms);
  bool NotReady() const;
  void OverwriteStart(std::uint32_t writes, bool flushAndClose);

  Params FParams;
  std::uint32_t FSeconds = 0;
  std::atomic<int> FProgress{0};
  std::atomic<bool> FRunning{true};
  std::thread FThread;
};

}  // namespace device
