#pragma once
// Sense data in either of its formats, decoded once into the fields every
// reader needs (SPC-3 4.5).
#include <cstdint>
#include <optional>
#include <span>

namespace device {

struct TSense {
  std::uint8_t ResponseCode = 0;  // 70h/71h fixed, 72h/73h descriptor; 0 when there is no sense
  std::uint8_t Key = 0;
  std::uint8_t Asc = 0;
  std::uint8_t Ascq = 0;
  std::uint8_t AdditionalLength = 0;
  bool Filemark = false;
  bool EndOfMedium = false;
  bool IncorrectLength = false;
  // Sense-key specific progress indication (0 to 65535) of a NOT READY or
  // NO SENSE answer, when the drive marks it valid (SPC-3 4.5.2.4.4).
  std::optional<std::uint16_t> Progress;

  bool Present() const { return ResponseCode != 0; }
  bool Fixed() const { return ResponseCode == 0x70 || ResponseCode == 0x71; }
  bool Descriptor() const { return ResponseCode == 0x72 || ResponseCode == 0x73; }
  bool Deferred() const { return ResponseCode == 0x71 || ResponseCode == 0x73; }
  // LOGICAL UNIT NOT READY, whatever the cause.
  bool NotReady() const { return Asc == 0x04; }
};

// Reads only the bytes given; an unknown response code keeps the code and
// leaves the rest 0.
TSense DecodeSense(std::span<const std::uint8_t> bytes);

}  // namespace device
