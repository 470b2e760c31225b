#pragma once
// A reader of ISO 9660 and Joliet images for tests. It decodes every field
// itself from the bytes (never through the engine's record types), so a field
// the engine places wrongly fails a test instead of agreeing with itself.
// Anything malformed (a both-endian field whose halves differ, a record that
// crosses a sector, a read outside the image) throws std::runtime_error, which
// GoogleTest reports as a failure of the test that read it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace testsupport::isoread {

inline constexpr std::uint32_t kSector = 2048;

using Bytes = std::span<const std::uint8_t>;

std::uint16_t Le16(Bytes b, std::size_t at);
std::uint32_t Le32(Bytes b, std::size_t at);
std::uint16_t Be16(Bytes b, std::size_t at);
std::uint32_t Be32(Bytes b, std::size_t at);
// ECMA-119 7.2.3 / 7.3.3: little-endian half, then big-endian half.
std::uint16_t Both16(Bytes b, std::size_t at);
std::uint32_t Both32(Bytes b, std::size_t at);
// `length` bytes at `at` as a string (no trimming).
std::string Text(Bytes b, std::size_t at, std::size_t length);
// UCS-2/UTF-16 big-endian to UTF-8.
std::string Ucs2BeToUtf8(Bytes b);

// ECMA-119 9.1.
struct DirRecord {
  std::size_t Offset = 0;  // where the record starts, relative to the bytes parsed
  std::uint8_t Length = 0;
  std::uint8_t ExtAttrLength = 0;
  std::uint32_t Extent = 0;
  std::uint32_t DataLength = 0;
  std::array<std::uint8_t, 7> Date{};
  std::uint8_t Flags = 0;
  std::uint8_t FileUnitSize = 0;
  std::uint8_t InterleaveGap = 0;
  std::uint16_t VolumeSequence = 0;
  std::vector<std::uint8_t> Id;
  bool Padded = false;  // one byte follows the identifier inside the record

  bool IsDot() const { return Id.size() == 1 && Id[0] == 0; }
  bool IsDotDot() const { return Id.size() == 1 && Id[0] == 1; }
  bool IsDirectory() const { return (Flags & 0x02) != 0; }
  // The identifier as text: ISO bytes as they are, Joliet decoded from UCS-2.
  std::string Name(bool joliet) const;
};
DirRecord ParseDirRecord(Bytes b, std::size_t at);

// ECMA-119 8.4 / 8.5 and 8.3 (terminator): the fields a reader uses; the
// whole sector stays in Raw for byte-level checks.
struct VolumeDescriptor {
  std::uint8_t Type = 0;
  std::string StandardId;
  std::uint8_t Version = 0;
  std::uint32_t VolumeSpaceSize = 0;
  std::uint16_t VolumeSetSize = 0;
  std::uint16_t VolumeSequence = 0;
  std::uint16_t BlockSize = 0;
  std::uint32_t PathTableSize = 0;
  std::uint32_t LPath = 0;
  std::uint32_t LPathOptional = 0;
  std::uint32_t MPath = 0;
  std::uint32_t MPathOptional = 0;
  DirRecord Root;
  std::vector<std::uint8_t> Raw;
};
// Terminators keep only Type, StandardId, Version and Raw.
VolumeDescriptor ParseVolumeDescriptor(Bytes sector);

// ECMA-119 9.4.
struct PathRecord {
  std::size_t Offset = 0;
  std::uint8_t IdLength = 0;
  std::uint8_t ExtAttrLength = 0;
  std::uint32_t Extent = 0;
  std::uint16_t Parent = 0;
  std::vector<std::uint8_t> Id;
};
std::vector<PathRecord> ParsePathTable(Bytes table, bool bigEndian);

class Image {
 public:
  // `bytes` begin at sector `firstSector` (a session header starts at its
  // session's first sector, not at 0).
  explicit Image(std::vector<std::uint8_t> bytes, std::uint32_t firstSector = 0);
  static Image FromFile(const std::string& path);

  std::uint32_t FirstSector() const { return FFirst; }
  std::uint64_t SectorCount() const { return FBytes.size() / kSector; }
  const std::vector<std::uint8_t>& All() const { return FBytes; }
  // `length` bytes from the start of an absolute sector.
  Bytes At(std::uint64_t sector, std::uint64_t length) const;
  Bytes Sector(std::uint64_t sector) const { return At(sector, kSector); }

  // The descriptors from the session's sector 16 up to the terminator.
  std::vector<VolumeDescriptor> Descriptors() const;
  // One directory's records in recorded order, "." and ".." included.
  std::vector<DirRecord> Directory(std::uint32_t extent, std::uint32_t size) const;
  std::vector<PathRecord> PathTable(std::uint32_t sector, std::uint32_t size, bool bigEndian) const;

  struct Entry {
    std::string Path;  // "/"-joined names below the root
    DirRecord Record;
  };
  // Every entry below a root record: a directory's entries in recorded
  // order, then those of its subdirectories.
  std::vector<Entry> Tree(const DirRecord& root, bool joliet) const;

 private:
  std::vector<std::uint8_t> FBytes;
  std::uint32_t FFirst = 0;
};

}  // namespace testsupport::isoread
