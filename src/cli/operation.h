#pragma once
// An operation of the program's one pipeline (the job the windows run) run
// to its end from the command line: the events come on this thread while
// it waits.
#include <functional>

#include "appcore/operation_job.h"

namespace cli {

struct JobLoop {
  appcore::JobEvents Events;  // OnEnd is the loop's own
  // Every pass once the job has said its size, until its end.
  std::function<void(const engine::ProgressSnapshot&)> Progress;
  // Every pass while the files are hashed for the checksum file.
  std::function<void(std::uint64_t done, std::uint64_t total)> Hashing;
  // Asked every pass; true cancels the job.
  std::function<bool()> StopRequested;
};

// The drive is the one selected now. Returns once the job and what its end
// queued (an eject) are done and the burner is idle.
appcore::OperationEnd RunJob(engine::TKavoBurner& burner, const appcore::Options& options,
                             appcore::BurnJobRequest request, JobLoop loop);

}  // namespace cli
