#pragma once
// The first steps of a task burn, for the command line's "task burn" and
// scheduled runs alike: the drive chosen and checked, and the wait for a
// disc. The burn itself is an OperationJob.
#include <cstdint>
#include <string>

#include "base/cancel_token.h"
#include "engine/interaction.h"

namespace engine {
class TKavoBurner;
}

namespace appcore {

class Options;

enum class TaskBurnStep {
  Ready,          // a disc is in the drive; burn it
  NoDrive,        // no such drive (Error says why)
  NotRecorder,    // the drive cannot write (told through Ask, as the options say)
  NotReady,       // no disc, and the question was answered Cancel
};

struct TaskBurnSetup {
  std::string Device;  // the drive; empty: the one the options name
  // A scheduled run follows the options for a drive that is not ready; a
  // person's burn always asks.
  bool Scheduled = false;
  engine::Interaction* Ask = nullptr;  // required
  std::uint32_t RetryPauseMs = 1000;   // between two tests of a drive asked to retry
  const base::CancelToken* Cancel = nullptr;
};

struct PreparedTask {
  TaskBurnStep Step = TaskBurnStep::NoDrive;
  std::string Error;
};

// The first steps of every task burn, the window's scheduled run too: the
// drive chosen, able to write, and holding a disc (or the wait given up).
// A drive that cannot write is told once through setup.Ask.
PreparedTask PrepareTaskDrive(const Options& options, const TaskBurnSetup& setup, engine::TKavoBurner& burner);

}  // namespace appcore
