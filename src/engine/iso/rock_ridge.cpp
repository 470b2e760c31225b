#include "engine/iso/rock_ridge.h"

#include <algorithm>
#include <string_view>

#include "engine/iso/header.h"

namespace iso {
namespace {

// RRIP 1.12, 5: the extension's identifier, description and source, as ER carries them.
constexpr std::string_view kErId = "IEEE_P1282";
constexpr std::string_view kErDescriptor = "THE IEEE P1282 PROTOCOL PROVIDES SUPPORT FOR POSIX FILE SYSTEM SEMANTICS.";
constexpr std::string_view kErSource =
    "PLEASE CONTACT THE IEEE STANDARDS DEPARTMENT, PISCATAWAY, NJ, USA FOR THE P1282 SPECIFICATION.";

// SUSP entries hold their length in one byte.
constexpr std::size_t kMaxEntryPayload = 255 - 5;

std::uint8_t* Both32(std::uint8_t* at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
  for (int i = 0; i < 4; ++i) at[4 + i] = static_cast<std::uint8_t>(v >> (8 * (3 - i)));
  return at + 8;
}

void PutBoth32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  std::uint8_t b[8];
  Both32(b, v);
  out.insert(out.end(), b, b + 8);
}

class EntryWriter {
 public:
  EntryWriter(std::vector<std::uint8_t>& out, std::vector<std::size_t>& ends) : FOut(out), FEnds(ends) {}
  // SUSP 4.1: signature, length, version; the payload follows.
  void Head(char a, char b, std::size_t length) {
    const std::uint8_t head[] = {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                                 static_cast<std::uint8_t>(length), 1};
    FOut.insert(FOut.end(), head, head + 4);
  }
  void End() { FEnds.push_back(FOut.size()); }
  std::vector<std::uint8_t>& Out() { return FOut; }

 private:
  std::vector<std::uint8_t>& FOut;
  std::vector<std::size_t>& FEnds;
};

void PutPosix(EntryWriter& w, std::uint32_t mode, std::uint32_t links, std::uint32_t uid, std::uint32_t gid,
              std::uint32_t serial) {
  // RRIP 1.12 4.1.1: PX with the file serial number, 44 bytes.
  // Built whole and appended at once: this runs for every record.
  std::uint8_t px[44] = {'P', 'X', 44, 1};
  std::uint8_t* at = px + 4;
  for (const std::uint32_t v : {mode, links, uid, gid, serial}) at = Both32(at, v);
  w.Out().insert(w.Out().end(), px, px + 44);
  w.End();
}

void PutTimes(EntryWriter& w, const std::array<std::uint8_t, 7>& modify, const std::array<std::uint8_t, 7>& access,
              const std::array<std::uint8_t, 7>& change) {
  // RRIP 1.12 4.1.6: modify, access and attributes, seven-byte form.
  std::uint8_t tf[5 + 3 * 7] = {'T', 'F', 5 + 3 * 7, 1, 0x02 | 0x04 | 0x08};
  std::copy(modify.begin(), modify.end(), tf + 5);
  std::copy(access.begin(), access.end(), tf + 12);
  std::copy(change.begin(), change.end(), tf + 19);
  w.Out().insert(w.Out().end(), tf, tf + sizeof tf);
  w.End();
}

void PutName(EntryWriter& w, std::string_view name) {
  // RRIP 1.12 4.1.4: NM pieces, each but the last flagged CONTINUE.
  std::size_t pos = 0;
  do {
    const std::size_t take = std::min(kMaxEntryPayload - 1, name.size() - pos);
    const bool more = pos + take < name.size();
    w.Head('N', 'M', 5 + take);
    w.Out().push_back(more ? 0x01 : 0x00);
    w.Out().insert(w.Out().end(), name.begin() + static_cast<std::ptrdiff_t>(pos),
                   name.begin() + static_cast<std::ptrdiff_t>(pos + take));
    w.End();
    pos += take;
  } while (pos < name.size());
}

void PutSymlink(EntryWriter& w, const std::string& target) {
  // RRIP 1.12 4.1.3: component records inside SL entries; a component or
  // the link that does not fit one entry continues in the next.
  std::vector<std::uint8_t> body;
  auto flush = [&](bool more) {
    w.Head('S', 'L', 5 + body.size());
    w.Out().push_back(more ? 0x01 : 0x00);
    w.Out().insert(w.Out().end(), body.begin(), body.end());
    w.End();
    body.clear();
  };
  auto special = [&](std::uint8_t flag) {
    if (body.size() + 2 > kMaxEntryPayload - 1) flush(true);
    body.push_back(flag);
    body.push_back(0);
  };
  std::size_t pos = 0;
  if (!target.empty() && target.front() == '/') {
    special(0x08);
    pos = 1;
  }
  while (pos <= target.size()) {
    std::size_t slash = target.find('/', pos);
    if (slash == std::string::npos) slash = target.size();
    const std::string_view part(target.data() + pos, slash - pos);
    pos = slash + 1;
    if (part.empty()) continue;
    if (part == ".") {
      special(0x02);
      continue;
    }
    if (part == "..") {
      special(0x04);
      continue;
    }
    std::size_t at = 0;
    while (at < part.size()) {
      if (body.size() + 3 > kMaxEntryPayload - 1) flush(true);
      const std::size_t take = std::min(kMaxEntryPayload - 1 - body.size() - 2, part.size() - at);
      const bool more = at + take < part.size();
      body.push_back(more ? 0x01 : 0x00);
      body.push_back(static_cast<std::uint8_t>(take));
      body.insert(body.end(), part.begin() + static_cast<std::ptrdiff_t>(at),
                  part.begin() + static_cast<std::ptrdiff_t>(at + take));
      at += take;
    }
  }
  flush(false);
}

void PutExtensionReference(EntryWriter& w) {
  // SUSP 5.5: ER.
  w.Head('E', 'R', 8 + kErId.size() + kErDescriptor.size() + kErSource.size());
  w.Out().push_back(static_cast<std::uint8_t>(kErId.size()));
  w.Out().push_back(static_cast<std::uint8_t>(kErDescriptor.size()));
  w.Out().push_back(static_cast<std::uint8_t>(kErSource.size()));
  w.Out().push_back(1);
  for (auto text : {kErId, kErDescriptor, kErSource}) w.Out().insert(w.Out().end(), text.begin(), text.end());
  w.End();
}

void PutLink(EntryWriter& w, char a, char b, std::uint32_t extent) {
  // RRIP 1.12 4.1.5: CL and PL, the directory's location.
  w.Head(a, b, 12);
  PutBoth32(w.Out(), extent);
  w.End();
}

std::array<std::uint8_t, 7> OrModify(std::int64_t seconds, const std::array<std::uint8_t, 7>& modify) {
  return seconds != 0 ? UnixRecordDate(seconds) : modify;
}

// The name without the dot the add rule appended; no copy.
std::string_view NameView(const TFEntry& e) {
  std::string_view name = e.LongName;
  if (e.DotAdded && !name.empty() && name.back() == '.') name.remove_suffix(1);
  return name;
}

}  // namespace

std::string RockRidgeName(const TFEntry& e) { return std::string(NameView(e)); }

std::uint32_t RecordedMode(const TFEntry* e, bool directory) {
  if (e != nullptr && e->IsSymlink()) return kModeSymlink | 0777;
  if (e != nullptr && e->Mode != 0) {
    const std::uint32_t type = directory ? kModeDirectory : kModeRegular;
    // The type follows what the record is; a stored mode only gives the rest.
    return type | (e->Mode & 07777);
  }
  std::uint32_t mode = directory ? (kModeDirectory | 0755) : (kModeRegular | 0644);
  if (e != nullptr && (e->Attributes & 0x01) != 0) mode &= ~0222u;
  return mode;
}

void AppendRockRidge(const RockRidgeRecord& r, std::vector<std::uint8_t>& out, std::vector<std::size_t>& ends) {
  EntryWriter w(out, ends);
  if (r.Kind == RecordKind::Entry) {
    const TFEntry& e = *r.Entry;
    PutPosix(w, RecordedMode(&e, e.IsDirectory()), r.Links, e.Uid, e.Gid, r.Serial);
    const auto modify = r.Modify != nullptr ? *r.Modify : RecordDate(e.DateTime, e.TimeZoneOffset);
    // Access and change are mostly the same instant: converted once.
    const auto access = OrModify(e.AccessTime, modify);
    PutTimes(w, modify, access, e.ChangeTime == e.AccessTime ? access : OrModify(e.ChangeTime, modify));
    PutName(w, NameView(e));
    if (e.IsSymlink()) PutSymlink(w, e.Extra->SymlinkTarget);
    if (r.HasChildLink) PutLink(w, 'C', 'L', r.ChildLink);
    if (r.Relocated) {
      w.Head('R', 'E', 4);
      w.End();
    }
    return;
  }
  if (r.RootDot) {
    // SUSP 5.3: SP opens the root's first record.
    w.Head('S', 'P', 7);
    out.push_back(0xBE);
    out.push_back(0xEF);
    out.push_back(0);
    w.End();
  }
  const TFEntry* self = r.Dir->Self;
  PutPosix(w, RecordedMode(self, true), r.Links, self != nullptr ? self->Uid : 0, self != nullptr ? self->Gid : 0,
           r.Serial);
  const auto modify = self != nullptr ? RecordDate(self->DateTime, self->TimeZoneOffset) : r.Now;
  PutTimes(w, modify, OrModify(self != nullptr ? self->AccessTime : 0, modify),
           OrModify(self != nullptr ? self->ChangeTime : 0, modify));
  if (r.HasParentLink) PutLink(w, 'P', 'L', r.ParentLink);
  if (r.RootDot) PutExtensionReference(w);
}

std::size_t QuickRockRidgeLength(const RockRidgeRecord& r) {
  constexpr std::size_t kPosixAndTimes = 44 + 5 + 3 * 7;
  if (r.HasChildLink || r.HasParentLink || r.Relocated) return 0;
  if (r.Kind != RecordKind::Entry) return r.RootDot ? 0 : kPosixAndTimes;
  if (r.Entry->IsSymlink()) return 0;
  const TFEntry& e = *r.Entry;
  const std::size_t name = e.LongName.size() - (e.DotAdded && !e.LongName.empty() && e.LongName.back() == '.' ? 1 : 0);
  const std::size_t pieces = name == 0 ? 1 : (name + kMaxEntryPayload - 2) / (kMaxEntryPayload - 1);
  return kPosixAndTimes + 5 * pieces + name;
}

std::array<std::uint8_t, 7> UnixRecordDate(std::int64_t seconds) {
  std::array<std::uint8_t, 7> r{};
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Civil date from days since 1970-01-01 (proleptic Gregorian).
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  if (year < 1900 || year > 2155) return r;
  r[0] = static_cast<std::uint8_t>(year - 1900);
  r[1] = static_cast<std::uint8_t>(month);
  r[2] = static_cast<std::uint8_t>(day);
  r[3] = static_cast<std::uint8_t>(rest / 3600);
  r[4] = static_cast<std::uint8_t>(rest / 60 % 60);
  r[5] = static_cast<std::uint8_t>(rest % 60);
  r[6] = 0;
  return r;
}

std::uint64_t ContinuationArea::Allocate(std::size_t length) {
  if (FUsed % 2048 + length > 2048) FUsed += 2048 - FUsed % 2048;
  const std::uint64_t at = FUsed;
  FUsed += length;
  if (FBytes != nullptr && FBytes->size() < FUsed) FBytes->resize(static_cast<std::size_t>(FUsed));
  return at;
}

void ContinuationArea::Place(std::span<const std::uint8_t> su, std::span<const std::size_t> ends, std::size_t room,
                             std::vector<std::uint8_t>& inRecord) {
  inRecord.clear();
  if (su.size() <= room) {
    inRecord.assign(su.begin(), su.end());
    return;
  }
  if (room < kContinuationEntryLength) return;  // no room even to point elsewhere: nothing recorded
  // The entries that fit beside a CE stay; the rest go to pieces of at most
  // one sector, chained by CE entries.
  struct Piece {
    std::size_t From, To;
    bool Chained;
    std::uint64_t At = 0;
    std::size_t Length() const { return To - From + (Chained ? kContinuationEntryLength : 0); }
  };
  std::size_t k = 0;
  std::size_t cut = 0;
  while (k < ends.size() && ends[k] + kContinuationEntryLength <= room) cut = ends[k++];
  std::vector<Piece> pieces;
  while (cut < su.size()) {
    Piece p{cut, su.size(), false};
    if (su.size() - cut > 2048) {
      std::size_t to = cut;
      while (k < ends.size() && ends[k] - cut + kContinuationEntryLength <= 2048) to = ends[k++];
      p.To = to;
      p.Chained = true;
    } else {
      k = ends.size();
    }
    pieces.push_back(p);
    cut = p.To;
  }
  for (auto& p : pieces) p.At = Allocate(p.Length());
  auto putCe = [this](std::vector<std::uint8_t>& out, const Piece& p) {
    out.insert(out.end(), {'C', 'E', static_cast<std::uint8_t>(kContinuationEntryLength), 1});
    PutBoth32(out, FStart + static_cast<std::uint32_t>(p.At / 2048));
    PutBoth32(out, static_cast<std::uint32_t>(p.At % 2048));
    PutBoth32(out, static_cast<std::uint32_t>(p.Length()));
  };
  inRecord.assign(su.begin(), su.begin() + static_cast<std::ptrdiff_t>(pieces.front().From));
  putCe(inRecord, pieces.front());
  if (FBytes == nullptr) return;
  std::vector<std::uint8_t> piece;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const Piece& p = pieces[i];
    piece.assign(su.begin() + static_cast<std::ptrdiff_t>(p.From), su.begin() + static_cast<std::ptrdiff_t>(p.To));
    if (p.Chained) putCe(piece, pieces[i + 1]);
    std::copy(piece.begin(), piece.end(), FBytes->begin() + static_cast<std::ptrdiff_t>(p.At));
  }
}

}  // namespace iso
