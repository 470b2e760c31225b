#include "engine/iso/session_reader.h"

#include <cstring>
#include <span>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/span_io.h"
#include "engine/iso/date_time.h"
#include "engine/iso/records.h"
#include "engine/iso/rock_ridge.h"
#include "engine/iso/rock_ridge_read.h"

namespace iso {
namespace {

constexpr std::size_t kRecordHead = sizeof(DirRecordHead);
constexpr std::size_t kLastRecordStart = 2015;
constexpr std::uint32_t kDescriptorScan = 21;

void PutUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string Latin1ToUtf8(const std::uint8_t* bytes, std::size_t length) {
  std::string out;
  for (std::size_t i = 0; i < length; ++i) PutUtf8(out, bytes[i]);
  return out;
}

std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

std::uint64_t SectorsOf(std::uint64_t bytes) { return (bytes + kSectorSize - 1) / kSectorSize; }

// Names end up as path components of extracted files and of compilation
// keys, where these characters would change the path.
bool Sanitize(std::string& name) {
  bool changed = false;
  for (char& c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || c == ':' || u < 0x20 || u == 0x7F) {
      c = '_';
      changed = true;
    }
  }
  return changed;
}

TDateTime RecordDate(const std::uint8_t* d) {
  platform::CivilTime day;
  day.Year = 1900 + d[0];
  day.Month = d[1];
  day.Day = d[2];
  const TDateTime date = EncodeDateTime(day).value_or(0.0);
  // A time out of range is taken as midnight.
  const bool timeOk = d[3] < 24 && d[4] < 60 && d[5] < 60;
  const double time = timeOk ? ((d[3] * 60.0 + d[4]) * 60.0 + d[5]) / 86400.0 : 0.0;
  return date + time;
}

class Walker {
 public:
  Walker(DiscSource& disc, ImportSink& sink, const RootRecord& root)
      : FDisc(disc), FSink(sink), FJoliet(root.Joliet), FRockRidge(root.RockRidge && !root.Joliet),
        FSkip(root.SuspSkip) {}

  void Directory(std::uint32_t extent, std::uint64_t size, TDEntry& target, const std::string& path, int depth);
  bool Visit(std::uint32_t extent) { return FVisited.insert(extent).second; }

 private:
  bool Outside(std::uint32_t extent, std::uint64_t sectors) const {
    const std::uint64_t disc = FDisc.SectorCount();
    return disc != 0 && sectors != 0 && std::uint64_t{extent} + sectors > disc;
  }
  void Record(const DirRecordHead& head, std::span<const std::uint8_t> bytes, TDEntry& target, const std::string& path,
              int depth);
  std::optional<std::uint32_t> DirectorySizeAt(std::uint32_t extent);
  void File(DiscRecord r, const std::string& where, bool outside, TDEntry& target);
  void EndParts();
  void Broken(ReadProblem problem, const std::string& where);

  DiscSource& FDisc;
  ImportSink& FSink;
  bool FJoliet;
  bool FRockRidge;
  std::uint8_t FSkip;
  bool FEnded = false;
  std::uint64_t FSectorsRead = 0;
  // The file whose parts are being gathered: its records must follow one
  // another in the directory and its extents on the disc.
  struct Parts {
    bool Active = false;
    bool Broken = false;
    bool Outside = false;
    std::string Where;
    DiscRecord Whole;
    std::uint64_t NextExtent = 0;
  } FParts;
  // Files of this directory found broken: a later part under the same name
  // would otherwise come in as a cut file. Capped against crafted folders.
  std::unordered_set<std::string> FBroken;
  std::unordered_set<std::uint32_t> FVisited;
};

void Walker::Directory(std::uint32_t extent, std::uint64_t size, TDEntry& target, const std::string& path,
                       int depth) {
  // Kept per directory: the caller's list is back when this one is read.
  struct Restore {
    std::unordered_set<std::string>& Set;
    std::unordered_set<std::string> Saved;
    ~Restore() { Set = std::move(Saved); }
  } restore{FBroken, std::exchange(FBroken, {})};
  std::uint64_t sectors = SectorsOf(size);
  if (sectors > kMaxDirectorySectors) {
    FSink.Problem(ReadProblem::DirectoryTooLarge, path.empty() ? "\\" : path);
    sectors = kMaxDirectorySectors;
  }
  std::vector<std::uint8_t> sector(kSectorSize);
  for (std::uint64_t i = 0; i < sectors && !FEnded; ++i) {
    if (FSink.Stop()) {
      FEnded = true;
      return;
    }
    if (++FSectorsRead > kMaxTreeSectors) {
      FSink.Problem(ReadProblem::ReadLimit, path.empty() ? "\\" : path);
      FEnded = true;
      return;
    }
    if (std::uint64_t{extent} + i > 0xFFFFFFFFu || !FDisc.ReadSectors(static_cast<std::uint32_t>(extent + i), 1, sector)) {
      FSink.Problem(ReadProblem::DirectoryUnreadable, path.empty() ? "\\" : path);
      EndParts();
      return;
    }
    std::size_t off = 0;
    while (off < kLastRecordStart && !FEnded) {
      const std::uint8_t* p = sector.data() + off;
      // An XA system-use block met where a record should begin.
      if (off + 14 <= kSectorSize && p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 0 && p[5] == 'U' &&
          p[6] == 'X' && p[7] == 'A') {
        off += 14;
        continue;
      }
      const std::size_t length = p[0];
      if (length == 0 || off + length > kSectorSize) break;
      base::SpanReader reader(std::span<const std::uint8_t>(p, length));
      const auto head = reader.Read<DirRecordHead>();
      off += length;
      if (!head || kRecordHead + head->IdLength > length) continue;  // malformed: its length still moves on
      const std::uint8_t* id = p + kRecordHead;
      if (head->IdLength == 1 && id[0] <= 1) continue;  // "." and ".."
      Record(*head, std::span<const std::uint8_t>(p, length), target, path, depth);
    }
  }
  if (!FEnded) EndParts();
}

void Walker::EndParts() {
  // The directory went on without the file's last part.
  if (FParts.Active) Broken(ReadProblem::MultiExtent, FParts.Where);
  FParts = Parts{};
}

void Walker::Broken(ReadProblem problem, const std::string& where) {
  constexpr std::size_t kMaxBrokenNames = 4096;
  FSink.Problem(problem, where);
  if (FBroken.size() < kMaxBrokenNames) FBroken.insert(where);
}

void Walker::File(DiscRecord r, const std::string& where, bool outside, TDEntry& target) {
  const bool part = (r.Flags & kFlagMultiExtent) != 0;
  r.Flags = static_cast<std::uint8_t>(r.Flags & ~kFlagMultiExtent);
  if (FParts.Active && where != FParts.Where) EndParts();  // a second name mid-file
  if (!FParts.Active && FBroken.count(where) != 0) return;  // the rest of a file already refused
  if (!FParts.Active && !part) {
    if (outside) FSink.Problem(ReadProblem::OutsideDisc, where);
    else FSink.Add(target, r);
    return;
  }
  if (!FParts.Active) {
    FParts.Active = true;
    FParts.Where = where;
    FParts.Whole = r;
    FParts.Whole.Size = 0;
    FParts.NextExtent = r.Extent;
  }
  // Gaps and overlaps alike: the bytes would not read back as one file.
  if (r.Extent != FParts.NextExtent || (part && r.Size % kSectorSize != 0)) FParts.Broken = true;
  if (outside) FParts.Outside = true;
  FParts.Whole.Size += r.Size;
  FParts.NextExtent = std::uint64_t{r.Extent} + r.Size / kSectorSize;
  if (part) return;
  if (FParts.Outside || Outside(FParts.Whole.Extent, SectorsOf(FParts.Whole.Size))) Broken(ReadProblem::OutsideDisc, where);
  else if (FParts.Broken) Broken(ReadProblem::MultiExtent, where);
  else FSink.Add(target, FParts.Whole);
  FParts = Parts{};
}

std::optional<std::uint32_t> Walker::DirectorySizeAt(std::uint32_t extent) {
  // A relocated directory's size is in its own "." record.
  std::vector<std::uint8_t> sector(kSectorSize);
  if (!FDisc.ReadSectors(extent, 1, sector) || sector[0] < kRecordHead) return std::nullopt;
  return Le32(sector.data() + 10);
}

void Walker::Record(const DirRecordHead& head, std::span<const std::uint8_t> bytes, TDEntry& target,
                    const std::string& path, int depth) {
  const std::size_t idLength = head.IdLength;
  const std::uint8_t* id = bytes.data() + kRecordHead;
  std::string name = FJoliet ? Utf16BeToUtf8(id, idLength) : Latin1ToUtf8(id, idLength);
  if (idLength > (FJoliet ? kMaxJolietImportId : kMaxIsoImportId)) {
    Sanitize(name);  // reported, and printed: no control characters
    FSink.Problem(ReadProblem::NameTooLong, name);
    return;
  }
  if (const auto cut = name.find(';'); cut != std::string::npos) name.resize(cut);
  RockRidgeFields rr;
  const std::size_t suStart = kRecordHead + idLength + (idLength % 2 == 0 ? 1 : 0) + FSkip;
  if (FRockRidge && suStart < bytes.size()) {
    rr = ReadRockRidge(FDisc, bytes.subspan(suStart));
    if (rr.Damaged) FSink.Problem(ReadProblem::RockRidgeDamaged, path + "\\" + name);
    if (rr.Relocated) return;  // reached through its CL record instead
    if (!rr.Name.empty()) {
      if (rr.Name.size() > kMaxRockRidgeName) {
        FSink.Problem(ReadProblem::NameTooLong, rr.Name.substr(0, kMaxRockRidgeName));
        return;
      }
      name = rr.Name;
    }
  }
  std::string where = path + "\\" + name;
  std::string discName = name;
  if (Sanitize(name)) {
    where = path + "\\" + name;
    FSink.Problem(ReadProblem::NameRenamed, where);
  }
  if (name.empty() || name == "." || name == "..") {
    FSink.Problem(ReadProblem::NameUnusable, where);
    return;
  }
  DiscRecord r;
  r.Name = std::move(name);
  r.DiscName = std::move(discName);
  r.Extent = head.Extent.Get();
  r.Size = head.DataLength.Get();
  r.Flags = head.Flags;
  r.Date = RecordDate(head.Date.data());
  if (rr.Any) {
    if (rr.Modify) r.Date = RecordDate(rr.Modify->data());
    if (rr.HasPosix) {
      r.Mode = rr.Mode;
      r.Uid = rr.Uid;
      r.Gid = rr.Gid;
    }
    r.AccessTime = rr.AccessTime;
    r.ChangeTime = rr.ChangeTime;
    if (rr.IsSymlink && !r.IsDirectory()) {
      r.SymlinkTarget = rr.SymlinkTarget;
      r.Size = 0;
      r.Extent = 0;
    }
    if (rr.ChildLink) {
      const auto size = DirectorySizeAt(*rr.ChildLink);
      if (!size) {
        FSink.Problem(ReadProblem::DirectoryUnreadable, where);
        return;
      }
      r.Extent = *rr.ChildLink;
      r.Size = *size;
      r.Flags = static_cast<std::uint8_t>(r.Flags | kFlagDirectory);
    }
  }
  const bool outside = Outside(r.Extent, SectorsOf(r.Size));
  if (!r.IsDirectory()) {
    File(std::move(r), where, outside, target);
    return;
  }
  EndParts();
  if (outside) {
    FSink.Problem(ReadProblem::OutsideDisc, where);
    return;
  }
  if (depth >= kMaxDirectoryDepth) {
    FSink.Problem(ReadProblem::TooDeep, where);
    return;
  }
  if (!Visit(r.Extent)) {
    FSink.Problem(ReadProblem::DirectoryLoop, where);
    return;
  }
  if (TDEntry* sub = FSink.Add(target, r)) Directory(r.Extent, r.Size, *sub, where, depth + 1);
}

}  // namespace

std::string Utf16BeToUtf8(const std::uint8_t* bytes, std::size_t length) {
  std::string out;
  const std::size_t units = length / 2;
  for (std::size_t i = 0; i < units; ++i) {
    std::uint32_t u = std::uint32_t{bytes[2 * i]} << 8 | bytes[2 * i + 1];
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < units) {
      const std::uint32_t low = std::uint32_t{bytes[2 * i + 2]} << 8 | bytes[2 * i + 3];
      if (low >= 0xDC00 && low < 0xE000) {
        PutUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    if (u >= 0xD800 && u < 0xE000) u = 0xFFFD;
    PutUtf8(out, u);
  }
  return out;
}

std::optional<RootRecord> FindDescriptor(DiscSource& disc, std::uint32_t sessionStart, bool joliet) {
  std::vector<std::uint8_t> sector(kSectorSize);
  for (std::uint32_t i = 0; i < kDescriptorScan; ++i) {
    const std::uint64_t lba = std::uint64_t{sessionStart} + 16 + i;
    if (lba > 0xFFFFFFFFu || !disc.ReadSectors(static_cast<std::uint32_t>(lba), 1, sector)) return std::nullopt;
    if (std::memcmp(sector.data() + 1, "CD001", 5) != 0) continue;
    if (sector[0] == 0xFF) return std::nullopt;
    if (sector[0] != (joliet ? 2 : 1)) continue;
    // A supplementary descriptor is Joliet only with a UCS-2 escape sequence.
    if (joliet && !(sector[88] == '%' && sector[89] == '/' &&
                    (sector[90] == '@' || sector[90] == 'C' || sector[90] == 'E')))
      continue;
    RootRecord root;
    root.Extent = Le32(sector.data() + 158);
    root.Size = Le32(sector.data() + 166);
    root.Joliet = joliet;
    root.VolumeSpaceSize = Le32(sector.data() + 80);
    return root;
  }
  return std::nullopt;
}

void DetectRockRidge(DiscSource& disc, RootRecord& root) {
  std::vector<std::uint8_t> sector(kSectorSize);
  if (root.Joliet || !disc.ReadSectors(root.Extent, 1, sector)) return;
  const std::size_t length = sector[0];
  if (length < kRecordHead + 1 || sector[32] != 1) return;
  // SUSP 5.3: SP at the start of the root's "." system use field.
  const std::size_t at = kRecordHead + 1;
  if (at + 7 <= length && sector[at] == 'S' && sector[at + 1] == 'P' && sector[at + 2] == 7 &&
      sector[at + 4] == 0xBE && sector[at + 5] == 0xEF) {
    root.RockRidge = true;
    root.SuspSkip = sector[at + 6];
  }
}

std::optional<RootRecord> FindSessionRoot(DiscSource& disc, std::uint32_t sessionStart) {
  auto primary = FindDescriptor(disc, sessionStart, false);
  if (primary) {
    DetectRockRidge(disc, *primary);
    if (primary->RockRidge) return primary;
  }
  if (auto joliet = FindDescriptor(disc, sessionStart, true)) return joliet;
  return primary;
}

void ReadTree(DiscSource& disc, const RootRecord& root, TDEntry& target, ImportSink& sink) {
  Walker walker(disc, sink, root);
  const std::uint64_t discSectors = disc.SectorCount();
  if (discSectors != 0 && std::uint64_t{root.Extent} + SectorsOf(root.Size) > discSectors) {
    sink.Problem(ReadProblem::OutsideDisc, "\\");
    return;
  }
  walker.Visit(root.Extent);
  walker.Directory(root.Extent, root.Size, target, std::string(), 0);
}

}  // namespace iso
