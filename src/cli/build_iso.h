#pragma once
// zantic-cli build-iso: sources into a compilation, the compilation into an
// .iso file.
#include <cstdio>

#include "cli/options.h"

namespace engine {
class TKavoBurner;
}

namespace cli {

enum ExitCode : int {
  kExitOk = 0,
  kExitFailed = 1,     // the image could not be written, or is damaged
  kExitBadInput = 2,   // wrong arguments or sources
  kExitIncomplete = 3,  // the image is good, but some sources were left out (reported)
  kExitAborted = 130,  // interrupted by the user
};

// Runs the command with the given burner (so that a signal handler can
// cancel it); messages go to `err`, the summary to `out`.
int RunBuildIso(engine::TKavoBurner& burner, const BuildIsoOptions& options, std::FILE* out, std::FILE* err);
// Adds one source to the compilation: a folder as a folder of its own name,
// a file into the root. False when it cannot be added at all.
bool AddSource(engine::TKavoBurner& burner, const std::string& source, std::FILE* err);

}  // namespace cli
