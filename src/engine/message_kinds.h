#pragma once
// Kinds of the engine's log lines (the second argument of OnDebugMessage),
// shared by every engine folder.
#include <cstdint>

namespace engine {

inline constexpr std::uint8_t kMsgDriveError = 0;
inline constexpr std::uint8_t kMsgProgress = 1;
inline constexpr std::uint8_t kMsgTableFull = 3;
inline constexpr std::uint8_t kMsgCompilationError = 4;

}  // namespace engine
