#pragma once
// The write-speed list of the burn and erase dialogs, and the way an entry
// turns back into a speed when an operation starts.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace engine {
class TKavoBurner;
}

namespace appcore {

inline constexpr const char* kSpeedMax = "Max";

// "Max" first, then one entry per distinct speed the drive reports back,
// from its fastest down. Leaves the burner's WriteSpeed at the last speed
// tried, as the dialog does.
std::vector<std::string> FillSpeedList(engine::TKavoBurner& burner);
// The index to select after a refill: the remembered one while it is still
// in the list, else "Max".
std::size_t RestoreSpeedIndex(int remembered, std::size_t listSize);
// 0 for "", "Max" or a text without a number; otherwise the number before
// "X" times 177 (CD media, codes below 4), 4495 (Blu-ray) or 1385, rounded.
std::uint32_t SpeedTextToKBps(const std::string& text, std::uint8_t discType);
// A speed as a person types it: "Max" or empty (0, the drive's fastest), a
// factor such as "16X" for the medium, or kB/s. Nothing when it is none of
// them or does not fit the drive's 16-bit field.
std::optional<std::uint16_t> ParseSpeed(const std::string& text, std::uint8_t medium);

}  // namespace appcore
