#include "engine/iso/rock_ridge_read.h"

#include <set>
#include <utility>
#include <vector>

#include "engine/iso/records.h"

namespace iso {
namespace {

std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

std::int64_t DaysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// Long-form date (ECMA-119 8.4.26.1): 16 digits and an offset byte.
std::optional<std::array<std::uint8_t, 7>> FromLongForm(const std::uint8_t* p) {
  int v[7] = {};
  const int widths[7] = {4, 2, 2, 2, 2, 2, 2};
  int at = 0;
  for (int i = 0; i < 7; ++i) {
    for (int k = 0; k < widths[i]; ++k, ++at) {
      if (p[at] < '0' || p[at] > '9') return std::nullopt;
      v[i] = v[i] * 10 + (p[at] - '0');
    }
  }
  if (v[0] < 1900 || v[0] > 2155) return std::nullopt;
  return std::array<std::uint8_t, 7>{static_cast<std::uint8_t>(v[0] - 1900), static_cast<std::uint8_t>(v[1]),
                                     static_cast<std::uint8_t>(v[2]), static_cast<std::uint8_t>(v[3]),
                                     static_cast<std::uint8_t>(v[4]), static_cast<std::uint8_t>(v[5]), p[16]};
}

class Parser {
 public:
  Parser(DiscSource& disc, RockRidgeFields& out) : FDisc(disc), FOut(out) {}

  void Area(std::span<const std::uint8_t> area) {
    std::vector<std::uint8_t> sector;
    for (int hops = 0;; ++hops) {
      std::optional<std::pair<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>>> next;
      Entries(area, next);
      if (!next) break;
      const std::uint32_t block = next->first, offset = next->second.first, length = next->second.second;
      // A CE area lies inside one sector, is read once, and chains are short.
      if (hops + 1 > kMaxContinuationAreas || offset >= kSectorSize || length > kSectorSize - offset ||
          !FSeen.emplace(block, offset).second) {
        FOut.Damaged = true;
        break;
      }
      sector.assign(kSectorSize, 0);
      if (!FDisc.ReadSectors(block, 1, sector)) {
        FOut.Damaged = true;
        break;
      }
      const auto from = sector.begin() + static_cast<std::ptrdiff_t>(offset);
      FArea.assign(from, from + static_cast<std::ptrdiff_t>(length));
      area = FArea;
    }
    Finish();
  }

 private:
  void Entries(std::span<const std::uint8_t> a,
               std::optional<std::pair<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>>>& next) {
    std::size_t pos = 0;
    while (pos + 4 <= a.size()) {
      const std::uint8_t* p = a.data() + pos;
      const std::size_t len = p[2];
      if (p[0] == 0) break;  // padding
      if (len < 4 || pos + len > a.size()) {
        FOut.Damaged = true;
        return;
      }
      const char s0 = static_cast<char>(p[0]), s1 = static_cast<char>(p[1]);
      if (s0 == 'S' && s1 == 'T') return;
      if (s0 == 'C' && s1 == 'E' && len >= 28) next = {Le32(p + 4), {Le32(p + 12), Le32(p + 20)}};
      if (s0 == 'P' && s1 == 'X' && len >= 36) {
        FOut.Any = FOut.HasPosix = true;
        FOut.Mode = Le32(p + 4);
        FOut.Uid = Le32(p + 20);
        FOut.Gid = Le32(p + 28);
      }
      if (s0 == 'N' && s1 == 'M' && len >= 5) {
        FOut.Any = true;
        // Current and parent names are not names of their own.
        if ((p[4] & 0x06) == 0 && FName.size() + (len - 5) <= 1024) FName.append(p + 5, p + len);
        FHasName = true;
      }
      if (s0 == 'T' && s1 == 'F' && len >= 5) {
        FOut.Any = true;
        Times(p, len);
      }
      if (s0 == 'S' && s1 == 'L' && len >= 5) {
        FOut.Any = true;
        FOut.IsSymlink = true;
        Link(p + 5, len - 5);
      }
      if (s0 == 'R' && s1 == 'E') FOut.Relocated = true;
      if (s0 == 'C' && s1 == 'L' && len >= 12) FOut.ChildLink = Le32(p + 4);
      pos += len;
    }
  }

  void Times(const std::uint8_t* p, std::size_t len) {
    const std::uint8_t flags = p[4];
    const std::size_t width = (flags & 0x80) != 0 ? 17 : 7;
    std::size_t at = 5;
    for (int bit = 0; bit < 7; ++bit) {
      if ((flags & (1u << bit)) == 0) continue;
      if (at + width > len) {
        FOut.Damaged = true;
        return;
      }
      std::optional<std::array<std::uint8_t, 7>> d;
      if (width == 7) {
        d = std::array<std::uint8_t, 7>{};
        std::copy(p + at, p + at + 7, d->begin());
      } else {
        d = FromLongForm(p + at);
      }
      if (d) {
        if (bit == 1) FOut.Modify = d;
        if (bit == 2) FOut.AccessTime = SecondsOfRecordDate(d->data());
        if (bit == 3) FOut.ChangeTime = SecondsOfRecordDate(d->data());
      }
      at += width;
    }
  }

  void Link(const std::uint8_t* p, std::size_t len) {
    std::size_t at = 0;
    while (at + 2 <= len) {
      const std::uint8_t flags = p[at];
      const std::size_t n = p[at + 1];
      if (at + 2 + n > len) {
        FOut.Damaged = true;
        return;
      }
      if ((flags & 0x08) != 0) {
        FRoot = FComponents.empty() && FPart.empty();
      } else if ((flags & 0x02) != 0) {
        FPart += ".";
      } else if ((flags & 0x04) != 0) {
        FPart += "..";
      } else {
        FPart.append(p + at + 2, p + at + 2 + n);
      }
      if ((flags & 0x01) == 0 && (flags & 0x08) == 0) {
        FComponents.push_back(std::move(FPart));
        FPart.clear();
      }
      at += 2 + n;
    }
  }

  void Finish() {
    if (FHasName) FOut.Name = FName;
    if (!FOut.IsSymlink) return;
    if (!FPart.empty()) FComponents.push_back(FPart);
    std::string target = FRoot ? "/" : "";
    for (std::size_t i = 0; i < FComponents.size(); ++i) {
      if (i != 0) target += '/';
      target += FComponents[i];
    }
    // A link with a NUL, or longer than a system keeps, is not a link anyone made.
    if (target.empty() || target.size() > kMaxRockRidgeLink || target.find('\0') != std::string::npos) {
      FOut.Damaged = true;
      FOut.IsSymlink = false;
      return;
    }
    FOut.SymlinkTarget = std::move(target);
  }

  DiscSource& FDisc;
  RockRidgeFields& FOut;
  std::set<std::pair<std::uint32_t, std::uint32_t>> FSeen;
  std::vector<std::uint8_t> FArea;
  std::string FName;
  bool FHasName = false;
  std::vector<std::string> FComponents;
  std::string FPart;
  bool FRoot = false;
};

}  // namespace

std::int64_t SecondsOfRecordDate(const std::uint8_t* d) {
  if (d[1] < 1 || d[1] > 12 || d[2] < 1 || d[2] > 31 || d[3] > 23 || d[4] > 59 || d[5] > 59) return 0;
  const std::int64_t days = DaysFromCivil(1900 + d[0], d[1], d[2]);
  const auto offset = static_cast<std::int8_t>(d[6]);
  return days * 86400 + d[3] * 3600 + d[4] * 60 + d[5] - offset * 15 * 60;
}

RockRidgeFields ReadRockRidge(DiscSource& disc, std::span<const std::uint8_t> area) {
  RockRidgeFields out;
  Parser(disc, out).Area(area);
  return out;
}

}  // namespace iso
