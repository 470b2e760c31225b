#include "cli/schedule_commands.h"

#include <chrono>
#include <functional>
#include <map>
#include <set>

#include "appcore/options.h"
#include "appcore/schedule.h"
#include "appcore/schedule_runner.h"
#include "appcore/task_tree.h"
#include "appcore/texts.h"
#include "cli/build_iso.h"
#include "cli/task_commands.h"
#include "engine/kavo_burner.h"
#include "platform/file_find.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "platform/time_zone.h"

namespace cli {

const char* const kScheduleUsage =
    "usage: zantic-cli schedule list\n"
    "       zantic-cli schedule run NAME [--device DEV]\n"
    "       zantic-cli schedule daemon [--once] [--device DEV]\n"
    "\n"
    "  list     the scheduled backup tasks and which of them are due\n"
    "  run      burn one task now\n"
    "  daemon   check every 10 seconds and burn the tasks that are due, for\n"
    "           machines without a desktop; --once checks once and ends\n"
    "\n"
    "A task burnt without error gets today as its last backup; one that failed\n"
    "stays due (the daemon tries it again after 10 minutes).\n"
    "\n"
    "options:\n"
    "      --program-folder DIR   where Option.ini and the Schedule folder are\n"
    "      --device DEV           the drive instead of the one the options name\n";

namespace {

std::string NowText() {
  return appcore::FormatDate(appcore::Today()) + " " + appcore::FormatTime(platform::NowLocal());
}

// Runs one task file as a scheduled run does. Only a burn that ended without
// error makes the task done; anything else leaves it due.
// The run does not happen while another runner (the desktop program or a
// second daemon) burns; a daemon leaves the task for its next check.
constexpr int kRunBusy = -1;

int RunTask(const appcore::ScheduleStore& store, const std::string& programFolder, const std::string& name,
            const std::string& device, const std::function<bool()>& stopRequested, bool onlyIfDue,
            engine::TKavoBurner& burner, std::FILE* out, std::FILE* err, appcore::ScheduleRunner* runner = nullptr) {
  appcore::ScheduledRun run(store, name, runner);
  switch (run.Begin(onlyIfDue, appcore::Today())) {
    case appcore::RunStart::Ready: break;
    case appcore::RunStart::ListUnreadable:
    case appcore::RunStart::LockFailed:
      std::fprintf(err, "zantic-cli: %s\n", run.Error().c_str());
      return kExitFailed;
    case appcore::RunStart::Busy:
      std::fprintf(err, "zantic-cli: another Zantic is burning a scheduled task; %s waits\n", name.c_str());
      return kRunBusy;
    case appcore::RunStart::NoLongerDue: return kExitOk;
    case appcore::RunStart::TaskProblem: {
      const appcore::ScheduledTaskFile& task = run.Task();
      switch (task.Status) {
        case appcore::TaskFileStatus::Missing:
          std::fprintf(err, "zantic-cli: %s (%s)\n", appcore::texts::kTaskFileMissingRun, task.Path.c_str());
          return kExitBadInput;
        case appcore::TaskFileStatus::Empty:
          std::fprintf(out, "The task file of %s is empty: nothing to burn.\n", name.c_str());
          return kExitOk;
        case appcore::TaskFileStatus::Damaged:
          std::fprintf(err, "zantic-cli: %s: %s\n", task.Path.c_str(), task.Error.c_str());
          return kExitBadInput;
        default:
          std::fprintf(err, "zantic-cli: %s\n", task.Error.c_str());
          return task.Status == appcore::TaskFileStatus::BadName ? kExitBadInput : kExitFailed;
      }
    }
  }
  const std::optional<appcore::Options> loaded = LoadProgramOptions(programFolder, err);
  if (!loaded) {
    std::vector<std::string> unused;
    run.End(false, appcore::Today(), unused);
    return kExitFailed;
  }
  const appcore::Options& options = *loaded;
  TaskBurn how;
  how.Device = device;
  how.Scheduled = true;
  how.StopRequested = stopRequested;
  how.Started = [&] {
    std::vector<std::string> logged;
    run.Started(options, appcore::Today(), logged);
    for (const auto& problem : logged) std::fprintf(err, "zantic-cli: %s\n", problem.c_str());
  };
  const appcore::TaskTree tree = run.TakeTree();
  const int rc = BurnTask(tree, options, how, burner, out, err);
  std::vector<std::string> problems;
  const appcore::RunRecord record = run.End(rc == kExitOk || rc == kExitIncomplete, appcore::Today(), problems);
  for (const auto& problem : problems) std::fprintf(err, "zantic-cli: %s\n", problem.c_str());
  switch (record) {
    case appcore::RunRecord::StaysDue:
      std::fprintf(err, "zantic-cli: task %s was not burnt; it stays due\n", name.c_str());
      break;
    case appcore::RunRecord::TestWrite:
      std::fprintf(err, "zantic-cli: task %s: test write, nothing recorded; it stays due\n", name.c_str());
      break;
    case appcore::RunRecord::MarkedDone:
      std::fprintf(out, "Task %s done %s\n", name.c_str(), NowText().c_str());
      break;
  }
  return rc;
}

int List(const appcore::ScheduleStore& store, std::FILE* out, std::FILE* err) {
  if (const std::string problem = store.ListProblem(); !problem.empty()) {
    std::fprintf(err, "zantic-cli: %s\n", problem.c_str());
    return kExitFailed;
  }
  const appcore::CalendarDate today = appcore::Today();
  std::vector<appcore::ScheduleTask> rows = store.LoadList(today);
  if (rows.empty()) {
    std::fprintf(out, "No scheduled backup tasks in %s\n", store.ListPath().c_str());
    return kExitOk;
  }
  const std::vector<appcore::ScheduleTask> shown = rows;
  const auto scan = store.ScanDueTasks(rows, today);
  const std::set<std::size_t> due(scan.Due.begin(), scan.Due.end());
  std::fprintf(out, "%-20s %-12s %-12s %-4s %s\n", "Task Name", "Scheduling", "Last Backup", "Due", "Discription");
  for (std::size_t i = 0; i < shown.size(); ++i)
    std::fprintf(out, "%-20s %-12s %-12s %-4s %s\n", shown[i].Name.c_str(), shown[i].Scheduling.c_str(),
                 shown[i].LastBackup.c_str(), due.count(i) != 0 ? "yes" : "no", shown[i].Description.c_str());
  for (const auto& problem : scan.Problems) std::fprintf(out, "%s\n", problem.c_str());
  return kExitOk;
}

int Daemon(const appcore::ScheduleStore& store, const std::string& programFolder, const std::string& device,
           bool once, engine::TKavoBurner& burner, std::FILE* out, std::FILE* err) {
  // Held before the burner starts any thread, so that a stop stays pending
  // for the wait below; a burn looks for it on its own.
  platform::HoldStopRequests();
  const auto stopRequested = [] { return platform::StopRequestPending(); };

  const std::optional<appcore::Options> loaded = LoadProgramOptions(programFolder, err);
  if (!loaded) return kExitFailed;
  const appcore::Options& options = *loaded;
  std::fprintf(err, "zantic-cli: checking %s every %d seconds (drive: %s)\n", store.ListPath().c_str(),
               appcore::kScheduleCheckSeconds,
               !device.empty() ? device.c_str() : options.Drive.empty() ? "the first that writes" : options.Drive.c_str());
  // Each problem is told once, not every 10 seconds.
  std::set<std::string> told;
  appcore::ScheduleRunner runner;
  int rc = kExitOk;
  for (;;) {
    const appcore::CalendarDate today = appcore::Today();
    std::vector<appcore::ScheduleTask> rows = store.LoadList(today);
    if (const std::string problem = store.ListProblem(); !problem.empty()) {
      if (told.insert(problem).second) std::fprintf(err, "zantic-cli: %s\n", problem.c_str());
      if (rc == kExitOk) rc = kExitFailed;
    }
    std::vector<std::string> problems;
    const auto runnable = runner.Check(store, rows, today, std::chrono::steady_clock::now(), problems);
    for (const auto& problem : problems)
      if (told.insert(problem).second) std::fprintf(err, "zantic-cli: %s\n", problem.c_str());
    for (const std::size_t i : runnable) {
      const std::string& name = rows[i].Name;
      std::fprintf(out, "Task %s is due.\n", name.c_str());
      std::fflush(out);
      const int ran = RunTask(store, programFolder, name, device, stopRequested, true, burner, out, err, &runner);
      std::fflush(out);
      std::fflush(err);
      if (ran == kRunBusy) continue;
      if (ran == kExitAborted) return ran;
      // --once tells the first failure, not only the last task's result.
      if (rc == kExitOk) rc = ran;
    }
    std::fflush(err);
    if (once) return rc;
    if (platform::WaitForStopRequest(appcore::kScheduleCheckSeconds)) return kExitOk;
  }
}

}  // namespace

int RunScheduleCommand(const std::vector<std::string>& args, engine::TKavoBurner& burner, std::FILE* out,
                       std::FILE* err) {
  std::vector<std::string> positional;
  std::string programFolder;
  std::string device;
  bool once = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-h" || args[i] == "--help") {
      std::fputs(kScheduleUsage, out);
      return kExitOk;
    }
    if (args[i] == "--once") {
      once = true;
    } else if (args[i] == "--program-folder" && i + 1 < args.size()) {
      programFolder = args[++i];
    } else if (args[i] == "--device" && i + 1 < args.size()) {
      device = args[++i];
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      std::fprintf(err, "zantic-cli: unknown option or missing value: %s\n\n%s", args[i].c_str(), kScheduleUsage);
      return kExitBadInput;
    } else {
      positional.push_back(args[i]);
    }
  }
  if (programFolder.empty()) programFolder = platform::ProgramFolder();
  const appcore::ScheduleStore store(programFolder);
  const std::string verb = positional.empty() ? "" : positional[0];
  if (verb == "list" && positional.size() == 1) return List(store, out, err);
  if (verb == "run" && positional.size() == 2) {
    const int rc = RunTask(store, programFolder, positional[1], device, nullptr, false, burner, out, err);
    return rc == kRunBusy ? kExitFailed : rc;
  }
  if (verb == "daemon" && positional.size() == 1) return Daemon(store, programFolder, device, once, burner, out, err);
  std::fprintf(err, "zantic-cli: %s\n\n%s", verb.empty() ? "no schedule command" : "wrong schedule command",
               kScheduleUsage);
  return kExitBadInput;
}

}  // namespace cli
