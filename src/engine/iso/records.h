#pragma once
// On-disc records of ISO 9660 (ECMA-119) and Joliet, built from the byte-order
// field types; every record has alignment 1 and a checked size.
#include <array>
#include <cstdint>

#include "base/byte_order.h"

namespace iso {

inline constexpr std::uint32_t kSectorSize = 2048;

// ECMA-119 9.1: directory record, without its identifier and padding.
struct DirRecordHead {
  std::uint8_t Length = 0;
  std::uint8_t ExtAttrLength = 0;
  base::Both32 Extent;
  base::Both32 DataLength;
  std::array<std::uint8_t, 7> Date{};  // ECMA-119 9.1.5
  std::uint8_t Flags = 0;
  std::uint8_t FileUnitSize = 0;
  std::uint8_t InterleaveGap = 0;
  base::Both16 VolumeSequence;
  std::uint8_t IdLength = 0;
};
static_assert(sizeof(DirRecordHead) == 33);

inline constexpr std::uint8_t kFlagHidden = 0x01;
inline constexpr std::uint8_t kFlagDirectory = 0x02;
// ECMA-119 9.1.6 bit 7: another record of the same file follows.
inline constexpr std::uint8_t kFlagMultiExtent = 0x80;

// One record's data length is 32 bits; larger files are split into extents
// of this many bytes (a whole number of sectors) and a last, shorter one.
inline constexpr std::uint64_t kMaxExtentBytes = 0xFFFFFFFFull - kSectorSize + 1;
inline constexpr std::uint64_t kMaxExtentSectors = kMaxExtentBytes / kSectorSize;
// Directory records a file of `size` bytes takes; a size that fits 32 bits
// keeps its single record.
constexpr std::uint64_t FileRecordCount(std::uint64_t size) {
  return size <= 0xFFFFFFFFull ? 1 : (size + kMaxExtentBytes - 1) / kMaxExtentBytes;
}

// ECMA-119 9.4: path table record head; L tables little-endian, M tables big-endian.
template <typename U32, typename U16>
struct PathTableHead {
  std::uint8_t IdLength = 0;
  std::uint8_t ExtAttrLength = 0;
  U32 Extent;
  U16 Parent;
};
using PathTableHeadL = PathTableHead<base::Le32, base::Le16>;
using PathTableHeadM = PathTableHead<base::Be32, base::Be16>;
static_assert(sizeof(PathTableHeadL) == 8 && sizeof(PathTableHeadM) == 8);

// ECMA-119 8.4 (primary) and 8.5 (supplementary, Joliet) volume descriptor.
struct VolumeDescriptor {
  std::uint8_t Type = 0;
  std::array<std::uint8_t, 5> StandardId{};
  std::uint8_t Version = 0;
  std::uint8_t Flags = 0;
  std::array<std::uint8_t, 32> SystemId{};
  std::array<std::uint8_t, 32> VolumeId{};
  std::array<std::uint8_t, 8> Unused72{};
  base::Both32 VolumeSpaceSize;
  std::array<std::uint8_t, 32> EscapeSequences{};
  base::Both16 VolumeSetSize;
  base::Both16 VolumeSequenceNumber;
  base::Both16 LogicalBlockSize;
  base::Both32 PathTableSize;
  base::Le32 LPathTable;
  base::Le32 LPathTableOptional;
  base::Be32 MPathTable;
  base::Be32 MPathTableOptional;
  std::array<std::uint8_t, 34> RootRecord{};
  std::array<std::uint8_t, 128> VolumeSetId{};
  std::array<std::uint8_t, 128> PublisherId{};
  std::array<std::uint8_t, 128> PreparerId{};
  std::array<std::uint8_t, 128> ApplicationId{};
  std::array<std::uint8_t, 37> CopyrightFile{};
  std::array<std::uint8_t, 37> AbstractFile{};
  std::array<std::uint8_t, 37> BibliographicFile{};
  std::array<std::uint8_t, 17> CreationDate{};
  std::array<std::uint8_t, 17> ModificationDate{};
  std::array<std::uint8_t, 17> ExpirationDate{};
  std::array<std::uint8_t, 17> EffectiveDate{};
  std::uint8_t FileStructureVersion = 0;
  std::array<std::uint8_t, 142> Reserved882{};
  std::array<std::uint8_t, 8> ApplicationUse{};
  std::array<std::uint8_t, 1016> Reserved1032{};
};
static_assert(sizeof(VolumeDescriptor) == kSectorSize);

// ECMA-119 8.3: volume descriptor set terminator (also the boot record's head).
struct DescriptorHead {
  std::uint8_t Type = 0;
  std::array<std::uint8_t, 5> StandardId{};
  std::uint8_t Version = 0;
};
static_assert(sizeof(DescriptorHead) == 7);

}  // namespace iso
