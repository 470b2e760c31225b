#include "engine/device/erase_thread.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/device/device_texts.h"
#include "engine/device/media_types.h"
#include "engine/device/scsi_device.h"
#include "engine/device/sense.h"
#include "engine/device/transport.h"
#include "engine/device/write_thread.h"

namespace device {

std::uint16_t EraseDuration(std::uint8_t medium, std::uint8_t blankType) {
  if (IsCdMedium(medium)) return blankType == 1 ? 150 : 4500;
  if (blankType == 1) return medium == 7 ? 180 : 600;
  return blankType == 0 ? 4440 : 8880;
}

TEraseThread::TEraseThread(Params params) : FParams(std::move(params)) {
  FThread = std::thread([this] { Run(); });
}

TEraseThread::~TEraseThread() { Join(); }

void TEraseThread::Join() {
  if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

void TEraseThread::Advance(std::uint32_t seconds) {
  FSeconds += seconds;
  const std::uint32_t duration = FParams.Duration == 0 ? 1 : FParams.Duration;
  const double percent = std::round(static_cast<double>(FSeconds) / duration * 100.0);
  FProgress = static_cast<int>(std::min(percent, 100.0));
  // Past the estimate the drive's own figure is the better guess; 100 only at the end.
  if (FSeconds > FParams.Duration && FDriveProgress)
    FProgress = std::min(99, DrivePercent());
  Report(false);
}

// The pauses bound how often a moving figure is told: a window redraws a
// few times a second at most, whatever the drive answers.
void TEraseThread::Report(bool last) {
  if (!FParams.Progress || FProgress == FReported) return;
  if (!last && FWaitedMs - FReportedAtMs < kReportEveryMs) return;
  FReported = FProgress;
  FReportedAtMs = FWaitedMs;
  FParams.Progress(FProgress);
}

int TEraseThread::DrivePercent() const {
  return static_cast<int>(std::uint32_t{FDriveProgress.value_or(0)} * 100u / 65536u);
}

bool TEraseThread::DriveMoving() const {
  if (!FDriveProgress) return false;
  const std::uint64_t most = std::uint64_t{kMostEstimates} * FParams.Duration * 1000u;
  return FWaitedMs - FMovedAtMs < kStallMs && FWaitedMs < most;
}

// The estimate is only a guess: a drive that still reports moving progress
// past it (a certified BD-RE DL format, a slow drive) is waited for.
bool TEraseThread::Elapsed() const {
  if (Cancelled()) return true;
  return FSeconds > FParams.Duration && !DriveMoving();
}

void TEraseThread::Pause(std::uint32_t ms) {
  TSleeper& sleeper = FParams.Sleeper != nullptr ? *FParams.Sleeper : RealSleeper();
  sleeper.PauseUnlessCancelled(FParams.Cancel.get(), ms);
  FWaitedMs += ms;
}

void TEraseThread::Watch(const TSense& sense) {
  if (!sense.NotReady() || !sense.Progress) return;
  if (sense.Progress != FDriveProgress) FMovedAtMs = FWaitedMs;
  FDriveProgress = sense.Progress;
}

std::string TEraseThread::GaveUpText() const {
  const int minutes = static_cast<int>(FWaitedMs / 60000);
  char text[160];
  if (!FDriveProgress)
    std::snprintf(text, sizeof text, texts::kEraseNoProgress, minutes);
  else if (FWaitedMs - FMovedAtMs >= kStallMs)
    std::snprintf(text, sizeof text, texts::kEraseStalled, DrivePercent(),
                  static_cast<int>((FWaitedMs - FMovedAtMs) / 60000));
  else
    std::snprintf(text, sizeof text, texts::kEraseTooLong, minutes);
  return text;
}

bool TEraseThread::NotReady() {
  Watch(FParams.Device->Sense());
  return FParams.Device->Sense().NotReady();
}

// Zeros over the start of a DVD+RW, 32 blocks a write, until a write fails
// or `writes` have succeeded; then flush and close when all went through.
void TEraseThread::OverwriteStart(std::uint32_t writes, bool flushAndClose) {
  TSCSIDevice& d = *FParams.Device;
  std::vector<std::uint8_t> zeros(65536, 0);
  for (std::uint32_t i = 0; i < writes; ++i)
    if (Cancelled() || !d.Write10(i * 32, 32, zeros)) return;
  if (!flushAndClose) return;
  Pause(300);
  d.SynchronizeCache(TImmediate::No, 30000);
  d.CloseTrackSession(TImmediate::No, 3, 0, 0, 0);
}

void TEraseThread::Run() {
  TSCSIDevice& d = *FParams.Device;
  const std::uint8_t m = FParams.Medium;
  const bool dvdRam = m == kMediumDvdRam;
  auto waitTestUnitReady = [&](std::uint32_t step) {
    do {
      if (!d.TestUnitReady(5000)) Pause(2000);
      Advance(step);
    } while (NotReady() && !Elapsed());
  };
  if (m == kMediumDvdrwRestricted || m == kMediumDvdrwSequential) {
    waitTestUnitReady(1);
    Pause(5000);
    if (NotReady()) waitTestUnitReady(1);
  } else if (m == kMediumBdre) {
    do {
      Pause(2000);
      d.ReadDiscInformation();
      Advance(2);
    } while (NotReady() && !Elapsed());
  } else if (m == kMediumDvdprw) {
    // Bounded by the estimate like every other wait: a drive that stays
    // busy must not hold the thread forever.
    do {
      Pause(2000);
      d.ReadDiscInformation();
      Advance(2);
    } while (NotReady() && !Elapsed());
    OverwriteStart(FParams.BlankType == 1 ? 65 : 71001, true);
    FSeconds = 0;
    Advance(1);
  } else if (dvdRam && FParams.BlankType == 1) {
    std::vector<std::uint8_t> zeros(65536, 0);
    for (std::uint32_t lba = 0; lba <= 2048; lba += 32) d.Write10(lba, 32, zeros);
    d.SynchronizeCache(TImmediate::No, 30000);
  }
  if (SharedSlowReady()) {
    waitTestUnitReady(2);
    d.ReadDiscInformation();
    Pause(5000);
  }
  bool ready = true;
  std::string reason;
  if (!d.TestUnitReady(5000) || !d.ReadDiscInformation()) {
    if (!dvdRam) {
      do {
        if (d.ReadDiscInformation()) break;
        if (NotReady()) Pause(5000);
        Advance(5);
      } while (NotReady() && !Elapsed());
    }
    waitTestUnitReady(2);
    std::array<std::uint8_t, 40> sense{};
    do {
      sense.fill(0);
      d.RequestSense(sense);
      Pause(2000);
      const TSense decoded = DecodeSense(sense);
      Watch(decoded);
      const std::uint8_t asc = sense[0] == 0xF0 ? 0x04 : decoded.Asc;
      if (asc == 0) break;
      Advance(2);
    } while (!Elapsed());
    // The wait ran out with the drive still busy: the erase is not done.
    ready = !Cancelled() && d.TestUnitReady(5000);
    if (!ready && !Cancelled() && NotReady()) {
      reason = GaveUpText();
      if (FParams.Message) FParams.Message(reason);
    }
  }
  // A cancelled wait has not seen the end of the blank.
  if (Cancelled()) ready = false;
  if (BuiltInLayerActive()) ReinitializeTransport();
  FProgress = 100;
  ReturnToNeutralState(d);
  // A failed or given-up blank keeps the last figure told.
  if (ready) Report(true);
  FRunning = false;
  if (FParams.Done) FParams.Done(!ready, ready ? std::string() : reason);
}

}  // namespace device
