#pragma once
// zantic-cli read: a disc into an image with a map of unreadable sectors.
#include <cstdio>
#include <string>
#include <vector>

namespace engine {
class TKavoBurner;
}

namespace cli {

extern const char* const kReadUsage;

int RunRead(engine::TKavoBurner& burner, const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace cli
