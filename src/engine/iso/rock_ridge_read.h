#pragma once
// Reading the Rock Ridge entries of one directory record back. Everything is
// untrusted: entry lengths past the area, CE areas that loop or leave the
// sector, names and links with bytes a path cannot hold.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "engine/iso/disc_source.h"

namespace iso {

struct RockRidgeFields {
  bool Any = false;  // at least one Rock Ridge entry was read
  std::string Name;  // NM, whole; empty when none
  bool HasPosix = false;
  std::uint32_t Mode = 0;
  std::uint32_t Uid = 0;
  std::uint32_t Gid = 0;
  std::optional<std::array<std::uint8_t, 7>> Modify;  // ECMA-119 9.1.5 form
  std::int64_t AccessTime = 0;
  std::int64_t ChangeTime = 0;
  std::string SymlinkTarget;
  bool IsSymlink = false;
  bool Relocated = false;  // RE: the directory's real place is elsewhere (a CL)
  std::optional<std::uint32_t> ChildLink;  // CL: the directory's extent
  bool Damaged = false;
};

// At most this many CE areas are followed for one record.
inline constexpr int kMaxContinuationAreas = 16;
inline constexpr std::size_t kMaxRockRidgeLink = 4095;

// Parses `area` (the record's system use field after the SP skip), following
// CE areas on `disc`.
RockRidgeFields ReadRockRidge(DiscSource& disc, std::span<const std::uint8_t> area);

// Seconds since 1970 UTC of a seven-byte date; 0 when it is not a date.
std::int64_t SecondsOfRecordDate(const std::uint8_t* d);

}  // namespace iso
