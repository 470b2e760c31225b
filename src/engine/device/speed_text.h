#pragma once
// Speeds as people read them: "40X (7,056 KB/s)" for CD media,
// "6.0X (8,310 KB/s)" for DVD media and "6.0X (26,970 KB/s)" for Blu-ray, in
// log lines and speed lists alike.
#include <cstdint>
#include <string>

namespace device {

inline constexpr double kCdSpeedUnit = 176.4;
inline constexpr double kDvdSpeedUnit = 1385.0;
inline constexpr double kBdSpeedUnit = 4495.0;

enum class TSpeedFamily : std::uint8_t { Cd, Dvd, Bd };
// The family whose 1X a medium code counts in.
TSpeedFamily SpeedFamilyOf(std::uint8_t mediumCode);
double SpeedUnit(TSpeedFamily family);

// The thousands separator of the user's locale; ',' where the locale groups
// no digits (C and POSIX).
char UserThousandsSeparator();
// kB/s with thousands separators, "7,056".
std::string GroupedNumber(std::uint64_t value, char separator);
// "40X" (CD, no decimals) or "6.0X" (DVD, one decimal), rounded half away from zero.
// BD factors have one decimal, as DVD ones.
std::string SpeedFactorText(std::uint32_t kbps, TSpeedFamily family);
inline std::string SpeedFactorText(std::uint32_t kbps, bool dvd) {
  return SpeedFactorText(kbps, dvd ? TSpeedFamily::Dvd : TSpeedFamily::Cd);
}
// "40X (7,056 KB/s)".
std::string SpeedText(std::uint32_t kbps, TSpeedFamily family, char separator);
inline std::string SpeedText(std::uint32_t kbps, bool dvd, char separator) {
  return SpeedText(kbps, dvd ? TSpeedFamily::Dvd : TSpeedFamily::Cd, separator);
}
inline std::string SpeedText(std::uint32_t kbps, TSpeedFamily family) {
  return SpeedText(kbps, family, UserThousandsSeparator());
}
inline std::string SpeedText(std::uint32_t kbps, bool dvd) { return SpeedText(kbps, dvd, UserThousandsSeparator()); }

}  // namespace device
