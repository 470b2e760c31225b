// zantic-cli: the engine's operations from a terminal.
#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/build_iso.h"
#include "cli/check_command.h"
#include "cli/burn.h"
#include "cli/devices.h"
#include "cli/disc_commands.h"
#include "cli/drive_info.h"
#include "cli/options.h"
#include "cli/read_command.h"
#include "cli/vdisc.h"
#include "cli/schedule_commands.h"
#include "cli/task_commands.h"
#include "engine/kavo_burner.h"
#include "platform/file_find.h"
#include "platform/process.h"
#include "vdrive/registration.h"

namespace {

std::atomic<engine::TKavoBurner*> gBurner{nullptr};

// Only sets the running operation's cancel flag: safe inside a signal handler.
void OnInterrupt() {
  if (engine::TKavoBurner* burner = gBurner.load()) burner->CancelOperationFromSignal();
}

// Interrupts reach the burner only while it lives: a Ctrl-C that comes as the
// program ends must not call into a burner already destroyed.
struct CatchInterrupts {
  explicit CatchInterrupts(engine::TKavoBurner& burner) {
    gBurner = &burner;
    platform::CatchStopRequests(OnInterrupt);
  }
  ~CatchInterrupts() { gBurner = nullptr; }
  CatchInterrupts(const CatchInterrupts&) = delete;
  CatchInterrupts& operator=(const CatchInterrupts&) = delete;
};

}  // namespace

int main(int argc, char** argv) {
  platform::PrepareConsole();
  std::vector<std::string> args = platform::CommandLineArguments(argc, argv);
  if (args.empty() || args[0] == "-h" || args[0] == "--help") {
    std::fputs(cli::kMainUsage, args.empty() ? stderr : stdout);
    return args.empty() ? cli::kExitBadInput : cli::kExitOk;
  }
  const std::string command = args[0];
  args.erase(args.begin());
  cli::RegisterRecorders(args);
  if (command == "vdisc") return cli::RunVdisc(args, stdout, stderr);
  engine::TKavoBurner burner;
  const CatchInterrupts interrupts(burner);
  if (command == "burn" || command == "burn-iso") return cli::RunBurn(burner, args, command == "burn-iso", stdout, stderr);
  if (command == "erase") return cli::RunErase(burner, args, stdout, stderr);
  if (command == "devices") return cli::RunDevices(args, stdout, stderr);
  if (cli::IsDiscCommand(command)) return cli::RunDiscCommand(burner, command, args, stdout, stderr);
  if (command == "drive-info") return cli::RunDriveInfo(args, stdout, stderr);
  if (command == "disc-info") return cli::RunDiscInfo(args, stdout, stderr);
  if (command == "read") return cli::RunRead(burner, args, stdout, stderr);
  if (command == "check") return cli::RunCheck(burner, args, stdout, stderr);
  if (command == "schedule") return cli::RunScheduleCommand(args, burner, stdout, stderr);
  if (command == "task") return cli::RunTaskCommand(args, burner, stdout, stderr);
  if (command != "build-iso") {
    std::fprintf(stderr, "zantic-cli: unknown command: %s\n\n%s", command.c_str(), cli::kMainUsage);
    return cli::kExitBadInput;
  }
  std::string error;
  auto options = cli::ParseBuildIso(args, error);
  if (!options) {
    std::fprintf(stderr, "zantic-cli: %s\n\n%s", error.c_str(), cli::kBuildIsoUsage);
    return cli::kExitBadInput;
  }
  if (options->Help) {
    std::fputs(cli::kBuildIsoUsage, stdout);
    return cli::kExitOk;
  }
  return cli::RunBuildIso(burner, *options, stdout, stderr);
}
