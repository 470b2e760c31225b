#pragma once
// Burning a task as the main window transfers it, for the desktop's burn
// button, the command line's "task burn" and scheduled runs alike: the drive
// chosen and checked, the wait for a disc, the options applied, the session
// import and the transfer. The burn itself is a BurnRun.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/cancel_token.h"
#include "engine/interaction.h"

namespace engine {
class TKavoBurner;
}

namespace appcore {

class Options;
struct TaskTree;

enum class TaskBurnStep {
  Ready,          // the compilation is filled; burn it
  NoDrive,        // no such drive (Error says why)
  NotRecorder,    // the drive cannot write
  NotReady,       // no disc, and the question was answered Cancel
  BadSpeed,       // the speed text is none
  Refused,        // the task cannot be transferred (Error says why)
  NothingToBurn,  // the task's sources hold no files
  Aborted,        // cancelled while the earlier session was read
};

struct TaskBurnSetup {
  std::string Device;  // the drive; empty: the one the options name
  std::string Speed;   // empty: Max
  // A scheduled run follows the options for a drive that is not ready; a
  // person's burn always asks.
  bool Scheduled = false;
  engine::Interaction* Ask = nullptr;  // required
  std::uint32_t RetryPauseMs = 1000;   // between two tests of a drive asked to retry
  const base::CancelToken* Cancel = nullptr;
  // Called once the drive is ready, before the task is transferred.
  std::function<void()> Started;
};

struct PreparedTask {
  TaskBurnStep Step = TaskBurnStep::NoDrive;
  std::string Error;
  std::uint8_t Medium = 0;
  std::vector<std::string> MissingSources;  // reported; the rest is burnt
  std::vector<std::string> RefusedFolders;
  std::size_t RefusedCount = 0;  // what the compilation left out, each reported as it was added
  bool Incomplete() const { return !MissingSources.empty() || !RefusedFolders.empty() || RefusedCount != 0; }
  // A refused folder is among the compilation's reports but for a nameless one.
  std::size_t LeftOutCount() const { return MissingSources.size() + std::max(RefusedFolders.size(), RefusedCount); }
};

// The first steps of every task burn, the window's scheduled run too: the
// drive chosen, able to write, and holding a disc (or the wait given up).
// Step Ready, NoDrive, NotRecorder or NotReady.
PreparedTask PrepareTaskDrive(const Options& options, const TaskBurnSetup& setup, engine::TKavoBurner& burner);
PreparedTask PrepareTaskBurn(const TaskTree& tree, const Options& options, const TaskBurnSetup& setup,
                             engine::TKavoBurner& burner);
// After the burn: the archive bits of a done, recorded burn are cleared when
// the options ask, and the compilation is reset.
void FinishTaskBurn(const Options& options, engine::TKavoBurner& burner, bool done);

}  // namespace appcore
