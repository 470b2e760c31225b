#pragma once
// zantic-cli check: read every file of a session and compare its checksums.
#include <cstdio>
#include <string>
#include <vector>

namespace engine {
class TKavoBurner;
}

namespace cli {

extern const char* const kCheckUsage;

int RunCheck(engine::TKavoBurner& burner, const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace cli
