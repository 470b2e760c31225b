#pragma once
// Directory numbering and sector assignment: where every descriptor, path
// table, directory and file lands.
#include <cstdint>
#include <vector>

#include "engine/iso/compilation_tables.h"

namespace iso {

// Gives the later of names that share one ISO 9660 identifier in a folder
// (names that differ only in case) "_N" before the extension; Joliet keeps
// the names as they are. ComputeLayout does it too.
void MakeIsoNamesUnique(const CompilationTables& tables);

struct LayoutOptions {
  bool Joliet = true;
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

// Numbers the directories, sizes them, assigns every sector and the files'
// extents. Changes the numbering, sizes and extents in the tables.
SessionLayout ComputeLayout(CompilationTables& tables, const LayoutOptions& options);

}  // namespace iso
