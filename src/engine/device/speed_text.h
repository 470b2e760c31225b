#pragma once
// Speeds as people read them: "40X (7,056 KB/s)" for CD media and
// "6.0X (8,310 KB/s)" for DVD media, in log lines and speed lists alike.
#include <cstdint>
#include <string>

namespace device {

inline constexpr double kCdSpeedUnit = 176.4;
inline constexpr double kDvdSpeedUnit = 1385.0;

// The thousands separator of the user's locale; ',' where the locale groups
// no digits (C and POSIX).
char UserThousandsSeparator();
// kB/s with thousands separators, "7,056".
std::string GroupedNumber(std::uint64_t value, char separator);
// "40X" (CD, no decimals) or "6.0X" (DVD, one decimal), rounded half away from zero.
std::string SpeedFactorText(std::uint32_t kbps, bool dvd);
// "40X (7,056 KB/s)".
std::string SpeedText(std::uint32_t kbps, bool dvd, char separator);
inline std::string SpeedText(std::uint32_t kbps, bool dvd) { return SpeedText(kbps, dvd, UserThousandsSeparator()); }

}  // namespace device
