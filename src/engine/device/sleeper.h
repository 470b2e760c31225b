#pragma once
// Pauses and completion waits of the device layer, behind one seam so that
// tests of waits, retries and time-outs run in milliseconds.
#include <chrono>
#include <cstdint>
#include <thread>

#include "engine/device/transport.h"

namespace device {

class TSleeper {
 public:
  virtual ~TSleeper() = default;
  virtual void Sleep(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  // True when the event was set within the time.
  virtual bool WaitForEvent(TSRBEvent& event, std::uint32_t ms) { return event.WaitFor(ms); }
};

// The sleeper that waits the real times.
TSleeper& RealSleeper();

}  // namespace device
