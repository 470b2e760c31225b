// libFuzzer target: arbitrary bytes as the checksum file read back from a
// disc. Every path kept must be safe to look up under the session root, and
// a line written for a kept path must read back to the same path and digest.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/health/checksum_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const health::ChecksumList list = health::ParseChecksumFile(text);
  if (list.Order.size() != list.ByPath.size()) __builtin_trap();
  for (const std::string& path : list.Order) {
    const auto found = list.ByPath.find(path);
    if (found == list.ByPath.end()) __builtin_trap();
    if (health::NormalizeDiscPath(path) != path) __builtin_trap();
    const health::ChecksumList again = health::ParseChecksumFile(health::ChecksumLine(found->second, path));
    if (again.Order.size() != 1 || again.Order.front() != path || again.ByPath.at(path) != found->second)
      __builtin_trap();
    health::PeerPath(path);
  }
  health::NormalizeDiscPath(text);
  return 0;
}
