#pragma once
// The one queue of drive work of a program, and its one answer to "is the
// drive or the program busy". Windows, the command line and the scheduler
// start their drive work here: short jobs (a speed list, a readiness test,
// a fit check, an eject) run one at a time on the burner's worker in the
// order asked, each on the drive it names or else on the chosen drive; a
// long operation (a person's burn from the moment Start is pressed, a
// scheduled run, an erase, a copy, a disc read) holds the program from its
// start to its end, and every starter asks Busy() first.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/kavo_burner.h"

namespace dispatch {
class Dispatcher;
}

namespace appcore {

enum class JobKind : std::uint8_t {
  Burn,          // a person's burn of the task
  ImageBuild,    // the task into an image file
  ImageBurn,     // an image file onto a disc
  Copy,          // one disc's files onto another
  Erase,
  ScheduledRun,
  DiscRead,      // reading a disc's sessions, importing, extracting
  Check,
};

enum class JobOutcome : std::uint8_t { Done, Failed, Aborted };

// The one end of a long operation, for every front end alike.
struct JobEnd {
  JobOutcome Outcome = JobOutcome::Done;
  std::string Text;                // why it failed; empty when done
  std::uint64_t BytesWritten = 0;  // what reached the disc or file before the end
  std::uint64_t BytesTotal = 0;
};

// The end of a write as the engine reports it (its error text, empty when
// written), the person's abort, and the progress read just before.
JobEnd MakeJobEnd(const std::string& error, bool abortAsked, const engine::ProgressSnapshot& last);

class DriveJobs {
 public:
  using Work = std::function<void(engine::TKavoBurner&)>;
  using HoldId = std::uint64_t;

  // The burner's events and the job ends come through `dispatcher`, on the
  // thread that owns it; every call here is made on that thread.
  DriveJobs(engine::TKavoBurner& burner, dispatch::Dispatcher& dispatcher);
  ~DriveJobs();
  DriveJobs(const DriveJobs&) = delete;
  DriveJobs& operator=(const DriveJobs&) = delete;

  // Queues `work` for the burner's worker, after everything asked before;
  // `done` follows on the dispatcher's thread. It runs on `device`, or on
  // the chosen drive when none is named: never on whichever drive the job
  // before it happened to use.
  void Run(engine::OperationPhase phase, Work work, Work done, std::string device = {});
  // The drive the drive box shows: the one the next job without a drive of
  // its own uses.
  const std::string& ChosenDevice() const { return FChosen; }
  void ChooseDevice(std::string device) { FChosen = std::move(device); }

  // A long operation begins: 0 (and nothing held) when another holds the
  // program. End lets go; an id already ended is ignored.
  HoldId Begin(JobKind kind);
  void End(HoldId id);
  // A long operation holds the program.
  bool Busy() const { return FHold != 0; }
  std::optional<JobKind> Holder() const;
  // An operation started outside the queue has ended and let go of the
  // drive: the first job waiting runs (after the current event).
  void Wake();
  // No short job running or waiting.
  bool Idle() const { return !FRunning && FQueue.empty(); }
  std::size_t Waiting() const { return FQueue.size(); }

 private:
  struct Job {
    engine::OperationPhase Phase;
    std::string Device;
    Work Task;
    Work Done;
  };
  void Pump();

  engine::TKavoBurner& FBurner;
  dispatch::Dispatcher& FDispatcher;
  std::deque<Job> FQueue;
  bool FRunning = false;
  bool FPumpPosted = false;
  std::string FChosen;
  HoldId FHold = 0;
  HoldId FLastHold = 0;
  JobKind FHoldKind = JobKind::Burn;
  // A post that arrives after this is gone finds it false.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

}  // namespace appcore
