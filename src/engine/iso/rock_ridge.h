#pragma once
// Rock Ridge (RRIP 1.12 over SUSP 1.12) system use entries of the ISO 9660
// tree: POSIX modes, owners, times, whole names and symbolic links, with
// continuation areas for what does not fit a directory record.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/iso/entries.h"

namespace iso {

// A Rock Ridge name is kept whole up to this many bytes (NAME_MAX).
inline constexpr std::size_t kMaxRockRidgeName = 255;
// SUSP 5.1: the CE entry.
inline constexpr std::size_t kContinuationEntryLength = 28;
// ISO identifiers longer than this leave too little room in a record for PX
// and a CE beside it (readers take the Rock Ridge version from the record's
// own PX); such names are shortened when Rock Ridge is on.
inline constexpr std::size_t kMaxRockRidgeIsoIdentifier = 148;

inline constexpr std::uint32_t kModeTypeMask = 0170000;
inline constexpr std::uint32_t kModeDirectory = 0040000;
inline constexpr std::uint32_t kModeRegular = 0100000;
inline constexpr std::uint32_t kModeSymlink = 0120000;

enum class RecordKind { Dot, DotDot, Entry };

struct RockRidgeRecord {
  RecordKind Kind = RecordKind::Entry;
  // Dot: the directory itself; DotDot: its parent; Entry: unused.
  const TDEntry* Dir = nullptr;
  const TFEntry* Entry = nullptr;  // Entry only
  bool RootDot = false;            // "." of the root: SP first, ER
  std::uint32_t Links = 1;
  std::uint32_t Serial = 0;
  std::array<std::uint8_t, 7> Now{};  // date of the root's own records
  // Entry: its recording date when the caller has it already.
  const std::array<std::uint8_t, 7>* Modify = nullptr;
  // Deep directories moved in the ISO tree: CL in the placeholder at the
  // directory's place (its extent), PL in the moved directory's ".." (the
  // real parent's extent), RE in the moved record and the folder's.
  bool HasChildLink = false;
  std::uint32_t ChildLink = 0;
  bool HasParentLink = false;
  std::uint32_t ParentLink = 0;
  bool Relocated = false;
};

// The name Rock Ridge records for an entry: its long name without the "."
// the add rule appended.
std::string RockRidgeName(const TFEntry& e);
// Mode recorded for an entry (a default from the attributes when not known).
std::uint32_t RecordedMode(const TFEntry* e, bool directory);

// Appends the system use entries of one record to `out`; `ends` gets the
// end offset of each entry, so that a split never cuts one in two.
void AppendRockRidge(const RockRidgeRecord& r, std::vector<std::uint8_t>& out, std::vector<std::size_t>& ends);

// The bytes AppendRockRidge gives, where that is quick to know (no link, not
// the root's first record); 0 otherwise.
std::size_t QuickRockRidgeLength(const RockRidgeRecord& r);

// Seven-byte date (ECMA-119 9.1.5) of a time in seconds since 1970 UTC, at offset 0.
std::array<std::uint8_t, 7> UnixRecordDate(std::int64_t seconds);

// The continuation areas of a tree, placed one after another without a piece
// crossing a sector. Run once to size the area (no buffer) and once to fill
// it: the same sequence of Place calls gives the same places.
class ContinuationArea {
 public:
  ContinuationArea(std::uint32_t startSector, std::vector<std::uint8_t>* bytes)
      : FStart(startSector), FBytes(bytes) {}
  // Splits `su` between the record, which has `room` bytes, and continuation
  // pieces; the part that stays in the record is written to `inRecord`.
  void Place(std::span<const std::uint8_t> su, std::span<const std::size_t> ends, std::size_t room,
             std::vector<std::uint8_t>& inRecord);
  std::uint64_t Sectors() const { return (FUsed + 2047) / 2048; }

 private:
  std::uint64_t Allocate(std::size_t length);
  std::uint32_t FStart;
  std::vector<std::uint8_t>* FBytes;
  std::uint64_t FUsed = 0;
};

}  // namespace iso
