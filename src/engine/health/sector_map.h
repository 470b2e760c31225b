#pragma once
// The map of unreadable sectors written beside an image read from a disc.
// A text file, one range a line:
//
//   # zantic sector map: unreadable 2048-byte sectors, zeros in the image
//   sectors 359424
//   1200 16
//   358000 1
//
// "sectors N" is the size of the image; each other line is the first sector
// and the number of sectors of one unreadable range, in increasing order.
// Lines starting with "#" are comments. The file is untrusted on load.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/result.h"
#include "platform/file_stream.h"

namespace health {

struct SectorRange {
  std::uint32_t Start = 0;
  std::uint32_t Count = 0;
  std::uint64_t End() const { return std::uint64_t{Start} + Count; }
  bool operator==(const SectorRange&) const = default;
};

struct SectorMap {
  std::uint32_t Sectors = 0;
  std::vector<SectorRange> Unreadable;  // sorted, disjoint, not touching
  std::uint64_t UnreadableSectors() const;
};

// A map of a million ranges is far more than a disc can hold.
inline constexpr std::size_t kMaxMapRanges = 1000000;
inline constexpr std::uint64_t kMaxMapBytes = 64ull << 20;

std::string FormatSectorMap(const SectorMap& map);
base::Result<SectorMap> ParseSectorMap(std::string_view text);
base::Result<SectorMap> LoadSectorMap(const std::string& path);
// A new file `prefix` + 8 random hex digits, made exclusively: never an
// existing file, never through a symbolic link. The name and the file.
base::Result<std::pair<std::string, platform::FileStream>> CreateUniqueFile(const std::string& prefix);

// Written under a temporary name and renamed, so a crash leaves the old map.
base::Status SaveSectorMap(const std::string& path, const SectorMap& map);

// Adds a sector to a sorted list of ranges that grows at its end.
void AppendSector(std::vector<SectorRange>& ranges, std::uint32_t lba);

}  // namespace health
