#include "engine/iso/header.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>

#include "base/span_io.h"
#include "engine/iso/date_time.h"
#include "engine/iso/naming.h"
#include "engine/iso/records.h"
#include "engine/iso/rock_ridge.h"

namespace iso {
namespace {

enum class Tree { Iso, Joliet };

template <std::size_t N>
void IsoText(std::array<std::uint8_t, N>& field, const std::string& text) {
  base::PutPaddedText(field, CutUtf8(UpperKey(text), N));
}

// Joliet text: UCS-2 big-endian, padded with UCS-2 spaces to `chars`.
template <std::size_t N>
void JolietText(std::array<std::uint8_t, N>& field, const std::string& text, std::size_t chars) {
  const auto ucs = ToUcs2Be(text);
  for (std::size_t i = 0; i < chars * 2; i += 2) {
    field[i] = i < ucs.size() ? ucs[i] : 0x00;
    field[i + 1] = i < ucs.size() ? ucs[i + 1] : 0x20;
  }
}

void SetId(std::array<std::uint8_t, 5>& id) { std::memcpy(id.data(), "CD001", 5); }

std::vector<std::uint8_t> RootRecordBytes(std::uint32_t extent, std::int64_t size) {
  DirRecordHead h;
  h.Length = 34;
  h.Extent.Set(extent);
  h.DataLength.Set(static_cast<std::uint32_t>(size));
  h.Flags = kFlagDirectory;
  h.VolumeSequence.Set(1);
  h.IdLength = 1;
  std::vector<std::uint8_t> out;
  base::ByteWriter w(out);
  w.Put(h);
  w.PutU8(0);
  return out;
}

VolumeDescriptor MakeDescriptor(const HeaderInput& in, Tree tree) {
  const SessionLayout& l = *in.Layout;
  const VolumeIdentifiers& ids = in.Ids;
  const TDEntry& root = *in.Tables->Root();
  VolumeDescriptor d;
  const bool joliet = tree == Tree::Joliet;
  d.Type = joliet ? 2 : 1;
  SetId(d.StandardId);
  d.Version = 1;
  if (joliet) {
    JolietText(d.SystemId, ids.System, 16);
    JolietText(d.VolumeId, ids.Volume, 16);
    JolietText(d.VolumeSetId, ids.VolumeSet, 64);
    JolietText(d.PublisherId, ids.Publisher, 64);
    JolietText(d.PreparerId, ids.Preparer, 64);
    JolietText(d.ApplicationId, ids.Application, 64);
    JolietText(d.CopyrightFile, ids.CopyrightFile, 18);
    JolietText(d.AbstractFile, ids.AbstractFile, 18);
    JolietText(d.BibliographicFile, ids.BibliographicFile, 18);
  } else {
    IsoText(d.SystemId, ids.System);
    IsoText(d.VolumeId, ids.Volume);
    IsoText(d.VolumeSetId, ids.VolumeSet);
    IsoText(d.PublisherId, ids.Publisher);
    IsoText(d.PreparerId, ids.Preparer);
    IsoText(d.ApplicationId, ids.Application);
    IsoText(d.CopyrightFile, ids.CopyrightFile);
    IsoText(d.AbstractFile, ids.AbstractFile);
    IsoText(d.BibliographicFile, ids.BibliographicFile);
  }
  d.VolumeSpaceSize.Set(static_cast<std::uint32_t>(l.VolumeSpaceSize));
  if (joliet) {
    // Joliet UCS-2 level 1 escape sequence. ECMA-119 leaves this field unused
    // in the primary descriptor, and readers that find the sequence there
    // take the ISO tree for the Joliet one.
    d.EscapeSequences[0] = 0x25;
    d.EscapeSequences[1] = 0x2F;
    d.EscapeSequences[2] = 0x40;
  }
  d.VolumeSetSize.Set(1);
  d.VolumeSequenceNumber.Set(1);
  d.LogicalBlockSize.Set(kSectorSize);
  d.PathTableSize.Set(joliet ? l.JolietPathTableSize : l.IsoPathTableSize);
  d.LPathTable.Set(joliet ? l.JolietLPathSector : l.IsoLPathSector);
  d.MPathTable.Set(joliet ? l.JolietMPathSector : l.IsoMPathSector);
  const auto rootRecord = joliet ? RootRecordBytes(l.JolietDirStart, root.JolietDirSize)
                                 : RootRecordBytes(l.IsoDirStart, root.IsoDirSize);
  std::copy(rootRecord.begin(), rootRecord.end(), d.RootRecord.begin());
  if (joliet) {
    d.CreationDate = DescriptorDate(DecodeDateTime(ids.JolietCreation).value_or(platform::CivilTime{}));
    d.ModificationDate = DescriptorDate(DecodeDateTime(ids.JolietModification).value_or(platform::CivilTime{}));
    d.ExpirationDate = {};
    d.EffectiveDate = {};
  } else {
    d.CreationDate = DescriptorDate(in.Now);
    d.ModificationDate = DescriptorDate(in.NowAgain);
    std::memset(d.ExpirationDate.data(), '0', 16);
    std::memset(d.EffectiveDate.data(), '0', 16);
  }
  d.FileStructureVersion = 1;
  d.ApplicationUse.fill(0x20);
  return d;
}

void PutPathTable(base::ByteWriter& w, const HeaderInput& in, Tree tree, bool bigEndian) {
  const SessionLayout& l = *in.Layout;
  const bool joliet = tree == Tree::Joliet;
  const std::uint32_t area = joliet ? l.JolietDirStart : l.IsoDirStart;
  // Moved directories make the ISO tree's table its own.
  const Relocation* reloc = joliet ? nullptr : l.Relocated.get();
  const auto& order = reloc != nullptr ? reloc->IsoPathOrder : l.PathOrder;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const TDEntry& d = *order[i];
    std::vector<std::uint8_t> id;
    if (i == 0)
      id = {0};
    else if (joliet)
      id = ToUcs2Be(JolietDirName(d));
    else if (reloc != nullptr)
      id.assign(reloc->IsoName(d).begin(), reloc->IsoName(d).end());
    else
      id.assign(d.IsoName.begin(), d.IsoName.end());
    const auto extent = area + static_cast<std::uint32_t>(joliet ? d.JolietDirSector : d.IsoDirSector);
    const auto parentNumber = i == 0 ? 1 : reloc != nullptr ? reloc->Number(reloc->IsoParent(d)) : d.Parent->Number;
    const auto parent = static_cast<std::uint16_t>(parentNumber);
    const auto n = static_cast<std::uint8_t>(id.size());
    if (bigEndian) {
      PathTableHeadM h;
      h.IdLength = n;
      h.Extent.Set(extent);
      h.Parent.Set(parent);
      w.Put(h);
    } else {
      PathTableHeadL h;
      h.IdLength = n;
      h.Extent.Set(extent);
      h.Parent.Set(parent);
      w.Put(h);
    }
    w.PutBytes(id);
    if (id.size() % 2 == 1) w.PutU8(0);
  }
  w.PadTo(kSectorSize);
}

class RecordWriter {
 public:
  explicit RecordWriter(base::ByteWriter& w) : FW(w) {}

  void Put(std::uint32_t extent, std::uint32_t size, const std::array<std::uint8_t, 7>& date,
           std::uint8_t flags, std::span<const std::uint8_t> id, std::span<const std::uint8_t> su = {}) {
    std::size_t len = RecordLength(id.size()) + su.size();
    len += len % 2;
    // A record never crosses a sector boundary.
    if (FW.Size() % kSectorSize + len > kSectorSize) FW.PadTo(kSectorSize);
    DirRecordHead h;
    h.Length = static_cast<std::uint8_t>(len);
    h.Extent.Set(extent);
    h.DataLength.Set(size);
    h.Date = date;
    h.Flags = flags;
    h.VolumeSequence.Set(1);
    h.IdLength = static_cast<std::uint8_t>(id.size());
    FW.Put(h);
    FW.PutBytes(id);
    if (id.size() % 2 == 0) FW.PutU8(0);
    FW.PutBytes(su);
    if (su.size() % 2 == 1) FW.PutU8(0);
  }

 private:
  base::ByteWriter& FW;
};

// What the ISO tree's records need for their Rock Ridge entries.
struct RockRidgeState {
  ContinuationArea* Area = nullptr;
  std::vector<std::uint32_t> Links;  // by directory table index
  std::uint32_t NextFileSerial = 0;
  std::vector<std::uint8_t> Su, InRecord;
  std::vector<std::size_t> Ends;

  std::span<const std::uint8_t> Entries(const RockRidgeRecord& r, std::size_t idLength) {
    Su.clear();
    Ends.clear();
    AppendRockRidge(r, Su, Ends);
    if (Su.size() <= SystemUseRoom(idLength)) return Su;  // all of it stays in the record
    Area->Place(Su, Ends, SystemUseRoom(idLength), InRecord);
    return InRecord;
  }
};

base::Status PutDirectory(base::ByteWriter& w, const HeaderInput& in, const TDEntry& dir, Tree tree,
                          const std::array<std::uint8_t, 7>& now, RockRidgeState* rr) {
  const SessionLayout& l = *in.Layout;
  const bool joliet = tree == Tree::Joliet;
  const Relocation* reloc = rr != nullptr ? l.Relocated.get() : nullptr;
  const std::uint32_t area = joliet ? l.JolietDirStart : l.IsoDirStart;
  auto dirExtent = [&](const TDEntry& d) {
    return area + static_cast<std::uint32_t>(joliet ? d.JolietDirSector : d.IsoDirSector);
  };
  auto dirSize = [&](const TDEntry& d) {
    return static_cast<std::uint32_t>(joliet ? d.JolietDirSize : d.IsoDirSize);
  };
  const std::size_t start = w.Size();
  RecordWriter rw(w);
  const std::uint8_t dot[] = {0};
  const std::uint8_t dotdot[] = {1};
  const bool isRoot = &dir == in.Tables->Root();
  const bool moved = reloc != nullptr && reloc->IsMoved(dir);
  auto dirRecord = [&](RecordKind kind, const TDEntry& d) {
    RockRidgeRecord r;
    r.Kind = kind;
    r.Dir = &d;
    r.RootDot = kind == RecordKind::Dot && isRoot;
    r.Links = rr->Links[d.TableIndex];
    r.Serial = static_cast<std::uint32_t>(d.TableIndex + 1);
    r.Now = now;
    // The moved directory's ".." leads to the folder; PL names its real parent.
    r.HasParentLink = kind == RecordKind::DotDot && moved;
    r.ParentLink = r.HasParentLink ? dirExtent(d) : 0;
    return rr->Entries(r, 1);
  };
  const TDEntry& parent = reloc != nullptr ? reloc->IsoParent(dir) : *dir.Parent;
  rw.Put(dirExtent(dir), dirSize(dir), now, kFlagDirectory, dot,
         rr != nullptr ? dirRecord(RecordKind::Dot, dir) : std::span<const std::uint8_t>{});
  rw.Put(dirExtent(parent), dirSize(parent), now, kFlagDirectory, dotdot,
         rr != nullptr ? dirRecord(RecordKind::DotDot, *dir.Parent) : std::span<const std::uint8_t>{});

  std::vector<std::uint8_t> id;
  base::Status status = base::Ok();
  auto putEntry = [&](const IsoRecord& rec) -> base::Status {
    const TFEntry* e = rec.Entry;
    std::uint8_t flags = (e->Attributes & 0x02) != 0 ? kFlagHidden : 0;
    std::uint32_t extent = 0;
    if (rec.Placeholder) {
      // A file of no data where the directory was; its CL leads to it.
    } else if (e->IsDirectory()) {
      flags |= kFlagDirectory;
      extent = dirExtent(*e->DirEntry);
    } else if (e->Imported) {
      extent = static_cast<std::uint32_t>(e->Extent);
    } else if (e->RecordedSize != 0) {
      extent = l.FirstFileSector + static_cast<std::uint32_t>(e->Extent);
    }
    if (joliet) {
      id = ToUcs2Be(e->JolietName());
      if (!e->IsDirectory() && JolietVersionFits(id.size() / 2)) id.insert(id.end(), {0x00, ';', 0x00, '1'});
    } else {
      id.assign(rec.Name->begin(), rec.Name->end());
      if (!e->IsDirectory()) id.insert(id.end(), {';', '1'});
    }
    if (!IdentifierFitsRecord(id.size()))
      return base::MakeError(base::ErrorKind::Internal, "identifier does not fit a record: " + e->LongName);
    const bool folder = reloc != nullptr && e == &reloc->FolderEntry;
    const auto date = folder ? now : RecordDate(e->DateTime, e->TimeZoneOffset);
    const std::int64_t size = rec.Placeholder ? 0 : joliet ? e->SourceSize : e->RecordedSize;
    RockRidgeRecord rrRecord;
    if (rr != nullptr) {
      rrRecord.Entry = e;
      rrRecord.Modify = &date;
      rrRecord.Links = e->IsDirectory() ? rr->Links[e->DirEntry->TableIndex] : 1;
      rrRecord.Serial = e->IsDirectory() ? static_cast<std::uint32_t>(e->DirEntry->TableIndex + 1) : rr->NextFileSerial++;
      rrRecord.HasChildLink = rec.Placeholder;
      rrRecord.ChildLink = rec.Placeholder ? dirExtent(*e->DirEntry) : 0;
      rrRecord.Relocated = rec.Relocated;
    }
    auto systemUse = [&]() { return rr != nullptr ? rr->Entries(rrRecord, id.size()) : std::span<const std::uint8_t>{}; };
    if (e->IsDirectory() || size <= 0xFFFFFFFFll) {
      rw.Put(extent, static_cast<std::uint32_t>(size), date, flags, id, systemUse());
      return base::Ok();
    }
    // ECMA-119 9.1.6: adjacent records, each flagged but the last, over
    // consecutive extents.
    auto left = static_cast<std::uint64_t>(size);
    for (std::uint64_t part = 0; left > 0; ++part) {
      const std::uint64_t bytes = std::min(left, kMaxExtentBytes);
      left -= bytes;
      const std::uint64_t at = std::uint64_t{extent} + part * kMaxExtentSectors;
      if (at > 0xFFFFFFFFull)
        return base::MakeError(base::ErrorKind::Internal, "extent past the 32-bit sector range: " + e->LongName);
      rw.Put(static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(bytes), date,
             static_cast<std::uint8_t>(left > 0 ? flags | kFlagMultiExtent : flags), id, systemUse());
    }
    return base::Ok();
  };
  ForEachIsoRecord(dir, reloc, [&](const IsoRecord& rec) {
    if (status) status = putEntry(rec);
  });
  if (!status) return status;
  w.PadTo(kSectorSize);
  const auto expected = static_cast<std::size_t>(joliet ? dir.JolietDirSize : dir.IsoDirSize);
  if (w.Size() - start != expected)
    return base::MakeError(base::ErrorKind::Internal, "directory size changed since the layout: " + dir.PathKey);
  return base::Ok();
}

}  // namespace

std::array<std::uint8_t, 7> RecordDate(TDateTime value, std::int8_t tzOffset) {
  std::array<std::uint8_t, 7> r{};
  const auto t = DecodeDateTime(value);
  if (!t || t->Year < 1900 || t->Year > 2155) return r;
  r[0] = static_cast<std::uint8_t>(t->Year - 1900);
  r[1] = static_cast<std::uint8_t>(t->Month);
  r[2] = static_cast<std::uint8_t>(t->Day);
  r[3] = static_cast<std::uint8_t>(t->Hour);
  r[4] = static_cast<std::uint8_t>(t->Minute);
  r[5] = static_cast<std::uint8_t>(t->Second);
  r[6] = static_cast<std::uint8_t>(tzOffset);
  return r;
}

std::array<std::uint8_t, 17> DescriptorDate(const platform::CivilTime& t) {
  std::array<std::uint8_t, 17> r{};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d%02d", std::clamp(t.Year, 0, 9999),
                std::clamp(t.Month, 0, 99), std::clamp(t.Day, 0, 99), std::clamp(t.Hour, 0, 99),
                std::clamp(t.Minute, 0, 99), std::clamp(t.Second, 0, 99), std::clamp(t.Millisecond / 10, 0, 99));
  std::memcpy(r.data(), buf, 16);
  r[16] = 0;
  return r;
}

base::Result<HeaderStream> BuildHeaderStream(const HeaderInput& in) {
  const SessionLayout& l = *in.Layout;
  // Extents are recorded in 32 bits and kept signed in the tables: a larger
  // volume would wrap onto earlier sectors.
  if (l.VolumeSpaceSize > 0x7FFFFFFFull)
    return base::MakeError(base::ErrorKind::InvalidInput, "the compilation is larger than one volume can address (" +
                                                              std::to_string(l.VolumeSpaceSize) + " sectors)");
  HeaderStream hs;
  const std::uint64_t total = static_cast<std::uint64_t>(l.FirstFileSector - l.PaddingSectors - l.BootImageSectors) -
                              l.SessionStart;
  hs.Bytes.reserve(static_cast<std::size_t>(total * kSectorSize));
  base::ByteWriter w(hs.Bytes);

  w.PutZeros(16 * kSectorSize);
  w.Put(MakeDescriptor(in, Tree::Iso));
  if (l.Options.Bootable) {
    if (in.BootRecord.size() != kSectorSize)
      return base::MakeError(base::ErrorKind::Internal, "boot record missing");
    w.PutBytes(in.BootRecord);
  }
  if (l.Options.Joliet) w.Put(MakeDescriptor(in, Tree::Joliet));
  DescriptorHead term;
  term.Type = 0xFF;
  SetId(term.StandardId);
  term.Version = 1;
  w.Put(term);
  w.PadTo(kSectorSize);
  hs.DescriptorCopy.assign(hs.Bytes.begin(), hs.Bytes.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(hs.Bytes.size(), 65536)));

  PutPathTable(w, in, Tree::Iso, false);
  PutPathTable(w, in, Tree::Iso, true);
  if (l.Options.Joliet) {
    PutPathTable(w, in, Tree::Joliet, false);
    PutPathTable(w, in, Tree::Joliet, true);
  }
  const auto now = RecordDate(EncodeDateTime(in.Now).value_or(0.0), in.TimeZoneOffset);
  std::vector<std::uint8_t> continuation;
  ContinuationArea area(l.ContinuationStart, &continuation);
  RockRidgeState rr;
  if (l.Options.RockRidge) {
    rr.Area = &area;
    const auto& dirs = in.Tables->Dirs();
    rr.Links.assign(dirs.size(), 2);
    for (const auto& d : dirs)
      if (d.get() != in.Tables->Root()) ++rr.Links[d->Parent->TableIndex];
    rr.NextFileSerial = static_cast<std::uint32_t>(dirs.size() + 1);
    if (l.Relocated != nullptr) {
      rr.Links.push_back(static_cast<std::uint32_t>(2 + l.Relocated->Moved.size()));  // the folder's
      ++rr.NextFileSerial;
    }
  }
  for (const auto& d : in.Tables->Dirs())
    if (auto s = PutDirectory(w, in, *d, Tree::Iso, now, l.Options.RockRidge ? &rr : nullptr); !s) return s.Err();
  if (l.Relocated != nullptr)
    if (auto s = PutDirectory(w, in, l.Relocated->Folder, Tree::Iso, now, &rr); !s) return s.Err();
  if (l.Options.RockRidge) {
    if (continuation.size() > std::uint64_t{l.ContinuationSectors} * kSectorSize)
      return base::MakeError(base::ErrorKind::Internal, "continuation area larger than the layout's");
    continuation.resize(std::size_t{l.ContinuationSectors} * kSectorSize);
    w.PutBytes(continuation);
  }
  if (l.Options.Joliet)
    for (const auto& d : in.Tables->Dirs())
      if (auto s = PutDirectory(w, in, *d, Tree::Joliet, now, nullptr); !s) return s.Err();
  if (l.Options.Bootable) {
    if (in.BootCatalog.size() != kSectorSize)
      return base::MakeError(base::ErrorKind::Internal, "boot catalog missing");
    w.PutBytes(in.BootCatalog);
  }
  // The header must end exactly where the layout put the boot image.
  const std::uint64_t end = l.SessionStart + hs.Bytes.size() / kSectorSize;
  const std::uint64_t want = l.Options.Bootable ? l.BootImageSector : l.FirstFileSector - l.PaddingSectors;
  if (end != want) return base::MakeError(base::ErrorKind::Internal, "header length disagrees with the layout");
  return hs;
}

}  // namespace iso
