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

}  // namespace appcore
