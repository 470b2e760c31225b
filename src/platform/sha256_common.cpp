#include "platform/sha256.h"

namespace platform {

std::string HexDigest(const Sha256Digest& digest) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string s;
  s.reserve(64);
  for (std::uint8_t b : digest) {
    s += kHex[b >> 4];
    s += kHex[b & 0x0F];
  }
  return s;
}

}  // namespace platform
