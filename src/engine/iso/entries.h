#pragma once
// Records of the compilation tree: one TDEntry per directory, one TFEntry per
// file or subdirectory inside a directory.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

namespace iso {

using TDateTime = double;  // days since 1899-12-30, local time

struct TFEntry;

// What only a few entries carry, kept out of line so that the common entry
// stays small.
struct TFEntryExtra {
  std::string JolietName;     // the Joliet identifier when the long name does not fit one
  std::string SymlinkTarget;  // a symbolic link recorded as a link
};

struct TDEntry {
  std::string IsoName;
  std::string LongName;
  std::int64_t IsoDirSize = 0;
  std::int64_t JolietDirSize = 0;
  std::string PathKey;
  std::int32_t IsoDirSector = 0;
  std::int32_t JolietDirSector = 0;
  std::int32_t Number = 0;
  TDEntry* Parent = nullptr;
  TFEntry* FirstChild = nullptr;

  // Kept beside the linked list so that appending and the per-directory
  // name lookup stay constant-time in directories of any size.
  TFEntry* LastChild = nullptr;
  std::unordered_map<std::string, TFEntry*> ByName;  // key: UpperKey(LongName)
  std::size_t TableIndex = 0;                         // position in the directory table
  TFEntry* Self = nullptr;                            // the parent's entry for this directory
};

struct TFEntry {
  std::string IsoName;
  std::string LongName;
  std::string SourcePath;
  bool Imported = false;
  TDateTime DateTime = 0;
  // Offset from UTC in 15-minute steps in force at DateTime, so that dates
  // from summer and winter both read back as the same instant.
  std::int8_t TimeZoneOffset = 0;
  std::int64_t RecordedSize = 0;
  std::int64_t SourceSize = 0;
  std::int32_t Extent = 0;
  std::int32_t JolietExtent = 0;
  std::uint32_t Attributes = 0;
  bool ClearArchive = false;
  // The "." that the add rule appends to a name without one; the Rock Ridge
  // name leaves it off. (Kept here, where it costs no room.)
  bool DotAdded = false;
  TDEntry* DirEntry = nullptr;
  TFEntry* Next = nullptr;

  TDEntry* Owner = nullptr;  // the directory whose list holds this entry
  bool IsDirectory() const { return DirEntry != nullptr; }

  // POSIX attributes for the Rock Ridge tree. Mode 0: not known, a default
  // from Attributes is recorded. Times in seconds since 1970 UTC, 0 when not
  // known (the recording date stands in).
  std::uint32_t Mode = 0;
  std::uint32_t Uid = 0;
  std::uint32_t Gid = 0;
  std::int64_t AccessTime = 0;
  std::int64_t ChangeTime = 0;
  std::unique_ptr<TFEntryExtra> Extra;
  bool IsSymlink() const { return Extra != nullptr && !Extra->SymlinkTarget.empty(); }
  const std::string& JolietName() const {
    return Extra != nullptr && !Extra->JolietName.empty() ? Extra->JolietName : LongName;
  }
  TFEntryExtra& MutableExtra() {
    if (Extra == nullptr) Extra = std::make_unique<TFEntryExtra>();
    return *Extra;
  }
  // A file copied from another disc: its data starts at this sector of the
  // burner's data disc instead of coming from SourcePath; -1 for others.
  std::int64_t DiscDataExtent = -1;
};

}  // namespace iso
