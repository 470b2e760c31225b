#pragma once
// zantic-cli schedule list|run|daemon: the scheduled backup tasks of the
// program folder, for machines without a desktop.
#include <cstdio>
#include <string>
#include <vector>

namespace cli {

extern const char* const kScheduleUsage;

// The daemon blocks SIGINT and SIGTERM and ends when one arrives.
int RunScheduleCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace cli
