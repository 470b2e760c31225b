#pragma once
// zantic-cli task show|iso|burn: task files from a terminal, with the
// options of the program folder.
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace engine {
class TKavoBurner;
}
namespace appcore {
class Options;
struct TaskTree;
}

namespace cli {

extern const char* const kTaskUsage;
// How a task is burnt besides what the options say.
struct TaskBurn {
  std::string Device;  // the drive; empty: the one the options name
  std::string Speed;   // empty: Max
  bool Verify = false;
  bool Scheduled = false;  // the options' rules for a drive that cannot write or is not ready
  // Called once the drive is ready, before the task is transferred.
  std::function<void()> Started;
  // Asked while the burn runs; true cancels it.
  std::function<bool()> StopRequested;
};

// Burns `tree` as the main window would transfer it: the drive selected and
// checked, the options applied, the session import, the transfer, the burn.
// Exit codes as `burn`; kExitIncomplete when the disc was written but some
// sources were missing (reported).
int BurnTask(const appcore::TaskTree& tree, const appcore::Options& options, const TaskBurn& how,
             engine::TKavoBurner& burner, std::FILE* out, std::FILE* err);
// The options of the program folder; an Option.ini that is there but cannot
// be read is told on `err` and gives nothing.
std::optional<appcore::Options> LoadProgramOptions(const std::string& programFolder, std::FILE* err);

// `burner` is the one the signal handler cancels.
int RunTaskCommand(const std::vector<std::string>& args, engine::TKavoBurner& burner, std::FILE* out, std::FILE* err);

}  // namespace cli
