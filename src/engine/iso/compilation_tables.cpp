#include "engine/iso/compilation_tables.h"

#include <algorithm>
#include <unordered_set>

#include "engine/iso/naming.h"

namespace iso {

CompilationTables::CompilationTables() { Reset(65535, 8191); }

void CompilationTables::Reset(std::uint32_t maxEntries, std::uint32_t maxDirs) {
  FFiles.clear();
  FDirs.clear();
  FDirByKey.clear();
  FMaxEntries = maxEntries;
  // Path-table records name their parent in 16 bits: more directories than
  // that cannot be described.
  FMaxDirs = std::clamp<std::uint32_t>(maxDirs, 1, 65535);
  auto root = std::make_unique<TDEntry>();
  root->IsoName = "CD_ROOT";
  root->LongName = "CD Root Directory";
  root->PathKey = "\\";
  root->Parent = root.get();
  root->Number = 1;
  FDirByKey.emplace(root->PathKey, root.get());
  FDirs.push_back(std::move(root));
}

TDEntry* CompilationTables::FindDirByKey(const std::string& upperKey) const {
  auto it = FDirByKey.find(upperKey);
  return it == FDirByKey.end() ? nullptr : it->second;
}

TFEntry* CompilationTables::FindEntry(const TDEntry& dir, const std::string& longName) const {
  auto it = dir.ByName.find(UpperKey(longName));
  return it == dir.ByName.end() ? nullptr : it->second;
}

TFEntry* CompilationTables::NewEntry(TDEntry& dir, const std::string& longName) {
  auto owned = std::make_unique<TFEntry>();
  TFEntry* e = owned.get();
  e->LongName = longName;
  e->Owner = &dir;
  if (dir.LastChild != nullptr)
    dir.LastChild->Next = e;
  else
    dir.FirstChild = e;
  dir.LastChild = e;
  // The first entry of a name stays the one found by lookup, as a scan of
  // the list would find it.
  dir.ByName.emplace(UpperKey(longName), e);
  FFiles.push_back(std::move(owned));
  return e;
}

TDEntry* CompilationTables::NewDir(TFEntry& entry, TDEntry& parent, const std::string& upperKey) {
  auto owned = std::make_unique<TDEntry>();
  TDEntry* d = owned.get();
  d->Parent = &parent;
  d->PathKey = upperKey;
  d->TableIndex = FDirs.size();
  entry.DirEntry = d;
  d->Self = &entry;
  FDirByKey.emplace(upperKey, d);
  FDirs.push_back(std::move(owned));
  return d;
}

void CompilationTables::Unlink(TFEntry& entry) {
  TDEntry& dir = *entry.Owner;
  TFEntry* prev = nullptr;
  for (TFEntry* e = dir.FirstChild; e != nullptr; prev = e, e = e->Next) {
    if (e != &entry) continue;
    (prev != nullptr ? prev->Next : dir.FirstChild) = e->Next;
    if (dir.LastChild == e) dir.LastChild = prev;
    break;
  }
  auto it = dir.ByName.find(UpperKey(entry.LongName));
  if (it != dir.ByName.end() && it->second == &entry) {
    dir.ByName.erase(it);
    // Another entry of the same name (possible through imports) takes over.
    for (TFEntry* e = dir.FirstChild; e != nullptr; e = e->Next)
      if (UpperKey(e->LongName) == UpperKey(entry.LongName)) {
        dir.ByName.emplace(UpperKey(e->LongName), e);
        break;
      }
  }
}

void CompilationTables::CollectSubtree(TDEntry& dir, std::vector<TFEntry*>& entries,
                                       std::vector<TDEntry*>& dirs) {
  // Iterative, so that a deep tree cannot exhaust the stack.
  std::vector<TDEntry*> todo{&dir};
  while (!todo.empty()) {
    TDEntry* d = todo.back();
    todo.pop_back();
    dirs.push_back(d);
    for (TFEntry* e = d->FirstChild; e != nullptr; e = e->Next) {
      entries.push_back(e);
      if (e->DirEntry != nullptr) todo.push_back(e->DirEntry);
    }
  }
}

void CompilationTables::Remove(TFEntry& entry) {
  Unlink(entry);
  std::vector<TFEntry*> entries{&entry};
  std::vector<TDEntry*> dirs;
  if (entry.DirEntry != nullptr) CollectSubtree(*entry.DirEntry, entries, dirs);

  // One pass over each table, so removing a large subtree stays linear.
  std::unordered_set<const void*> gone(entries.begin(), entries.end());
  gone.insert(dirs.begin(), dirs.end());
  for (TDEntry* d : dirs) FDirByKey.erase(d->PathKey);
  std::erase_if(FFiles, [&](const auto& f) { return gone.count(f.get()) != 0; });
  if (!dirs.empty()) {
    std::erase_if(FDirs, [&](const auto& d) { return gone.count(d.get()) != 0; });
    for (std::size_t i = 0; i < FDirs.size(); ++i) FDirs[i]->TableIndex = i;
  }
}

}  // namespace iso
