#pragma once
// zantic-cli task show|iso|burn: task files from a terminal, with the
// options of the program folder.
#include <cstdio>
#include <string>
#include <vector>

namespace engine {
class TKavoBurner;
}

namespace cli {

extern const char* const kTaskUsage;
// Burning to a disc is not built yet; commands that would burn say so.
inline constexpr const char* kBurnNotAvailable = "burning to a disc is not available yet";

// `burner` is the one the signal handler cancels.
int RunTaskCommand(const std::vector<std::string>& args, engine::TKavoBurner& burner, std::FILE* out, std::FILE* err);

}  // namespace cli
