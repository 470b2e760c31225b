#include "cli/operation.h"

#include <chrono>
#include <optional>
#include <utility>

#include "engine/dispatch/dispatcher.h"
#include "engine/kavo_burner.h"

namespace cli {

appcore::OperationEnd RunJob(engine::TKavoBurner& burner, const appcore::Options& options,
                             appcore::BurnJobRequest request, JobLoop loop) {
  dispatch::QueueDispatcher queue;
  burner.SetDispatcher(&queue);
  std::optional<appcore::OperationEnd> end;
  bool sized = false;
  {
    appcore::DriveJobs jobs(burner, queue);
    appcore::OperationJob job(burner, jobs, options);
    appcore::JobEvents events = std::move(loop.Events);
    events.OnSize = [&sized, said = std::move(events.OnSize)](std::uint32_t sectors) {
      sized = true;
      if (said) said(sectors);
    };
    events.OnEnd = [&end](const appcore::OperationEnd& e) { end = e; };
    job.Start(std::move(request), std::move(events));
    while (!end) {
      queue.RunPending(std::chrono::milliseconds(200));
      if (end) break;
      std::uint64_t done = 0, total = 0;
      if (loop.Hashing && job.Hashing(done, total)) loop.Hashing(done, total);
      // Nothing to show before the write has laid out its size.
      if (sized && loop.Progress)
        if (const engine::ProgressSnapshot p = job.Progress(); p.BytesTotal > 0) loop.Progress(p);
      if (loop.StopRequested && loop.StopRequested()) job.Cancel();
    }
    // What the end queued runs before the drive is let go; a job the
    // finished write still held off starts once the worker is free.
    while (!jobs.Idle()) {
      burner.WaitForOperation();
      jobs.Wake();
      queue.RunPending(std::chrono::milliseconds(200));
    }
    burner.WaitForOperation();
  }
  burner.SetDispatcher(nullptr);
  return *end;
}

}  // namespace cli
