// zantic-cli: the engine's operations from a terminal.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/build_iso.h"
#include "cli/devices.h"
#include "cli/disc_commands.h"
#include "cli/options.h"
#include "engine/kavo_burner.h"

namespace {

engine::TKavoBurner* gBurner = nullptr;

// Only sets the engine's atomic abort request: safe inside a signal handler.
extern "C" void OnInterrupt(int) {
  if (gBurner != nullptr) gBurner->CancelOperation();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "-h" || args[0] == "--help") {
    std::fputs(cli::kMainUsage, args.empty() ? stderr : stdout);
    return args.empty() ? cli::kExitBadInput : cli::kExitOk;
  }
  const std::string command = args[0];
  args.erase(args.begin());
  if (command == "devices") return cli::RunDevices(args, stdout, stderr);
  if (command != "build-iso" && !cli::IsDiscCommand(command)) {
    std::fprintf(stderr, "zantic-cli: unknown command: %s\n\n%s", command.c_str(), cli::kMainUsage);
    return cli::kExitBadInput;
  }
  std::string error;
  auto options = cli::IsDiscCommand(command) ? cli::BuildIsoOptions{} : cli::ParseBuildIso(args, error);
  if (!options) {
    std::fprintf(stderr, "zantic-cli: %s\n\n%s", error.c_str(), cli::kBuildIsoUsage);
    return cli::kExitBadInput;
  }
  if (options->Help) {
    std::fputs(cli::kBuildIsoUsage, stdout);
    return cli::kExitOk;
  }
  engine::TKavoBurner burner;
  gBurner = &burner;
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  const int rc = cli::IsDiscCommand(command) ? cli::RunDiscCommand(burner, command, args, stdout, stderr)
                                             : cli::RunBuildIso(burner, *options, stdout, stderr);
  gBurner = nullptr;
  return rc;
}
