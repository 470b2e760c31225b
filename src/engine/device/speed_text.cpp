#include "engine/device/speed_text.h"

#include <cmath>
#include <cstdio>
#include <locale>

#include "engine/device/media_types.h"

namespace device {

char UserThousandsSeparator() {
  try {
    const std::locale user("");
    const auto& punct = std::use_facet<std::numpunct<char>>(user);
    if (!punct.grouping().empty() && punct.thousands_sep() != '\0') return punct.thousands_sep();
  } catch (const std::exception&) {
    // An unknown locale in the environment: fall back like the C locale.
  }
  return ',';
}

std::string GroupedNumber(std::uint64_t value, char separator) {
  std::string digits = std::to_string(value);
  std::string out;
  const std::size_t n = digits.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (i != 0 && (n - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

TSpeedFamily SpeedFamilyOf(std::uint8_t mediumCode) {
  if (IsCdMedium(mediumCode)) return TSpeedFamily::Cd;
  return IsBdMedium(mediumCode) ? TSpeedFamily::Bd : TSpeedFamily::Dvd;
}

double SpeedUnit(TSpeedFamily family) {
  switch (family) {
    case TSpeedFamily::Cd: return kCdSpeedUnit;
    case TSpeedFamily::Dvd: return kDvdSpeedUnit;
    case TSpeedFamily::Bd: return kBdSpeedUnit;
  }
  return kDvdSpeedUnit;
}

std::string SpeedFactorText(std::uint32_t kbps, TSpeedFamily family) {
  char text[32];
  if (family != TSpeedFamily::Cd) {
    const double tenths = std::floor(kbps / SpeedUnit(family) * 10.0 + 0.5);
    std::snprintf(text, sizeof text, "%.1fX", tenths / 10.0);
  } else {
    std::snprintf(text, sizeof text, "%.0fX", std::floor(kbps / kCdSpeedUnit + 0.5));
  }
  return text;
}

std::string SpeedText(std::uint32_t kbps, TSpeedFamily family, char separator) {
  return SpeedFactorText(kbps, family) + " (" + GroupedNumber(kbps, separator) + " KB/s)";
}

}  // namespace device
