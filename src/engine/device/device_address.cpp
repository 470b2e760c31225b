#include "engine/device/device_address.h"

namespace device {

std::optional<TDeviceAddress> ParseDeviceAddress(std::string_view text) {
  std::uint8_t fields[3] = {};
  std::size_t at = 0;
  for (int i = 0; i < 3; ++i) {
    unsigned value = 0;
    std::size_t digits = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      value = value * 10 + static_cast<unsigned>(text[at] - '0');
      if (++digits > 3) return std::nullopt;
      ++at;
    }
    if (digits == 0 || value > 253) return std::nullopt;
    fields[i] = static_cast<std::uint8_t>(value);
    const char end = i < 2 ? ':' : ',';
    if (at < text.size() && text[at] == end) {
      ++at;
    } else if (!(i == 2 && at == text.size())) {
      return std::nullopt;
    }
  }
  return TDeviceAddress{fields[0], fields[1], fields[2]};
}

}  // namespace device
