#include "engine/session_list.h"

#include <cmath>
#include <cstdio>

#include "engine/iso/records.h"
#include "engine/texts.h"

namespace engine {
namespace {

std::string Padded(unsigned value, int width, char pad) {
  std::string s = std::to_string(value);
  if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), pad);
  return s;
}

std::string MsfText(std::uint32_t address) {
  return Padded(address / 4500, 3, '0') + ":" + Padded(address / 75 % 60, 2, '0') + ":" +
         Padded(address % 75, 2, '0');
}

// Round half to even, as the list has always rounded.
unsigned Megabytes(std::uint64_t blocks) {
  return static_cast<unsigned>(std::nearbyint(static_cast<double>(blocks) / 512.0));
}

}  // namespace

std::vector<std::string> SessionListLines(iso::DiscSource& disc) {
  if (!disc.Ready()) return {texts::kSessionInfoError};
  std::vector<std::string> lines;
  const auto range = disc.TrackRange();
  if (range) {
    std::vector<std::uint8_t> sector(iso::kSectorSize);
    for (unsigned t = range->first; t <= range->second && t < iso::kLeadOutTrack; ++t) {
      const auto track = static_cast<std::uint8_t>(t);
      const auto address = disc.TocAddress(track);
      if (!address || *address == 0) continue;
      const std::uint32_t start = *address >= 150 ? *address - 150 : 0;
      const std::string head = "  " + Padded(t, 3, '0') + "      " + MsfText(*address) + "  ";
      const auto info = disc.TrackInfo(track);
      std::uint32_t volume = 0;
      if (start <= 0xFFFFFFFFu - 16 && disc.ReadSectors(start + 16, 1, sector))
        volume = std::uint32_t{sector[80]} | std::uint32_t{sector[81]} << 8 | std::uint32_t{sector[82]} << 16 |
                 std::uint32_t{sector[83]} << 24;
      if (volume == 0) {
        lines.push_back(head + "???? MB");
        continue;
      }
      const std::uint32_t size = info && info->Size != 0 ? info->Size : volume;
      lines.push_back(head + Padded(Megabytes(size), 4, ' ') + " MB");
    }
  }
  const auto leadOut = disc.TocAddress(iso::kLeadOutTrack);
  const std::string free = leadOut ? MsfText(*leadOut) : "00:00:00";
  lines.push_back(" Free      " + free + "  " + Padded(Megabytes(disc.FreeBlocks()), 4, ' ') + " MB");
  return lines;
}

}  // namespace engine
