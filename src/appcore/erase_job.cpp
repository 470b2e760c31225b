#include "appcore/erase_job.h"

#include <algorithm>
#include <utility>

#include "appcore/burn_job.h"
#include "appcore/speed_list.h"
#include "engine/dispatch/dispatcher.h"
#include "engine/interaction.h"
#include "engine/kavo_burner.h"

namespace appcore {
namespace {

constexpr std::uint8_t kBlankFull = 0;
constexpr std::uint8_t kBlankQuick = 1;

}  // namespace

EraseJob::EraseJob(engine::TKavoBurner& burner, DriveJobs& jobs, dispatch::Dispatcher& dispatcher)
    : FBurner(burner), FJobs(jobs), FDispatcher(dispatcher) {
  std::weak_ptr<bool> alive = FAlive;
  FBurner.OnEraseDone = [this, alive](engine::TKavoBurner&, bool withError, const std::string& reason) {
    // A refused blank may report inside the call that asked for it: the end
    // always comes after the event that started it.
    FDispatcher.Post([this, alive, withError, reason] {
      if (!alive.expired()) Ended(withError, reason);
    });
  };
  FBurner.OnEraseProgress = [this](engine::TKavoBurner&, int percent) {
    if (!FRunning) return;
    FPercent = std::clamp(percent, 0, 100);
    if (FEvents.OnProgress) FEvents.OnProgress(FPercent);
  };
}

EraseJob::~EraseJob() {
  FBurner.OnEraseDone = nullptr;
  FBurner.OnEraseProgress = nullptr;
}

void EraseJob::Check(EraseRequest request, EraseEvents events, std::shared_ptr<engine::Interaction> ask) {
  if (FRunning) return;
  FRequest = std::move(request);
  FEvents = std::move(events);
  FDevice = FRequest.Drive.empty() ? FJobs.ChosenDevice() : FRequest.Drive;
  const std::uint64_t generation = ++FGeneration;
  struct Found {
    bool Erasable = false;
    std::uint8_t Medium = 0;
  };
  auto found = std::make_shared<Found>();
  std::weak_ptr<bool> alive = FAlive;
  FJobs.Run(
      engine::OperationPhase::Preparing,
      [found, quick = FRequest.Quick, ask = std::move(ask)](engine::TKavoBurner& burner) {
        found->Medium = burner.DetectMediaType();
        found->Erasable = CheckErasable(burner, quick, found->Medium, *ask);
      },
      [this, alive, found, generation](engine::TKavoBurner&) {
        if (alive.expired() || generation != FGeneration) return;
        FMedium = found->Medium;
        if (found->Erasable) {
          if (FEvents.OnErasable) FEvents.OnErasable(FMedium);
          return;
        }
        EraseEnd end;
        end.Refused = true;
        if (FEvents.OnEnd) FEvents.OnEnd(end);
      },
      FDevice);
}

void EraseJob::Go() {
  if (FRunning) return;
  FRunning = true;
  FPercent = 0;
  const std::uint64_t generation = ++FGeneration;
  const std::uint32_t kbps = FRequest.SpeedKBps ? *FRequest.SpeedKBps : SpeedTextToKBps(FRequest.SpeedText, FMedium);
  const auto speed = static_cast<std::uint16_t>(std::min<std::uint32_t>(kbps, 0xFFFF));
  const std::uint8_t blank = FRequest.Quick ? kBlankQuick : kBlankFull;
  std::weak_ptr<bool> alive = FAlive;
  // The speed talks to the drive, and the blank's own readiness checks run
  // on the burner's worker: nothing on this thread waits for the drive.
  FJobs.Run(
      engine::OperationPhase::Preparing, [speed](engine::TKavoBurner& burner) { burner.SetWriteSpeed(speed); },
      [this, alive, generation, blank](engine::TKavoBurner& burner) {
        if (alive.expired() || generation != FGeneration || burner.Erase(blank)) return;
        // Another operation holds the burner: nothing will report, and the
        // front end must not wait for ever.
        FDispatcher.Post([this, alive, generation] {
          if (!alive.expired() && generation == FGeneration) Ended(true, std::string());
        });
      },
      FDevice);
}

void EraseJob::Ended(bool withError, const std::string& reason) {
  if (!FRunning) return;
  FRunning = false;
  // A question the blank still waits on lets go.
  FBurner.CancelOperation();
  // The blank went around the queue: the jobs it kept waiting run now.
  FJobs.Wake();
  // The tray opens after every finished erase, a failed one too.
  if (FRequest.EjectAfter)
    FJobs.Run(
        engine::OperationPhase::Preparing,
        [](engine::TKavoBurner& burner) {
          burner.SynchronizeCache(device::TImmediate::No, 300000);
          burner.PreventAllowMediumRemoval(device::TRemoval::Allow);
          burner.StartStopUnit(device::TStartStop::Eject);
        },
        nullptr, FDevice);
  EraseEnd end;
  end.Erased = !withError;
  end.Reason = reason;
  if (FEvents.OnEnd) FEvents.OnEnd(end);
}

}  // namespace appcore
