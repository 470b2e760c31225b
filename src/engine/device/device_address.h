#pragma once
// The address at the head of a drive-list line, "host:target:lun,X: name".
#include <cstdint>
#include <optional>
#include <string_view>

namespace device {

struct TDeviceAddress {
  std::uint8_t HostAdapter = 0;
  std::uint8_t Target = 0;
  std::uint8_t Lun = 0;
  friend bool operator==(const TDeviceAddress&, const TDeviceAddress&) = default;
};

// Three decimal fields of 0..253 (254 marks no drive) separated by ':' and
// ended by ',' or the end of the text; nullopt for anything else.
std::optional<TDeviceAddress> ParseDeviceAddress(std::string_view text);

}  // namespace device
