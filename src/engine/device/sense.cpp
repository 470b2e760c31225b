#include "engine/device/sense.h"

#include <algorithm>

namespace device {

TSense DecodeSense(std::span<const std::uint8_t> bytes) {
  TSense s;
  auto at = [&](std::size_t i) -> std::uint8_t { return i < bytes.size() ? bytes[i] : 0; };
  // Bit 7 of a fixed-format code only says the information field is valid.
  s.ResponseCode = static_cast<std::uint8_t>(at(0) & 0x7F);
  s.AdditionalLength = at(7);
  if (s.Fixed()) {
    const std::uint8_t flags = at(2);
    s.Key = flags & 0x0F;
    s.Filemark = (flags & 0x80) != 0;
    s.EndOfMedium = (flags & 0x40) != 0;
    s.IncorrectLength = (flags & 0x20) != 0;
    s.Asc = at(12);
    s.Ascq = at(13);
    if (s.AdditionalLength >= 10 && (at(15) & 0x80) != 0)
      s.Progress = static_cast<std::uint16_t>(at(16) << 8 | at(17));
  } else if (s.Descriptor()) {
    s.Key = at(1) & 0x0F;
    s.Asc = at(2);
    s.Ascq = at(3);
    // The stream commands descriptor (type 04h) carries the three flags.
    const std::size_t end = std::min<std::size_t>(bytes.size(), std::size_t{8} + s.AdditionalLength);
    for (std::size_t d = 8; d + 1 < end;) {
      const std::uint8_t type = bytes[d], length = bytes[d + 1];
      if (type == 0x04 && d + 3 < end) {
        const std::uint8_t flags = bytes[d + 3];
        s.Filemark = (flags & 0x80) != 0;
        s.EndOfMedium = (flags & 0x40) != 0;
        s.IncorrectLength = (flags & 0x20) != 0;
      }
      if (type == 0x02 && length >= 6 && d + 6 < end && (bytes[d + 4] & 0x80) != 0)
        s.Progress = static_cast<std::uint16_t>(bytes[d + 5] << 8 | bytes[d + 6]);
      d += std::size_t{2} + length;
    }
  }
  // Only these keys carry a progress indication in those bytes.
  if (s.Key != 0x00 && s.Key != 0x02) s.Progress.reset();
  return s;
}

}  // namespace device
