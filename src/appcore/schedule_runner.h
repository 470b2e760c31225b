#pragma once
// Running scheduled tasks: which due task may run now (a failed one waits
// before it is tried again), the task file a run reads, and what a run that
// ended leaves in the list and the log. The windows' timer and the command
// line's daemon use the same rules.
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "appcore/options.h"
#include "appcore/schedule.h"
#include "appcore/task_tree.h"
#include "base/result.h"
#include "platform/file_lock.h"

namespace appcore {

// A failed task is tried again after this long rather than at every check.
inline constexpr std::chrono::minutes kRetryAfter{10};

class ScheduleRunner {
 public:
  using Clock = std::chrono::steady_clock;
  // The due rows (indexes into `rows`) that may run at `now`.
  std::vector<std::size_t> Runnable(const std::vector<ScheduleTask>& rows, const std::vector<std::size_t>& due,
                                    Clock::time_point now) const;
  // A run of `name` ended; only a failure makes it wait.
  void Finished(const std::string& name, bool failed, Clock::time_point now);
  // One check: the due rows of `rows` that may run now. A due row has its
  // "Last Backup" set to today; one that must wait keeps its date.
  std::vector<std::size_t> Check(const ScheduleStore& store, std::vector<ScheduleTask>& rows,
                                 const CalendarDate& today, Clock::time_point now,
                                 std::vector<std::string>& problems) const;

 private:
  std::map<std::string, Clock::time_point> FFailedAt;
};

// Held by whichever runner (the desktop program, the command line's run or
// daemon) burns a scheduled task, so that two never burn at once. The system
// drops it when its holder dies.
inline constexpr const char* kRunLockFileName = "Runner.lock";
// True when taken; false when another runner holds it.
base::Result<bool> TryLockScheduledRuns(const ScheduleStore& store, platform::FileLock& lock);
// Judged again from the list file once the lock is held: another runner may
// have burnt the task since this one's list was read.
bool StillDueInList(const ScheduleStore& store, const std::string& name, const CalendarDate& today);

// Empty: no text, or a task that lists no file or folder.
enum class TaskFileStatus { Ready, BadName, Missing, Unreadable, Empty, Damaged };

struct ScheduledTaskFile {
  TaskFileStatus Status = TaskFileStatus::Missing;
  std::string Path;
  std::string Error;  // the reason for BadName, Unreadable and Damaged
  TaskTree Tree;
};
ScheduledTaskFile LoadScheduledTask(const ScheduleStore& store, const std::string& name);

enum class RunRecord {
  MarkedDone,  // "Last Backup" is today; the done line was logged when the options say so
  StaysDue,    // the burn failed
  TestWrite,   // a test write recorded nothing: the task stays due
};
// Records the end of a run of `name` whose burn ended `burnDone`. A problem
// writing the list or the log goes to `problems`; the run's record stands.
// `day` is the run's date (today when not given).
RunRecord RecordScheduledRun(const ScheduleStore& store, const std::string& name, const Options& options,
                             bool burnDone, std::vector<std::string>& problems,
                             std::optional<CalendarDate> day = std::nullopt);

// How far a run of a task got before its burn.
enum class RunStart {
  Ready,           // locked, the task loaded: burn `Tree()`, then `End`
  ListUnreadable,  // the list cannot record a run; `Error()` says why
  TaskProblem,     // see `Task().Status` and `Task().Error`
  Busy,            // another runner holds the lock
  LockFailed,      // `Error()` says why
  NoLongerDue,     // another runner burnt it since the list was read
};

// One run of a scheduled task, from its start to its record, for every
// runner: the desktop program's check and "Run", and the command line's
// run and daemon. The runner burns `Tree()` its own way in between. A run
// a check started tells the check's `runner` how it went, so that a task
// it left due waits before its next try.
class ScheduledRun {
 public:
  ScheduledRun(const ScheduleStore& store, std::string name, ScheduleRunner* runner = nullptr)
      : FStore(store), FName(std::move(name)), FRunner(runner) {}
  // The list readable, the task file loaded (a task that cannot run takes
  // no lock), the lock taken, and with `onlyIfDue` the task still due.
  RunStart Begin(bool onlyIfDue, const CalendarDate& today);
  const std::string& Name() const { return FName; }
  const std::string& Error() const { return FError; }
  const ScheduledTaskFile& Task() const { return FTask; }
  TaskTree TakeTree() { return std::move(FTask.Tree); }
  // The drive is ready and the burn begins with `options`, which the record
  // uses too: the start line goes to the log when the options keep one.
  void Started(const Options& options, const CalendarDate& today, std::vector<std::string>& problems);
  // The burn ended (or never began); records it and lets the lock go. A
  // run that never started records nothing.
  RunRecord End(bool burnDone, const CalendarDate& today, std::vector<std::string>& problems);
 private:
  void Tell(bool leftDue) const;

  const ScheduleStore& FStore;
  std::string FName;
  ScheduleRunner* FRunner;
  std::string FError;
  ScheduledTaskFile FTask;
  platform::FileLock FLock;
  std::optional<Options> FOptions;  // as the burn started
};

}  // namespace appcore
