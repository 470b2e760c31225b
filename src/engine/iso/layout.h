#pragma once
// Directory numbering and sector assignment: where every descriptor, path
// table, directory and file lands.
#include <cstdint>
#include <memory>
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

// ECMA-119 allows eight levels of directories. With Rock Ridge, a directory
// that would sit deeper has its ISO record moved to a folder in the root; a
// placeholder file at its place carries CL, its ".." a PL, and Rock Ridge
// readers put it back. Joliet keeps the tree as it is.
inline constexpr int kMaxIsoLevels = 8;

struct Relocation {
  TFEntry FolderEntry;               // the folder's record in the root (RE: hidden)
  TDEntry Folder;                    // only in the ISO tree; TableIndex one past the tables'
  std::vector<TDEntry*> Moved;       // the folder's records, in this order
  std::vector<std::string> MovedNames;     // their ISO names inside the folder
  std::vector<std::int32_t> MovedSlot;     // by table index: index in Moved, -1 when in place
  std::vector<std::int32_t> IsoNumber;     // by table index (the folder's last): ISO path table number
  std::vector<TDEntry*> IsoPathOrder;      // the ISO path table's order

  bool IsMoved(const TDEntry& d) const { return d.TableIndex < MovedSlot.size() && MovedSlot[d.TableIndex] >= 0; }
  const TDEntry& IsoParent(const TDEntry& d) const { return IsMoved(d) ? Folder : *d.Parent; }
  const std::string& IsoName(const TDEntry& d) const {
    return IsMoved(d) ? MovedNames[static_cast<std::size_t>(MovedSlot[d.TableIndex])] : d.IsoName;
  }
  std::int32_t Number(const TDEntry& d) const { return IsoNumber[d.TableIndex]; }
};

// One record of a directory in the ISO tree.
struct IsoRecord {
  const TFEntry* Entry = nullptr;
  const std::string* Name = nullptr;  // without ";1"
  bool Placeholder = false;           // a moved directory's place: a file with CL
  bool Relocated = false;             // RE: hidden from Rock Ridge readers
};

// The records of `dir` in the ISO tree, in the order they are written;
// `r` is null when nothing is moved.
template <typename F>
void ForEachIsoRecord(const TDEntry& dir, const Relocation* r, F f) {
  if (r != nullptr && &dir == &r->Folder) {
    for (const TDEntry* m : r->Moved) f(IsoRecord{m->Self, &r->IsoName(*m), false, true});
    return;
  }
  for (const TFEntry* e = dir.FirstChild; e != nullptr; e = e->Next)
    f(IsoRecord{e, &e->IsoName, r != nullptr && e->DirEntry != nullptr && r->IsMoved(*e->DirEntry), false});
  if (r != nullptr && &dir == r->Folder.Parent) f(IsoRecord{&r->FolderEntry, &r->FolderEntry.IsoName, false, true});
}

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
  // Set when Rock Ridge is on and some directory is deeper than the ISO
  // tree allows; the ISO tree then differs from the Joliet one.
  std::shared_ptr<Relocation> Relocated;
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
