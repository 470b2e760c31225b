#include "engine/iso/layout.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "engine/iso/naming.h"
#include "engine/iso/records.h"
#include "engine/iso/rock_ridge.h"

namespace iso {
namespace {

constexpr std::uint64_t SectorsFor(std::uint64_t bytes) { return (bytes + kSectorSize - 1) / kSectorSize; }

// Path-table order: by depth, then parent number, then long name byte by byte.
std::vector<TDEntry*> NumberDirectories(const CompilationTables& tables) {
  std::vector<TDEntry*> order;
  order.reserve(tables.Dirs().size());
  TDEntry* root = tables.Root();
  root->Number = 1;
  order.push_back(root);
  std::vector<TDEntry*> children;
  // Walking the parents in number order yields the children grouped by depth
  // and parent number; only the siblings need sorting.
  for (std::size_t i = 0; i < order.size(); ++i) {
    children.clear();
    for (TFEntry* e = order[i]->FirstChild; e != nullptr; e = e->Next)
      if (e->DirEntry != nullptr) children.push_back(e->DirEntry);
    std::sort(children.begin(), children.end(),
              [](const TDEntry* a, const TDEntry* b) { return a->LongName < b->LongName; });
    for (TDEntry* c : children) {
      c->Number = static_cast<std::int32_t>(order.size() + 1);
      order.push_back(c);
    }
  }
  return order;
}

std::uint32_t PathTableSize(const std::vector<TDEntry*>& order, bool joliet) {
  std::uint64_t size = 10;
  for (std::size_t i = 1; i < order.size(); ++i) {
    const std::size_t n = joliet ? 2 * Utf16Length(JolietDirName(*order[i])) : order[i]->IsoName.size();
    size += 8 + n + (n % 2);
  }
  return static_cast<std::uint32_t>(size);
}

// Moves the directories that would sit deeper than the ISO tree allows into
// a folder in the root; null when none does.
std::shared_ptr<Relocation> PlanRelocation(const CompilationTables& tables, const std::vector<TDEntry*>& order) {
  const auto& dirs = tables.Dirs();
  std::vector<int> level(dirs.size(), 1);
  std::vector<TDEntry*> moved;
  for (std::size_t i = 1; i < order.size(); ++i) {
    TDEntry* d = order[i];
    int l = level[d->Parent->TableIndex] + 1;
    if (l > kMaxIsoLevels) {
      moved.push_back(d);
      l = 3;  // root, folder, the moved directory
    }
    level[d->TableIndex] = l;
  }
  if (moved.empty()) return nullptr;

  auto r = std::make_shared<Relocation>();
  TDEntry* root = tables.Root();
  // A name no entry of the root has, in either form.
  std::string name = "rr_moved";
  for (unsigned k = 1;; ++k) {
    const std::string upper = UpperKey(name);
    bool taken = false;
    for (const TFEntry* e = root->FirstChild; e != nullptr && !taken; e = e->Next)
      taken = e->IsoName == upper || UpperKey(e->LongName) == upper;
    if (!taken) break;
    name = "rr_moved_" + std::to_string(k);
  }
  r->FolderEntry.IsoName = UpperKey(name);
  r->FolderEntry.LongName = name;
  r->FolderEntry.DirEntry = &r->Folder;
  r->FolderEntry.Owner = root;
  r->Folder.IsoName = r->FolderEntry.IsoName;
  r->Folder.LongName = name;
  r->Folder.PathKey = "\\" + UpperKey(name);
  r->Folder.Parent = root;
  // No Self: its own records take the defaults and the header's date.
  r->Folder.TableIndex = dirs.size();

  // Directories of one name from different parents meet in the folder.
  std::unordered_set<std::string> taken;
  std::vector<std::pair<std::string, TDEntry*>> named;
  named.reserve(moved.size());
  for (TDEntry* d : moved) {
    std::string n = d->IsoName;
    for (std::uint64_t k = 1; !taken.insert(n).second; ++k) {
      const std::string suffix = "_" + std::to_string(k);
      n = CutUtf8(d->IsoName, kMaxRockRidgeIsoIdentifier - suffix.size()) + suffix;
    }
    named.emplace_back(std::move(n), d);
  }
  std::sort(named.begin(), named.end());
  r->MovedSlot.assign(dirs.size(), -1);
  for (auto& [n, d] : named) {
    r->MovedSlot[d->TableIndex] = static_cast<std::int32_t>(r->Moved.size());
    r->Moved.push_back(d);
    r->MovedNames.push_back(std::move(n));
  }

  // The ISO path table: by level, then parent number, then name, as for the
  // whole tree, over the tree as the ISO records give it.
  r->IsoNumber.assign(dirs.size() + 1, 0);
  auto& iso = r->IsoPathOrder;
  iso.reserve(dirs.size() + 1);
  iso.push_back(root);
  r->IsoNumber[root->TableIndex] = 1;
  std::vector<TDEntry*> children;
  for (std::size_t i = 0; i < iso.size(); ++i) {
    TDEntry* d = iso[i];
    if (d == &r->Folder) {
      children = r->Moved;
    } else {
      children.clear();
      for (TFEntry* e = d->FirstChild; e != nullptr; e = e->Next)
        if (e->DirEntry != nullptr && !r->IsMoved(*e->DirEntry)) children.push_back(e->DirEntry);
      if (d == root) children.push_back(&r->Folder);
      std::sort(children.begin(), children.end(),
                [](const TDEntry* a, const TDEntry* b) { return a->LongName < b->LongName; });
    }
    for (TDEntry* c : children) {
      r->IsoNumber[c->TableIndex] = static_cast<std::int32_t>(iso.size() + 1);
      iso.push_back(c);
    }
  }
  return r;
}

std::uint32_t IsoPathTableSize(const Relocation& r) {
  std::uint64_t size = 10;
  for (std::size_t i = 1; i < r.IsoPathOrder.size(); ++i) {
    const std::size_t n = r.IsoName(*r.IsoPathOrder[i]).size();
    size += 8 + n + (n % 2);
  }
  return static_cast<std::uint32_t>(size);
}

// Records never cross a sector boundary; the size is every sector touched.
template <typename LengthOf>
std::int64_t DirectorySize(const TDEntry& dir, LengthOf lengthOf) {
  std::uint64_t sectors = 1;
  std::uint64_t used = 2 * RecordLength(1);  // "." and ".."
  for (const TFEntry* e = dir.FirstChild; e != nullptr; e = e->Next) {
    const std::size_t len = RecordLength(lengthOf(*e));
    const std::uint64_t records =
        e->IsDirectory() ? 1 : FileRecordCount(static_cast<std::uint64_t>(std::max<std::int64_t>(e->RecordedSize, 0)));
    for (std::uint64_t r = 0; r < records; ++r) {
      if (used + len > kSectorSize) {
        ++sectors;
        used = 0;
      }
      used += len;
    }
  }
  return static_cast<std::int64_t>(sectors * kSectorSize);
}

// The ISO tree's directory with Rock Ridge: every record carries its system
// use entries, the overflow placed in `area` in the order the header writes.
std::int64_t RockRidgeDirectorySize(const TDEntry& dir, bool isRoot, const Relocation* reloc, ContinuationArea& area) {
  std::uint64_t sectors = 1;
  std::uint64_t used = 0;
  std::vector<std::uint8_t> su, inRecord;
  std::vector<std::size_t> ends;
  auto add = [&](std::size_t idLength, const RockRidgeRecord& r) {
    // Most records keep all their entries: their length is known without
    // building them. The others are built, so that the continuation area
    // grows exactly as the header will fill it.
    std::size_t suLength = QuickRockRidgeLength(r);
    if (suLength == 0 || suLength > SystemUseRoom(idLength)) {
      su.clear();
      ends.clear();
      AppendRockRidge(r, su, ends);
      area.Place(su, ends, SystemUseRoom(idLength), inRecord);
      suLength = inRecord.size();
    }
    std::size_t len = RecordLength(idLength) + suLength;
    len += len % 2;
    if (used + len > kSectorSize) {
      ++sectors;
      used = 0;
    }
    used += len;
  };
  RockRidgeRecord dot;
  dot.Kind = RecordKind::Dot;
  dot.Dir = &dir;
  dot.RootDot = isRoot;
  add(1, dot);
  RockRidgeRecord dotdot;
  dotdot.Kind = RecordKind::DotDot;
  dotdot.Dir = dir.Parent;
  dotdot.HasParentLink = reloc != nullptr && reloc->IsMoved(dir);
  add(1, dotdot);
  ForEachIsoRecord(dir, reloc, [&](const IsoRecord& rec) {
    const TFEntry* e = rec.Entry;
    RockRidgeRecord r;
    r.Entry = e;
    r.HasChildLink = rec.Placeholder;
    r.Relocated = rec.Relocated;
    const std::uint64_t records =
        e->IsDirectory() ? 1 : FileRecordCount(static_cast<std::uint64_t>(std::max<std::int64_t>(e->RecordedSize, 0)));
    const std::size_t idLength = rec.Name->size() + (e->IsDirectory() ? 0 : 2);
    for (std::uint64_t i = 0; i < records; ++i) add(idLength, r);
  });
  return static_cast<std::int64_t>(sectors * kSectorSize);
}

}  // namespace

// Names that differ only in case (two files a Linux folder may hold) share
// one upper-case name: each record must name one file.
void MakeIsoNamesUnique(const CompilationTables& tables) {
  std::unordered_set<std::string> taken;
  for (const auto& d : tables.Dirs()) {
    taken.clear();
    bool clash = false;
    for (const TFEntry* e = d->FirstChild; e != nullptr && !clash; e = e->Next) clash = !taken.insert(e->IsoName).second;
    if (!clash) continue;
    taken.clear();
    std::vector<TFEntry*> renamed;
    for (TFEntry* e = d->FirstChild; e != nullptr; e = e->Next)
      if (!taken.insert(e->IsoName).second) renamed.push_back(e);
    for (TFEntry* e : renamed) {
      const std::size_t dot = e->IsDirectory() ? std::string::npos : e->IsoName.rfind('.');
      const std::string ext = dot == std::string::npos ? std::string() : e->IsoName.substr(dot);
      const std::string base = dot == std::string::npos ? e->IsoName : e->IsoName.substr(0, dot);
      const std::size_t room = kMaxIsoIdentifierBytes - 2;
      for (std::uint64_t n = 1;; ++n) {
        const std::string suffix = "_" + std::to_string(n) + ext;
        const std::string candidate = CutUtf8(base, room > suffix.size() ? room - suffix.size() : 0) + suffix;
        if (taken.insert(candidate).second) {
          e->IsoName = candidate;
          if (e->DirEntry != nullptr) e->DirEntry->IsoName = candidate;
          break;
        }
      }
    }
  }
}

void AssignShortenedNames(CompilationTables& tables, bool rockRidge) {
  std::unordered_set<std::string> isoNames, jolietNames;
  for (const auto& d : tables.Dirs()) {
    auto isoTooLong = [rockRidge](const TFEntry& e) {
      return rockRidge && IsoIdentifierLength(e) > kMaxRockRidgeIsoIdentifier;
    };
    auto jolietTooLong = [](const TFEntry& e) { return Utf16Length(e.JolietName()) > kMaxLongFileName; };
    bool any = false;
    for (const TFEntry* e = d->FirstChild; e != nullptr && !any; e = e->Next) any = isoTooLong(*e) || jolietTooLong(*e);
    if (!any) continue;
    isoNames.clear();
    jolietNames.clear();
    for (const TFEntry* e = d->FirstChild; e != nullptr; e = e->Next) {
      isoNames.insert(e->IsoName);
      jolietNames.insert(UpperKey(e->JolietName()));
    }
    for (TFEntry* e = d->FirstChild; e != nullptr; e = e->Next) {
      if (isoTooLong(*e)) {
        const std::size_t max = kMaxRockRidgeIsoIdentifier - (e->IsDirectory() ? 0 : 2);
        std::string name;
        for (unsigned k = 1; name.empty() || isoNames.count(name) != 0; ++k) name = ShortenedName(e->IsoName, max, false, k);
        isoNames.insert(name);
        e->IsoName = name;
        if (e->DirEntry != nullptr) e->DirEntry->IsoName = name;
      }
      if (jolietTooLong(*e)) {
        std::string name;
        for (unsigned k = 1; name.empty() || jolietNames.count(UpperKey(name)) != 0; ++k)
          name = ShortenedName(e->LongName, kMaxLongFileName, true, k);
        jolietNames.insert(UpperKey(name));
        e->MutableExtra().JolietName = name;
      }
    }
  }
}

std::size_t IsoIdentifierLength(const TFEntry& e) {
  return e.IsDirectory() ? e.IsoName.size() : e.IsoName.size() + 2;
}

std::size_t JolietIdentifierLength(const TFEntry& e) {
  const std::size_t units = Utf16Length(e.JolietName());
  return 2 * (units + (!e.IsDirectory() && JolietVersionFits(units) ? 2 : 0));
}

SessionLayout ComputeLayout(CompilationTables& tables, const LayoutOptions& options) {
  MakeIsoNamesUnique(tables);
  SessionLayout l;
  l.Options = options;
  l.SessionStart = options.SessionStart;
  AssignShortenedNames(tables, options.RockRidge);
  l.PathOrder = NumberDirectories(tables);
  if (options.RockRidge) l.Relocated = PlanRelocation(tables, l.PathOrder);
  const Relocation* reloc = l.Relocated.get();

  std::uint64_t isoDirSectors = 0;
  std::uint64_t jolietDirSectors = 0;
  ContinuationArea area(0, nullptr);
  for (const auto& d : tables.Dirs()) {
    d->IsoDirSize = options.RockRidge ? RockRidgeDirectorySize(*d, d.get() == tables.Root(), reloc, area)
                                      : DirectorySize(*d, IsoIdentifierLength);
    d->IsoDirSector = static_cast<std::int32_t>(isoDirSectors);
    isoDirSectors += static_cast<std::uint64_t>(d->IsoDirSize) / kSectorSize;
    if (options.Joliet) {
      d->JolietDirSize = DirectorySize(*d, JolietIdentifierLength);
      d->JolietDirSector = static_cast<std::int32_t>(jolietDirSectors);
      jolietDirSectors += static_cast<std::uint64_t>(d->JolietDirSize) / kSectorSize;
    } else {
      d->JolietDirSize = 0;
      d->JolietDirSector = 0;
    }
  }

  if (reloc != nullptr) {
    // The folder's directory comes after all others, in the order the header writes.
    TDEntry& folder = l.Relocated->Folder;
    folder.IsoDirSize = RockRidgeDirectorySize(folder, false, reloc, area);
    folder.IsoDirSector = static_cast<std::int32_t>(isoDirSectors);
    isoDirSectors += static_cast<std::uint64_t>(folder.IsoDirSize) / kSectorSize;
    l.Relocated->FolderEntry.RecordedSize = folder.IsoDirSize;
    l.Relocated->FolderEntry.Extent = folder.IsoDirSector;
  }

  std::uint64_t next = static_cast<std::uint64_t>(l.SessionStart) + 16;
  auto take = [&next](std::uint64_t count) {
    const auto at = static_cast<std::uint32_t>(next);
    next += count;
    return at;
  };
  l.PrimarySector = take(1);
  if (options.Bootable) l.BootRecordSector = take(1);
  if (options.Joliet) l.JolietSector = take(1);
  l.TerminatorSector = take(1);

  l.IsoPathTableSize = reloc != nullptr ? IsoPathTableSize(*reloc) : PathTableSize(l.PathOrder, false);
  l.IsoLPathSector = take(SectorsFor(l.IsoPathTableSize));
  l.IsoMPathSector = take(SectorsFor(l.IsoPathTableSize));
  if (options.Joliet) {
    l.JolietPathTableSize = PathTableSize(l.PathOrder, true);
    l.JolietLPathSector = take(SectorsFor(l.JolietPathTableSize));
    l.JolietMPathSector = take(SectorsFor(l.JolietPathTableSize));
  }
  l.IsoDirStart = take(isoDirSectors);
  if (options.RockRidge) {
    l.ContinuationSectors = static_cast<std::uint32_t>(area.Sectors());
    l.ContinuationStart = take(l.ContinuationSectors);
  }
  if (options.Joliet) l.JolietDirStart = take(jolietDirSectors);
  if (options.Bootable) {
    l.BootCatalogSector = take(1);
    l.BootImageSectors = options.BootImageSectors;
    l.BootImageSector = take(options.BootImageSectors);
  }
  if (next < 150) {
    l.PaddingSectors = static_cast<std::uint32_t>(150 - next);
    next = 150;
  }
  l.FirstFileSector = static_cast<std::uint32_t>(next);

  std::uint64_t fileSectors = 0;
  for (const auto& f : tables.Files()) {
    TFEntry& e = *f;
    if (e.DirEntry != nullptr) {
      e.Extent = e.DirEntry->IsoDirSector;
      e.JolietExtent = e.DirEntry->JolietDirSector;
      e.RecordedSize = e.DirEntry->IsoDirSize;
      e.SourceSize = e.DirEntry->JolietDirSize;
    } else if (e.Imported) {
      continue;
    } else if (e.RecordedSize == 0) {
      e.Extent = e.JolietExtent = 0;
    } else {
      e.Extent = e.JolietExtent = static_cast<std::int32_t>(fileSectors);
      fileSectors += SectorsFor(static_cast<std::uint64_t>(e.RecordedSize));
    }
  }
  l.FileSectors = fileSectors;
  l.VolumeSpaceSize = l.FirstFileSector + fileSectors;
  l.SectorsToWrite = l.VolumeSpaceSize - l.SessionStart;
  return l;
}

}  // namespace iso
