#pragma once
// Pauses and completion waits of the device layer, behind one seam so that
// tests of waits, retries and time-outs run in milliseconds.
#include <chrono>
#include <cstdint>
#include <thread>

#include "base/cancel_token.h"
#include "engine/device/transport.h"

namespace device {

class TSleeper {
 public:
  virtual ~TSleeper() = default;
  virtual void Sleep(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  // True when the event was set within the time.
  virtual bool WaitForEvent(TSRBEvent& event, std::uint32_t ms) { return event.WaitFor(ms); }
  // A pause of an operation: ends early when the operation is cancelled;
  // true when it was. Test doubles count the pause and go on at once.
  virtual bool PauseUnlessCancelled(const base::CancelToken* cancel, std::uint32_t ms) {
    if (base::IsCancelled(cancel)) return true;
    Sleep(ms);
    return base::IsCancelled(cancel);
  }
};

// The sleeper that waits the real times.
TSleeper& RealSleeper();

}  // namespace device
