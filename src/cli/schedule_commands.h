#pragma once
// zantic-cli schedule list|run|daemon: the scheduled backup tasks of the
// program folder, for machines without a desktop.
#include <cstdio>
#include <string>
#include <vector>

namespace engine {
class TKavoBurner;
}

namespace cli {

extern const char* const kScheduleUsage;

// The daemon blocks SIGINT and SIGTERM and ends when one arrives; one that
// arrives during a burn cancels it first. `schedule run` leaves them to the
// handler that cancels `burner`.
int RunScheduleCommand(const std::vector<std::string>& args, engine::TKavoBurner& burner, std::FILE* out,
                       std::FILE* err);

}  // namespace cli
