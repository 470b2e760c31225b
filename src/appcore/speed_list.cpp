#include "appcore/speed_list.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "engine/device/media_types.h"
#include "engine/device/speed_text.h"
#include "engine/kavo_burner.h"

namespace appcore {

std::vector<std::string> FillSpeedList(engine::TKavoBurner& burner) {
  const device::TSpeedFamily family = device::SpeedFamilyOf(burner.DetectMediaType());
  const int step = family == device::TSpeedFamily::Cd ? 176 : family == device::TSpeedFamily::Dvd ? 700 : 2247;
  const char separator = device::UserThousandsSeparator();
  std::vector<std::string> list{kSpeedMax};
  if (!burner.RefreshCapabilities() || !burner.WritesAnything()) return list;
  // Asking a speed sets it: the drive gets its own speeds back afterwards.
  const std::uint16_t read = burner.CurrentReadSpeed(), write = burner.CurrentWriteSpeed();
  for (int value = burner.MaxWriteSpeed(); value > 0; value -= step) {
    burner.SetWriteSpeed(static_cast<std::uint16_t>(value));
    const std::string entry = device::SpeedText(burner.CurrentWriteSpeed(), family, separator);
    if (std::find(list.begin(), list.end(), entry) == list.end()) list.push_back(entry);
  }
  if (list.size() > 1) burner.SetCdSpeed(read, write);
  return list;
}

std::size_t RestoreSpeedIndex(int remembered, std::size_t listSize) {
  return remembered >= 0 && static_cast<std::size_t>(remembered) < listSize ? static_cast<std::size_t>(remembered) : 0;
}

std::uint32_t SpeedTextToKBps(const std::string& text, std::uint8_t discType) {
  if (text.empty() || text == kSpeedMax) return 0;
  const std::string number = text.substr(0, text.find('X'));
  double factor = 0;
  const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), factor);
  // Garbage asks for no particular speed rather than a wrong one.
  if (ec != std::errc() || end != number.data() + number.size() || !(factor >= 0) || factor > 1000) return 0;
  const double unit = device::IsCdMedium(discType) ? 177.0 : device::IsBdMedium(discType) ? 4495.0 : 1385.0;
  return static_cast<std::uint32_t>(std::lround(factor * unit));
}

}  // namespace appcore

namespace appcore {

std::optional<std::uint16_t> ParseSpeed(const std::string& text, std::uint8_t medium) {
  if (text.empty() || text == "Max" || text == "max") return std::uint16_t{0};
  if (text.back() == 'X' || text.back() == 'x') {
    std::string factor = text;
    factor.back() = 'X';
    const std::uint32_t v = SpeedTextToKBps(factor, medium);
    if (v == 0 || v > 0xFFFF) return std::nullopt;
    return static_cast<std::uint16_t>(v);
  }
  std::uint32_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v == 0 || v > 0xFFFF) return std::nullopt;
  return static_cast<std::uint16_t>(v);
}

}  // namespace appcore
