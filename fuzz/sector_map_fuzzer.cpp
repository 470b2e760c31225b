// libFuzzer target: arbitrary bytes as the damage map beside an image. A map
// that loads holds sorted, disjoint ranges inside the image, and writes out
// to a text that loads back the same.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/health/sector_map.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto parsed = health::ParseSectorMap(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!parsed.Ok()) return 0;
  const health::SectorMap& map = parsed.Value();
  if (map.Unreadable.size() > health::kMaxMapRanges) __builtin_trap();
  std::uint64_t previousEnd = 0;
  for (std::size_t i = 0; i < map.Unreadable.size(); ++i) {
    const health::SectorRange& range = map.Unreadable[i];
    if (range.Count == 0 || range.End() > map.Sectors) __builtin_trap();
    if (i > 0 && range.Start <= previousEnd) __builtin_trap();  // sorted, disjoint, not touching
    previousEnd = range.End();
  }
  if (map.UnreadableSectors() > map.Sectors) __builtin_trap();
  const auto again = health::ParseSectorMap(health::FormatSectorMap(map));
  if (!again.Ok() || again.Value().Sectors != map.Sectors || again.Value().Unreadable != map.Unreadable)
    __builtin_trap();
  return 0;
}
