#include "cli/schedule_commands.h"

#include <signal.h>
#include <time.h>

#include <cerrno>
#include <set>

#include "appcore/options.h"
#include "appcore/schedule.h"
#include "appcore/task_tree.h"
#include "appcore/texts.h"
#include "cli/build_iso.h"
#include "cli/task_commands.h"
#include "platform/file_find.h"
#include "platform/program_folder.h"

namespace cli {

const char* const kScheduleUsage =
    "usage: zantic-cli schedule list\n"
    "       zantic-cli schedule run NAME\n"
    "       zantic-cli schedule daemon [--once]\n"
    "\n"
    "  list     the scheduled backup tasks and which of them are due\n"
    "  run      run one task now (burning is not available yet)\n"
    "  daemon   check every 10 seconds and run the tasks that are due, for\n"
    "           machines without a desktop; --once checks once and ends\n"
    "\n"
    "options:\n"
    "      --program-folder DIR   where Option.ini and the Schedule folder are\n";

namespace {

// Runs one task file as a scheduled run would, up to the burn.
int RunTask(const appcore::ScheduleStore& store, const std::string& name, std::FILE* out, std::FILE* err) {
  if (auto valid = appcore::ValidateTaskName(name); !valid.Ok()) {
    std::fprintf(err, "zantic-cli: %s\n", valid.Err().Message.c_str());
    return kExitBadInput;
  }
  const std::string path = store.TaskFilePath(name);
  if (!platform::FileExists(path)) {
    std::fprintf(err, "zantic-cli: %s (%s)\n", appcore::texts::kTaskFileMissingRun, path.c_str());
    return kExitBadInput;
  }
  auto text = appcore::ReadTaskFileText(path);
  if (!text.Ok()) {
    std::fprintf(err, "zantic-cli: %s\n", text.Err().Message.c_str());
    return kExitFailed;
  }
  if (text.Value().empty()) {
    std::fprintf(out, "The task file of %s is empty: nothing to burn.\n", name.c_str());
    return kExitOk;
  }
  auto tree = appcore::ParseTaskText(text.Value());
  if (!tree.Ok()) {
    std::fprintf(err, "zantic-cli: %s: %s\n", path.c_str(), tree.Err().Message.c_str());
    return kExitBadInput;
  }
  std::fprintf(err, "zantic-cli: task %s: %s\n", name.c_str(), kBurnNotAvailable);
  return kExitFailed;
}

int List(const appcore::ScheduleStore& store, std::FILE* out) {
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

int Daemon(const appcore::ScheduleStore& store, const std::string& programFolder, bool once, std::FILE* out,
           std::FILE* err) {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);

  appcore::Options options;
  options.LoadFromFile(programFolder + "/" + appcore::kOptionFileName, "");
  std::fprintf(err, "zantic-cli: checking %s every %d seconds (drive: %s)\n", store.ListPath().c_str(),
               appcore::kScheduleCheckSeconds, options.Drive.empty() ? "none chosen" : options.Drive.c_str());
  // Each problem is told once, not every 10 seconds.
  std::set<std::string> told;
  int rc = kExitOk;
  for (;;) {
    const appcore::CalendarDate today = appcore::Today();
    std::vector<appcore::ScheduleTask> rows = store.LoadList(today);
    const auto scan = store.ScanDueTasks(rows, today);
    for (const auto& problem : scan.Problems)
      if (told.insert(problem).second) std::fprintf(err, "zantic-cli: %s\n", problem.c_str());
    for (const std::size_t i : scan.Due) {
      const std::string key = "due:" + rows[i].Name;
      if (!once && told.count(key) != 0) continue;
      told.insert(key);
      std::fprintf(out, "Task %s is due.\n", rows[i].Name.c_str());
      std::fflush(out);
      // A task that did not burn keeps its last backup date: it is not done.
      rc = RunTask(store, rows[i].Name, out, err);
    }
    std::fflush(err);
    if (once) return rc;
    const timespec wait{appcore::kScheduleCheckSeconds, 0};
    const int got = sigtimedwait(&stopSignals, nullptr, &wait);
    if (got == SIGINT || got == SIGTERM) return kExitOk;
  }
}

}  // namespace

int RunScheduleCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  std::vector<std::string> positional;
  std::string programFolder;
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
  if (verb == "list" && positional.size() == 1) return List(store, out);
  if (verb == "run" && positional.size() == 2) return RunTask(store, positional[1], out, err);
  if (verb == "daemon" && positional.size() == 1) return Daemon(store, programFolder, once, out, err);
  std::fprintf(err, "zantic-cli: %s\n\n%s", verb.empty() ? "no schedule command" : "wrong schedule command",
               kScheduleUsage);
  return kExitBadInput;
}

}  // namespace cli
