#pragma once
// The engine tables: every TFEntry and TDEntry in order of creation, with the
// indexes that keep lookups constant-time (path key -> directory, and per
// directory upper-cased long name -> entry).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/iso/entries.h"

namespace iso {

class CompilationTables {
 public:
  CompilationTables();

  // Frees every record and leaves only the root.
  void Reset(std::uint32_t maxEntries, std::uint32_t maxDirs);

  TDEntry* Root() const { return FDirs.front().get(); }
  std::uint32_t MaxEntries() const { return FMaxEntries; }
  std::uint32_t MaxDirs() const { return FMaxDirs; }
  bool EntriesFull() const { return FFiles.size() >= FMaxEntries; }
  bool DirsFull() const { return FDirs.size() >= FMaxDirs; }

  const std::vector<std::unique_ptr<TFEntry>>& Files() const { return FFiles; }
  const std::vector<std::unique_ptr<TDEntry>>& Dirs() const { return FDirs; }

  // Key as built by JoinKey, already upper-cased; "\" is the root.
  TDEntry* FindDirByKey(const std::string& upperKey) const;
  // The entry of that long name in the directory, compared without case.
  TFEntry* FindEntry(const TDEntry& dir, const std::string& longName) const;

  // Appends a new entry at the end of dir's list and of the file table.
  TFEntry* NewEntry(TDEntry& dir, const std::string& longName);
  // Creates a directory record for a subdirectory entry made by NewEntry.
  TDEntry* NewDir(TFEntry& entry, TDEntry& parent, const std::string& upperKey);

  // Removes one entry (and, for a subdirectory, its whole subtree) from every
  // table, closing the gaps.
  void Remove(TFEntry& entry);

 private:
  void CollectSubtree(TDEntry& dir, std::vector<TFEntry*>& entries, std::vector<TDEntry*>& dirs);
  void Unlink(TFEntry& entry);

  std::vector<std::unique_ptr<TFEntry>> FFiles;
  std::vector<std::unique_ptr<TDEntry>> FDirs;
  std::unordered_map<std::string, TDEntry*> FDirByKey;
  std::uint32_t FMaxEntries = 0;
  std::uint32_t FMaxDirs = 0;
};

}  // namespace iso
