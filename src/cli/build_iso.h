#pragma once
// zantic-cli build-iso: sources into a compilation, the compilation into an
// .iso file.
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

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
// The volume identifier field holds 32 bytes (ECMA-119 8.4.6).
inline constexpr std::size_t kVolumeLabelBytes = 32;
// False, with the reason on `err`, when the image must not be written to
// `output`: a folder, a device or FIFO, or one of the sources.
bool CheckOutput(const std::string& output, const std::vector<std::string>& sources, std::FILE* err);
// Says so when a label is longer than a disc keeps.
void NoteLongLabel(const std::string& label, std::FILE* err);

}  // namespace cli
