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
std::int64_t RockRidgeDirectorySize(const TDEntry& dir, bool isRoot, ContinuationArea& area) {
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
  add(1, dotdot);
  for (const TFEntry* e = dir.FirstChild; e != nullptr; e = e->Next) {
    RockRidgeRecord r;
    r.Entry = e;
    const std::uint64_t records =
        e->IsDirectory() ? 1 : FileRecordCount(static_cast<std::uint64_t>(std::max<std::int64_t>(e->RecordedSize, 0)));
    for (std::uint64_t i = 0; i < records; ++i) add(IsoIdentifierLength(*e), r);
  }
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

  std::uint64_t isoDirSectors = 0;
  std::uint64_t jolietDirSectors = 0;
  ContinuationArea area(0, nullptr);
  for (const auto& d : tables.Dirs()) {
    d->IsoDirSize = options.RockRidge ? RockRidgeDirectorySize(*d, d.get() == tables.Root(), area)
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

  l.IsoPathTableSize = PathTableSize(l.PathOrder, false);
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
