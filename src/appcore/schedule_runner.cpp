#include "appcore/schedule_runner.h"

#include <system_error>

#include "appcore/options.h"
#include "appcore/texts.h"
#include <filesystem>

#include "platform/file_find.h"
#include "platform/utf8_path.h"

namespace appcore {

std::vector<std::size_t> ScheduleRunner::Runnable(const std::vector<ScheduleTask>& rows,
                                                  const std::vector<std::size_t>& due, Clock::time_point now) const {
  std::vector<std::size_t> runnable;
  for (const std::size_t i : due) {
    if (i >= rows.size()) continue;
    const auto failed = FFailedAt.find(rows[i].Name);
    if (failed != FFailedAt.end() && now - failed->second < kRetryAfter) continue;
    runnable.push_back(i);
  }
  return runnable;
}

void ScheduleRunner::Finished(const std::string& name, bool failed, Clock::time_point now) {
  if (failed) FFailedAt[name] = now;
  else FFailedAt.erase(name);
}

std::vector<std::size_t> ScheduleRunner::Check(const ScheduleStore& store, std::vector<ScheduleTask>& rows,
                                               const CalendarDate& today, Clock::time_point now,
                                               std::vector<std::string>& problems) const {
  std::vector<std::string> previous;
  previous.reserve(rows.size());
  for (const auto& row : rows) previous.push_back(row.LastBackup);
  ScheduleStore::Scan scan = store.ScanDueTasks(rows, today);
  problems = std::move(scan.Problems);
  const std::vector<std::size_t> runnable = Runnable(rows, scan.Due, now);
  // A task that failed a moment ago waits; its date stays as it was.
  std::size_t next = 0;
  for (const std::size_t i : scan.Due) {
    if (next < runnable.size() && runnable[next] == i) ++next;
    else rows[i].LastBackup = previous[i];
  }
  return runnable;
}

base::Result<bool> TryLockScheduledRuns(const ScheduleStore& store, platform::FileLock& lock) {
  std::error_code ec;
  std::filesystem::create_directories(platform::Utf8Path(store.Folder()), ec);
  if (ec) return base::MakeError(base::ErrorKind::System, "cannot create " + store.Folder() + ": " + ec.message());
  return platform::TryLockFile(store.Folder() + "/" + kRunLockFileName, lock);
}

bool StillDueInList(const ScheduleStore& store, const std::string& name, const CalendarDate& today) {
  std::vector<ScheduleTask> rows = store.LoadList(today);
  for (auto& row : rows) {
    if (row.Name != name) continue;
    std::vector<ScheduleTask> one{row};
    return !store.ScanDueTasks(one, today).Due.empty();
  }
  return false;
}

ScheduledTaskFile LoadScheduledTask(const ScheduleStore& store, const std::string& name) {
  ScheduledTaskFile f;
  if (auto valid = ValidateTaskName(name); !valid.Ok()) {
    f.Status = TaskFileStatus::BadName;
    f.Error = valid.Err().Message;
    return f;
  }
  f.Path = store.TaskFilePath(name);
  if (!platform::FileExists(f.Path)) {
    f.Status = TaskFileStatus::Missing;
    return f;
  }
  auto text = ReadTaskFileText(f.Path);
  if (!text.Ok()) {
    f.Status = TaskFileStatus::Unreadable;
    f.Error = text.Err().Message;
    return f;
  }
  if (text.Value().empty()) {
    f.Status = TaskFileStatus::Empty;
    return f;
  }
  auto tree = ParseTaskText(text.Value());
  if (!tree.Ok()) {
    f.Status = TaskFileStatus::Damaged;
    f.Error = tree.Err().Message;
    return f;
  }
  f.Tree = std::move(tree.Value());
  // A task that lists nothing is as empty as an empty file: no drive is
  // asked for, nothing is logged.
  f.Status = f.Tree.OnlyRoot() ? TaskFileStatus::Empty : TaskFileStatus::Ready;
  return f;
}

RunRecord RecordScheduledRun(const ScheduleStore& store, const std::string& name, const Options& options,
                             bool burnDone, std::vector<std::string>& problems, std::optional<CalendarDate> day) {
  if (!burnDone) return RunRecord::StaysDue;
  if (options.TestWrite) return RunRecord::TestWrite;
  const CalendarDate today = day ? *day : Today();
  if (auto saved = store.RecordBackup(name, today); !saved.Ok())
    problems.push_back(store.ListPath() + ": " + saved.Err().Message);
  if (WritesDoneLine(options))
    if (auto logged = store.AppendLog(DoneLogLine(FormatDate(today), FormatTime(platform::NowLocal())));
        !logged.Ok())
      problems.push_back(store.LogPath() + ": " + logged.Err().Message);
  return RunRecord::MarkedDone;
}

void ScheduledRun::Tell(bool leftDue) const {
  if (FRunner != nullptr) FRunner->Finished(FName, leftDue, ScheduleRunner::Clock::now());
}

RunStart ScheduledRun::Begin(bool onlyIfDue, const CalendarDate& today) {
  // A list that cannot be read cannot record the run either.
  FError = FStore.ListProblem();
  if (!FError.empty()) {
    Tell(true);
    return RunStart::ListUnreadable;
  }
  // A task that cannot run takes no lock and leaves nothing behind.
  FTask = LoadScheduledTask(FStore, FName);
  if (FTask.Status != TaskFileStatus::Ready) {
    Tell(true);
    return RunStart::TaskProblem;
  }
  const base::Result<bool> locked = TryLockScheduledRuns(FStore, FLock);
  if (!locked.Ok()) {
    FError = locked.Err().Message;
    return RunStart::LockFailed;
  }
  // Busy is no failure: the task is tried again at the next check.
  if (!locked.Value()) return RunStart::Busy;
  if (onlyIfDue && !StillDueInList(FStore, FName, today)) {
    FLock.Release();
    Tell(false);
    return RunStart::NoLongerDue;
  }
  return RunStart::Ready;
}

void ScheduledRun::Started(const Options& options, const CalendarDate& today, std::vector<std::string>& problems) {
  FOptions = options;
  if (!options.RecordLog) return;
  if (auto logged = FStore.AppendLog(StartLogLine(FTask.Path, FormatDate(today), FormatTime(platform::NowLocal())));
      !logged.Ok())
    problems.push_back(FStore.LogPath() + ": " + logged.Err().Message);
}

RunRecord ScheduledRun::End(bool burnDone, const CalendarDate& today, std::vector<std::string>& problems) {
  const RunRecord record =
      FOptions ? RecordScheduledRun(FStore, FName, *FOptions, burnDone, problems, today) : RunRecord::StaysDue;
  FLock.Release();
  // A test write, a failure or a cancel leaves the task due.
  Tell(record != RunRecord::MarkedDone);
  return record;
}

}  // namespace appcore
