#pragma once
// Directory numbering and sector assignment: where every descriptor, path
// table, directory and file lands.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/iso/compilation_tables.h"

namespace iso {

// Gives the later of names that share one ISO 9660 identifier in a folder
// (names that differ only in case) "_N" before the extension; Joliet keeps
// the names as they are. ComputeLayout does it too.
void MakeIsoNamesUnique(const CompilationTables& tables);

struct LayoutOptions {
  bool Joliet = true;
  bool RockRidge = false;
  bool Bootable = false;
  std::uint32_t BootImageSectors = 0;
  std::uint32_t SessionStart = 0;
};

struct SessionLayout {
  LayoutOptions Options;
  std::uint32_t SessionStart = 0;
  std::uint32_t PrimarySector = 0;
  std::uint32_t BootRecordSector = 0;  // 0 when not bootable
  std::uint32_t JolietSector = 0;      // 0 without Joliet
  std::uint32_t TerminatorSector = 0;
  std::uint32_t IsoLPathSector = 0;
  std::uint32_t IsoMPathSector = 0;
  std::uint32_t JolietLPathSector = 0;
  std::uint32_t JolietMPathSector = 0;
  std::uint32_t IsoPathTableSize = 0;
  std::uint32_t JolietPathTableSize = 0;
  std::uint32_t IsoDirStart = 0;
  std::uint32_t JolietDirStart = 0;
  // Rock Ridge continuation areas, right after the ISO directory area.
  std::uint32_t ContinuationStart = 0;
  std::uint32_t ContinuationSectors = 0;
  std::uint32_t BootCatalogSector = 0;
  std::uint32_t BootImageSector = 0;
  std::uint32_t BootImageSectors = 0;
  std::uint32_t PaddingSectors = 0;
  std::uint32_t FirstFileSector = 0;
  std::uint64_t FileSectors = 0;
  std::uint64_t VolumeSpaceSize = 0;
  std::uint64_t SectorsToWrite = 0;
  // Directories in path-table order (index 0 is the root, number 1).
  std::vector<TDEntry*> PathOrder;
};

// Identifier lengths in bytes, as recorded.
std::size_t IsoIdentifierLength(const TFEntry& e);
std::size_t JolietIdentifierLength(const TFEntry& e);
// Bytes of one directory record with an identifier of n bytes.
constexpr std::size_t RecordLength(std::size_t n) { return 33 + n + (n % 2 == 0 ? 1 : 0); }

// The Joliet identifier of a directory (without its parent's entry: the root).
inline const std::string& JolietDirName(const TDEntry& d) {
  return d.Self != nullptr ? d.Self->JolietName() : d.LongName;
}

// Room for system use entries in a record with an identifier of n bytes,
// keeping the record's length even and within one byte.
constexpr std::size_t SystemUseRoom(std::size_t n) { return 254 - RecordLength(n); }

// With Rock Ridge, names that do not fit the ISO or Joliet identifiers get
// shortened, distinct ones; their whole names live in Rock Ridge.
// Joliet names are shortened in any case (only Rock Ridge admits such names).
void AssignShortenedNames(CompilationTables& tables, bool rockRidge);

// Numbers the directories, sizes them, assigns every sector and the files'
// extents. Changes the numbering, sizes and extents in the tables.
SessionLayout ComputeLayout(CompilationTables& tables, const LayoutOptions& options);

}  // namespace iso
