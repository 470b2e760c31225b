#include "appcore/drive_jobs.h"

#include <algorithm>

#include "engine/dispatch/dispatcher.h"
#include "engine/texts.h"

namespace appcore {

JobEnd MakeJobEnd(const std::string& error, bool abortAsked, const engine::ProgressSnapshot& last) {
  JobEnd end;
  end.BytesTotal = last.BytesTotal;
  end.BytesWritten = std::min(last.BytesWritten, last.BytesTotal > 0 ? last.BytesTotal : last.BytesWritten);
  if (error.empty()) {
    end.Outcome = JobOutcome::Done;
    if (end.BytesTotal > 0) end.BytesWritten = end.BytesTotal;
    return end;
  }
  end.Text = error;
  end.Outcome = abortAsked || error == engine::texts::kOperationAborted ? JobOutcome::Aborted : JobOutcome::Failed;
  return end;
}

DriveJobs::DriveJobs(engine::TKavoBurner& burner, dispatch::Dispatcher& dispatcher)
    : FBurner(burner), FDispatcher(dispatcher) {}

DriveJobs::~DriveJobs() { *FAlive = false; }

void DriveJobs::Run(engine::OperationPhase phase, Work work, Work done, std::string device) {
  FQueue.push_back(Job{phase, device.empty() ? FChosen : std::move(device), std::move(work), std::move(done)});
  Pump();
}

DriveJobs::HoldId DriveJobs::Begin(JobKind kind) {
  if (FHold != 0) return 0;
  FHold = ++FLastHold;
  FHoldKind = kind;
  return FHold;
}

void DriveJobs::End(HoldId id) {
  if (id == 0 || id != FHold) return;
  FHold = 0;
  Wake();
}

std::optional<JobKind> DriveJobs::Holder() const {
  if (FHold == 0) return std::nullopt;
  return FHoldKind;
}

void DriveJobs::Wake() {
  if (FPumpPosted) return;
  FPumpPosted = true;
  FDispatcher.Post([this, alive = FAlive] {
    if (!*alive) return;
    FPumpPosted = false;
    Pump();
  });
}

void DriveJobs::Pump() {
  if (FRunning || FQueue.empty()) return;
  Job& job = FQueue.front();
  // Selecting a drive talks to it (inquiry, capabilities): on the worker too.
  auto work = [device = job.Device, task = job.Task](engine::TKavoBurner& b) {
    if (!device.empty() && device != b.DeviceId()) b.SelectDevice(device);
    if (task) task(b);
  };
  // Another operation holds the drive: the job stays first in line until
  // that operation's end wakes the queue.
  if (!FBurner.StartBackground(job.Phase, work, [this, done = job.Done, alive = FAlive](engine::TKavoBurner& b) {
        if (!*alive) return;
        FRunning = false;
        if (done) done(b);
        Pump();
      }))
    return;
  FRunning = true;
  FQueue.pop_front();
}

}  // namespace appcore
