#pragma once
// zantic-cli sessions, ls and extract: the sessions of a disc, the tree of
// one session, and files copied from it; the disc is an image file
// (--image FILE) or the disc in a drive (--device DEV).
#include <cstdio>
#include <string>
#include <vector>

namespace engine {
class TKavoBurner;
}

namespace cli {

bool IsDiscCommand(const std::string& command);
// Runs one of the commands above with the given burner (so that a signal
// handler can cancel it); listings go to `out`, messages to `err`.
int RunDiscCommand(engine::TKavoBurner& burner, const std::string& command, const std::vector<std::string>& args,
                   std::FILE* out, std::FILE* err);

extern const char* const kDiscCommandsUsage;

}  // namespace cli
