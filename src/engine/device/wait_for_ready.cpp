// Waiting for a drive to become ready after loading, closing or blanking.
#include <array>

#include "engine/device/scsi_device.h"

namespace device {

// Pauses and charges the pause to the budget; false once the budget is spent.
// A zero pause still costs a millisecond, so no loop can outlive its budget.
bool TSCSIDevice::Pause(std::int64_t& budget, std::uint32_t ms) {
  // Never past the budget: a 5 s step must not stretch a 3 s wait.
  if (budget > 0 && ms > budget) ms = static_cast<std::uint32_t>(budget);
  const auto cancel = PauseCancelToken();
  if (FSleeper->PauseUnlessCancelled(cancel.get(), ms)) {
    budget = 0;
    return false;
  }
  budget -= ms == 0 ? 1 : ms;
  return budget > 0;
}

bool TSCSIDevice::WaitForReady(std::uint32_t totalMs, std::uint32_t stepMs) {
  std::int64_t budget = totalMs;
  std::array<std::uint8_t, 40> sense{};
  if (FSlowReadyQuirk || SharedSlowReady()) {
    // These drives answer NOT READY for a while after a disc change.
    do {
      if (!Pause(budget, 1500)) break;
      TestUnitReady(5000);
    } while (AscIsNotReady());
  }
  if (CurrentMediaType() == kMediumDvdRam) {
    sense[12] = 0x04;
  } else {
    // Asked before the first pause: a drive that is ready already (the
    // usual case after a load or a close without the immediate bit) is not
    // kept waiting for seconds.
    ReadDiscInformation();
    while (AscIsNotReady()) {
      if (!Pause(budget, stepMs)) return false;
      ReadDiscInformation();
    }
  }
  if (TestUnitReady(5000) && sense[12] == 0) return true;
  do {
    if (!Pause(budget, stepMs)) return false;
    TestUnitReady(5000);
  } while (AscIsNotReady());
  std::uint8_t asc = 0;
  do {
    sense.fill(0);
    RequestSense(sense);
    if (budget <= 0) return false;
    asc = sense[0] == 0xF0 ? 0x04 : DecodeSense(sense).Asc;
    // Any other condition (no disc, say) waits too, so it cannot spin
    // without charging the budget.
    if (asc != 0 && !Pause(budget, stepMs)) return false;
  } while (asc != 0);
  return true;
}

}  // namespace device
