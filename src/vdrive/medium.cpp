#include "vdrive/medium.h"

#include <algorithm>

namespace vdrive {

namespace {

constexpr std::size_t kMaxTracks = 99;
constexpr std::uint32_t kMaxCapacity = 1u << 26;  // 128 GiB: a four-layer BD-R XL
constexpr std::uint32_t kEccBlock = 16;           // DVD tracks start on ECC block boundaries

// Multisession CD: the first session's lead-out is 6,750 blocks, later ones
// 2,250; each new session adds a 4,500-block lead-in and the 150-block
// pre-gap of its first track.
constexpr std::uint32_t kCdFirstSessionGap = 6750 + 4500 + 150;
constexpr std::uint32_t kCdLaterSessionGap = 2250 + 4500 + 150;
constexpr std::uint32_t kCdTrackPregap = 150;
// DVD-R/-RW borders: border-out plus the next border-in, larger after the
// first border (12 MiB, then 4 MiB). DVD+R sessions: closure plus intro, 4 MiB.
constexpr std::uint32_t kDvdMinusFirstBorder = 6144;
constexpr std::uint32_t kDvdMinusLaterBorder = 2048;
constexpr std::uint32_t kDvdPlusSessionGap = 2048;

std::uint32_t RoundUp(std::uint32_t v, std::uint32_t unit) { return (v + unit - 1) / unit * unit; }
// Tracks start on an ECC block (DVD) or a cluster (BD).
std::uint32_t TrackUnit(TMedia m) { return IsBd(m) ? kBdCluster : kEccBlock; }

bool IsDvdMinusSequential(TMedia m) { return m == TMedia::DvdR || m == TMedia::DvdRw; }
bool IsDvdPlusSequential(TMedia m) { return m == TMedia::DvdPlusR || m == TMedia::DvdPlusRDl; }

bool InvisibleTrackExists(const TDisc& d) {
  if (!IsSequential(d.Media) || d.Finalized || d.Tracks.size() >= kMaxTracks) return false;
  if (!d.Tracks.empty() && !d.Tracks.back().Closed && d.Tracks.back().Reserved == 0) return false;
  return NextTrackStart(d) < d.Capacity;
}

std::uint32_t RecordedEnd(const TTrack& t) { return t.Closed ? t.End() : t.Start + t.Written; }

}  // namespace

bool IsCd(TMedia m) { return m == TMedia::CdR || m == TMedia::CdRw || m == TMedia::CdRom; }
bool IsBd(TMedia m) { return m == TMedia::BdRom || IsBdR(m) || IsBdRe(m); }
bool IsBdR(TMedia m) { return m == TMedia::BdR || m == TMedia::BdRDl; }
bool IsBdRe(TMedia m) { return m == TMedia::BdRe || m == TMedia::BdReDl; }
bool IsDualLayer(TMedia m) { return m == TMedia::DvdPlusRDl || m == TMedia::BdRDl || m == TMedia::BdReDl; }
bool IsRom(TMedia m) { return m == TMedia::CdRom || m == TMedia::DvdRom || m == TMedia::BdRom; }
bool IsOverwritable(TMedia m) {
  return m == TMedia::DvdPlusRw || m == TMedia::DvdRwRo || m == TMedia::DvdRam || IsBdRe(m);
}
bool IsSequential(TMedia m) { return !IsRom(m) && !IsOverwritable(m); }
bool IsErasable(TMedia m) {
  return m == TMedia::CdRw || m == TMedia::DvdRw || m == TMedia::DvdRwRo || m == TMedia::DvdPlusRw ||
         m == TMedia::DvdRam || IsBdRe(m);
}
// Simulation exists on CD-R/RW and DVD-R/-RW sequential recording only.
bool SupportsTestWrite(TMedia m) {
  return m == TMedia::CdR || m == TMedia::CdRw || m == TMedia::DvdR || m == TMedia::DvdRw;
}

std::uint16_t Profile(TMedia m) {
  switch (m) {
    case TMedia::CdRom: return 0x0008;
    case TMedia::CdR: return 0x0009;
    case TMedia::CdRw: return 0x000A;
    case TMedia::DvdRom: return 0x0010;
    case TMedia::DvdR: return 0x0011;
    case TMedia::DvdRam: return 0x0012;
    case TMedia::DvdRwRo: return 0x0013;
    case TMedia::DvdRw: return 0x0014;
    case TMedia::DvdPlusRw: return 0x001A;
    case TMedia::DvdPlusR: return 0x001B;
    case TMedia::DvdPlusRDl: return 0x002B;
    // MMC-6 profile list: one profile per kind; the layer count is the disc's, not the profile's.
    case TMedia::BdRom: return 0x0040;
    case TMedia::BdR:
    case TMedia::BdRDl: return 0x0041;
    case TMedia::BdRe:
    case TMedia::BdReDl: return 0x0043;
  }
  return 0;
}

std::uint32_t DefaultCapacity(TMedia m) {
  switch (m) {
    case TMedia::CdR:
    case TMedia::CdRw:
    case TMedia::CdRom: return 359849;  // 80 minutes: lead-out at 79:59:74
    case TMedia::DvdRw:
    case TMedia::DvdRwRo: return 2297888;
    case TMedia::DvdPlusRDl: return 4173824;
    case TMedia::DvdRam: return 2236704;
    case TMedia::DvdR:
    case TMedia::DvdPlusR:
    case TMedia::DvdPlusRw:
    case TMedia::DvdRom: return 2295104;
    case TMedia::BdRom:
    case TMedia::BdR:
    case TMedia::BdRe: return kBdSingleLayerBlocks;
    case TMedia::BdRDl:
    case TMedia::BdReDl: return kBdDualLayerBlocks;
  }
  return 0;
}

namespace {
struct TMediaNameRow {
  TMedia Media;
  const char* Name;
};
constexpr TMediaNameRow kMediaNames[] = {
    {TMedia::CdR, "cd-r"},           {TMedia::CdRw, "cd-rw"},          {TMedia::DvdR, "dvd-r"},
    {TMedia::DvdRw, "dvd-rw"},       {TMedia::DvdRwRo, "dvd-rw-ro"},   {TMedia::DvdPlusR, "dvd+r"},
    {TMedia::DvdPlusRDl, "dvd+r-dl"}, {TMedia::DvdPlusRw, "dvd+rw"},    {TMedia::DvdRam, "dvd-ram"},
    {TMedia::CdRom, "cd-rom"},       {TMedia::DvdRom, "dvd-rom"},      {TMedia::BdRom, "bd-rom"},
    {TMedia::BdR, "bd-r"},           {TMedia::BdRDl, "bd-r-dl"},       {TMedia::BdRe, "bd-re"},
    {TMedia::BdReDl, "bd-re-dl"},
};
}  // namespace

const char* MediaName(TMedia m) {
  for (const auto& row : kMediaNames)
    if (row.Media == m) return row.Name;
  return "?";
}

std::optional<TMedia> MediaFromName(const std::string& name) {
  for (const auto& row : kMediaNames)
    if (name == row.Name) return row.Media;
  return std::nullopt;
}

std::optional<TMedia> MediaFromByte(std::uint8_t b) {
  if (b < kFirstMedia || b > kLastMedia) return std::nullopt;
  return static_cast<TMedia>(b);
}

TDisc BlankDisc(TMedia m, std::uint32_t blocks) {
  TDisc d;
  d.Media = m;
  d.Capacity = blocks != 0 ? blocks : DefaultCapacity(m);
  // DVD-RAM and restricted-overwrite DVD-RW come formatted; DVD+RW and BD-RE must be formatted first.
  if (m == TMedia::DvdRam || m == TMedia::DvdRwRo) d.FormattedBlocks = d.Capacity;
  return d;
}

TDisc PressedDisc(TMedia m, std::uint32_t blocks) {
  TDisc d;
  d.Media = m;
  d.Capacity = blocks;
  d.HighWater = blocks;
  d.Tracks.push_back(TTrack{0, 0, blocks, 1, true});
  d.ClosedSessions = 1;
  d.Finalized = true;
  return d;
}

std::string Validate(const TDisc& d) {
  if (!MediaFromByte(static_cast<std::uint8_t>(d.Media))) return "unknown medium";
  if (d.Capacity == 0 || d.Capacity > kMaxCapacity) return "capacity out of range";
  if (d.FormattedBlocks > d.Capacity || (d.FormattedBlocks != 0 && !IsOverwritable(d.Media)))
    return "formatted size out of range";
  if (d.SpareBlocks != 0 && ((!IsBdR(d.Media) && !IsBdRe(d.Media)) || d.SpareBlocks >= kMaxCapacity - d.Capacity))
    return "spare areas out of range";
  if (d.HighWater > d.Capacity) return "recorded area beyond the capacity";
  if (d.Tracks.size() > kMaxTracks) return "too many tracks";
  if (IsOverwritable(d.Media) && !d.Tracks.empty()) return "tracks on an overwritable medium";
  if (IsRom(d.Media) && (d.Tracks.size() != 1 || !d.Finalized)) return "a pressed disc has one closed track";
  std::uint32_t previousEnd = 0;
  std::uint16_t previousSession = 1;
  for (std::size_t i = 0; i < d.Tracks.size(); ++i) {
    const TTrack& t = d.Tracks[i];
    if (t.Reserved != 0 && t.Written > t.Reserved) return "track written beyond its reservation";
    if (static_cast<std::uint64_t>(t.Start) + t.Size() > d.Capacity) return "track beyond the capacity";
    if (t.Start < previousEnd) return "tracks overlap";
    if (t.Session < previousSession || t.Session > d.ClosedSessions + 1) return "session numbers out of order";
    if (t.Session <= d.ClosedSessions && !t.Closed) return "open track in a closed session";
    if (!t.Closed && t.Reserved == 0 && i + 1 != d.Tracks.size()) return "incomplete track before the last";
    previousEnd = t.End();
    previousSession = t.Session;
  }
  if (d.ClosedSessions > (d.Tracks.empty() ? 0 : d.Tracks.back().Session)) return "more closed sessions than tracks";
  if (d.Finalized && !d.Tracks.empty() && d.Tracks.back().Session > d.ClosedSessions) return "finalized with an open session";
  return {};
}

TDiscStatus Status(const TDisc& d) {
  if (IsRom(d.Media)) return TDiscStatus::Complete;
  if (IsOverwritable(d.Media)) return d.FormattedBlocks == 0 ? TDiscStatus::Empty : TDiscStatus::Complete;
  if (d.Finalized) return TDiscStatus::Complete;
  if (d.Tracks.empty() && d.ClosedSessions == 0) return TDiscStatus::Empty;
  return TDiscStatus::Incomplete;
}

TSessionState LastSessionState(const TDisc& d) {
  const TDiscStatus s = Status(d);
  if (s == TDiscStatus::Complete) return TSessionState::Complete;
  if (!IsSequential(d.Media)) return TSessionState::Empty;
  const bool openTracks = !d.Tracks.empty() && d.Tracks.back().Session > d.ClosedSessions;
  return openTracks ? TSessionState::Incomplete : TSessionState::Empty;
}

std::uint16_t SessionCount(const TDisc& d) {
  if (!IsSequential(d.Media)) return 1;
  return static_cast<std::uint16_t>(d.ClosedSessions + (d.Finalized ? 0 : 1));
}

std::uint32_t NextTrackStart(const TDisc& d) {
  if (d.Tracks.empty()) return 0;
  const TTrack& last = d.Tracks.back();
  std::uint32_t gap = 0;
  if (last.Session <= d.ClosedSessions) {
    if (IsCd(d.Media)) gap = d.ClosedSessions == 1 ? kCdFirstSessionGap : kCdLaterSessionGap;
    else if (IsDvdMinusSequential(d.Media)) gap = d.ClosedSessions == 1 ? kDvdMinusFirstBorder : kDvdMinusLaterBorder;
    else if (IsDvdPlusSequential(d.Media)) gap = kDvdPlusSessionGap;
  } else if (IsCd(d.Media)) {
    gap = kCdTrackPregap;
  }
  const std::uint64_t start = std::uint64_t{last.End()} + gap;
  if (start >= d.Capacity) return d.Capacity;
  const std::uint32_t s = static_cast<std::uint32_t>(start);
  // A BD-R session ends with its closure in the drive's own areas: the next starts on the next cluster.
  return IsCd(d.Media) ? s : std::min(RoundUp(s, TrackUnit(d.Media)), d.Capacity);
}

std::vector<TTrackView> TrackViews(const TDisc& d) {
  std::vector<TTrackView> views;
  if (!IsSequential(d.Media)) {
    TTrackView v;
    v.Number = 1;
    v.Session = 1;
    if (IsRom(d.Media)) {
      v.Size = d.Tracks.front().Written;
    } else {
      v.Size = d.FormattedBlocks != 0 ? d.FormattedBlocks : d.Capacity;
      v.Blank = d.FormattedBlocks == 0;
      // Restricted overwrite in its intermediate state grows at the end of the formatted area.
      if (d.FormattedBlocks != 0 && d.FormattedBlocks < d.Capacity) {
        v.NextWritable = d.FormattedBlocks;
        v.NextWritableValid = true;
        v.FreeBlocks = d.Capacity - d.FormattedBlocks;
      }
    }
    const std::uint32_t recorded = IsRom(d.Media) ? v.Size : d.HighWater;
    if (recorded != 0) {
      v.LastRecorded = recorded - 1;
      v.LastRecordedValid = true;
    }
    views.push_back(v);
    return views;
  }
  for (std::size_t i = 0; i < d.Tracks.size(); ++i) {
    const TTrack& t = d.Tracks[i];
    TTrackView v;
    v.Number = static_cast<std::uint16_t>(i + 1);
    v.Session = t.Session;
    v.Start = t.Start;
    v.Blank = t.Written == 0;
    v.Reserved = t.Reserved != 0;
    v.Incremental = IsDvdMinusSequential(d.Media);
    if (t.Written != 0) {
      v.LastRecorded = t.Start + t.Written - 1;
      v.LastRecordedValid = true;
    }
    if (t.Closed) {
      v.Size = t.Size();
    } else {
      v.NextWritable = t.Start + t.Written;
      v.NextWritableValid = true;
      v.Size = t.Reserved != 0 ? t.Reserved : d.Capacity - t.Start;
      v.FreeBlocks = t.Reserved != 0 ? t.Reserved - t.Written : d.Capacity - v.NextWritable;
    }
    views.push_back(v);
  }
  if (InvisibleTrackExists(d)) {
    TTrackView v;
    v.Number = static_cast<std::uint16_t>(d.Tracks.size() + 1);
    v.Session = static_cast<std::uint16_t>(d.ClosedSessions + 1);
    v.Start = NextTrackStart(d);
    v.NextWritable = v.Start;
    v.NextWritableValid = true;
    v.FreeBlocks = d.Capacity - v.Start;
    v.Size = v.FreeBlocks;
    v.Blank = true;
    v.Incremental = IsDvdMinusSequential(d.Media);
    v.Invisible = true;
    views.push_back(v);
  }
  return views;
}

std::uint32_t SessionEnd(const TDisc& d, std::uint16_t session) {
  if (!IsSequential(d.Media)) {
    if (session != 1) return 0;
    return IsRom(d.Media) ? d.Tracks.front().Written : d.HighWater;
  }
  std::uint32_t end = 0;
  for (const auto& t : d.Tracks)
    if (t.Session == session) end = std::max(end, RecordedEnd(t));
  return end;
}

std::uint32_t LastLba(const TDisc& d) {
  if (IsRom(d.Media)) return d.Tracks.front().Written - 1;
  if (IsOverwritable(d.Media)) return d.FormattedBlocks != 0 ? d.FormattedBlocks - 1 : 0;
  std::uint32_t end = 0;
  for (const auto& t : d.Tracks) end = std::max(end, RecordedEnd(t));
  return end != 0 ? end - 1 : 0;
}

bool Readable(const TDisc& d, std::uint32_t lba) {
  if (IsOverwritable(d.Media)) return lba < d.FormattedBlocks;
  return std::any_of(d.Tracks.begin(), d.Tracks.end(),
                     [lba](const TTrack& t) { return lba >= t.Start && lba < RecordedEnd(t); });
}

TCheck Write(TDisc& d, std::uint32_t lba, std::uint32_t n, bool apply) {
  if (IsRom(d.Media)) return sense::CannotWriteMedium;
  const std::uint64_t end = std::uint64_t{lba} + n;
  if (IsOverwritable(d.Media)) {
    if (d.FormattedBlocks == 0) return sense::NotFormatted;
    const bool intermediate = d.FormattedBlocks < d.Capacity && lba <= d.FormattedBlocks;
    if (end > (intermediate ? d.Capacity : d.FormattedBlocks)) return sense::LbaOutOfRange;
    if (apply) {
      d.FormattedBlocks = std::max(d.FormattedBlocks, static_cast<std::uint32_t>(end));
      d.HighWater = std::max(d.HighWater, static_cast<std::uint32_t>(end));
    }
    return std::nullopt;
  }
  if (d.Finalized) return sense::InvalidWriteAddress;
  if (n == 0) return std::nullopt;
  TTrack* target = nullptr;
  for (auto& t : d.Tracks)
    if (!t.Closed && t.Start + t.Written == lba) target = &t;
  TTrack fresh;
  if (target == nullptr) {
    if (!InvisibleTrackExists(d) || lba != NextTrackStart(d)) return sense::InvalidWriteAddress;
    fresh.Start = lba;
    fresh.Session = static_cast<std::uint16_t>(d.ClosedSessions + 1);
    target = &fresh;
  }
  const std::uint64_t limit = target->Reserved != 0 ? std::uint64_t{target->Start} + target->Reserved : d.Capacity;
  if (end > limit) return sense::LbaOutOfRange;
  if (apply) {
    target->Written += n;
    if (target == &fresh) d.Tracks.push_back(fresh);
    d.HighWater = std::max(d.HighWater, static_cast<std::uint32_t>(end));
  }
  return std::nullopt;
}

TCheck ReserveTrack(TDisc& d, std::uint32_t blocks) {
  if (!IsSequential(d.Media)) return sense::IncompatibleMedium;
  if (!InvisibleTrackExists(d)) return sense::CommandSequenceError;
  if (blocks == 0) return sense::InvalidFieldInCdb;
  if (!IsCd(d.Media)) blocks = RoundUp(blocks, TrackUnit(d.Media));
  const std::uint32_t start = NextTrackStart(d);
  if (std::uint64_t{start} + blocks > d.Capacity) return sense::InvalidFieldInCdb;
  d.Tracks.push_back(TTrack{start, blocks, 0, static_cast<std::uint16_t>(d.ClosedSessions + 1), false});
  return std::nullopt;
}

TCheck Close(TDisc& d, std::uint8_t function, std::uint16_t track, bool nextSessionAllowed) {
  if (IsRom(d.Media)) return sense::CannotWriteMedium;
  if (IsOverwritable(d.Media)) {
    // DVD+RW: 0 stops a background format, 1-3 close or de-ice; restricted
    // overwrite accepts the session closes as no-ops. DVD-RAM has nothing to close.
    if (d.Media == TMedia::DvdPlusRw && function <= 3) return std::nullopt;
    if (d.Media == TMedia::DvdRwRo && function >= 1 && function <= 3) return std::nullopt;
    // BD-RE: nothing to close, and no background format to stop.
    return sense::InvalidFieldInCdb;
  }
  if (function == 1) {
    if (track == 0 || track > d.Tracks.size() + 1) return sense::InvalidFieldInCdb;
    if (track == d.Tracks.size() + 1) {
      // The invisible track: nothing recorded, nothing to close.
      return InvisibleTrackExists(d) ? std::nullopt : TCheck(sense::InvalidFieldInCdb);
    }
    d.Tracks[track - 1u].Closed = true;
    return std::nullopt;
  }
  // DVD+R and BD-R close sessions alike; BD-R finalizes with function 6 only (MMC-6, CLOSE TRACK SESSION).
  const bool plus = IsDvdPlusSequential(d.Media) || IsBdR(d.Media);
  const bool finalizeFunction = IsBdR(d.Media) ? function == 6 : function == 5 || (plus && function == 6);
  if (function != 2 && !finalizeFunction) return sense::InvalidFieldInCdb;
  const auto openSession = static_cast<std::uint16_t>(d.ClosedSessions + 1);
  const bool openTracks = !d.Tracks.empty() && d.Tracks.back().Session == openSession;
  if (!openTracks) {
    if (d.Finalized || !finalizeFunction || d.ClosedSessions == 0) return sense::CommandSequenceError;
    d.Finalized = true;
    return std::nullopt;
  }
  for (auto& t : d.Tracks)
    if (t.Session == openSession) t.Closed = true;
  d.ClosedSessions = openSession;
  // CD and DVD-R/-RW take "next session allowed" from the write parameters page.
  d.Finalized = finalizeFunction || (!plus && !nextSessionAllowed);
  if (!d.Finalized && !InvisibleTrackExists(d)) d.Finalized = true;  // no room for another session
  return std::nullopt;
}

TCheck Blank(TDisc& d, std::uint8_t type) {
  if (d.Media != TMedia::CdRw && d.Media != TMedia::DvdRw && d.Media != TMedia::DvdRwRo)
    return sense::IncompatibleMedium;
  if (type > 1) return sense::InvalidFieldInCdb;
  // Blanking returns a restricted-overwrite DVD-RW to sequential recording.
  d = BlankDisc(d.Media == TMedia::CdRw ? TMedia::CdRw : TMedia::DvdRw, d.Capacity);
  return std::nullopt;
}

std::vector<std::uint32_t> BdSpareChoices(const TDisc& d) {
  if (!IsBdR(d.Media) && !IsBdRe(d.Media)) return {};
  const std::uint32_t raw = d.Capacity + d.SpareBlocks;
  if (raw < DefaultCapacity(d.Media)) {
    // A rehearsal disc made smaller than real ones: spare areas in proportion.
    return {0, raw / 32 / kBdCluster * kBdCluster, raw / 16 / kBdCluster * kBdCluster, raw / 8 / kBdCluster * kBdCluster};
  }
  const std::uint32_t layers = IsDualLayer(d.Media) ? 2 : 1;
  return {0, 131072 * layers, 393216 * layers, 655360 * layers};
}

std::uint32_t BdDefaultSpare(const TDisc& d) {
  const auto choices = BdSpareChoices(d);
  return choices.size() > 2 ? choices[2] : 0;
}

namespace {

// Blocks given as the user area size: the spare area they leave must be one the disc offers.
std::optional<std::uint32_t> SpareForUserBlocks(const TDisc& d, std::uint32_t blocks) {
  const std::uint32_t raw = d.Capacity + d.SpareBlocks;
  for (std::uint32_t spare : BdSpareChoices(d))
    if (spare != 0 && raw - spare == blocks) return spare;
  return std::nullopt;
}

// MMC-6, FORMAT UNIT: BD-RE types 00h (default spare areas), 30h (the spare areas
// the user size leaves) and 31h (none); BD-R type 32h while blank.
TCheck FormatBd(TDisc& d, std::uint32_t blocks, std::uint8_t type, std::uint8_t subType) {
  const std::uint32_t raw = d.Capacity + d.SpareBlocks;
  std::optional<std::uint32_t> spare;
  if (IsBdR(d.Media)) {
    if (type != 0x32) return sense::InvalidFieldInList;
    if (Status(d) != TDiscStatus::Empty || d.SpareBlocks != 0) return sense::CannotWriteMedium;  // formatted once, for good
    spare = SpareForUserBlocks(d, blocks);
  } else if (type == 0x00) {
    spare = BdDefaultSpare(d);
  } else if (type == 0x30) {
    // Sub-types 00b quick reformat, 10b full certification, 11b quick certification.
    if (subType == 0x01) return sense::InvalidFieldInList;
    spare = SpareForUserBlocks(d, blocks);
  } else if (type == 0x31) {
    if (subType != 0x00 && subType != 0x01) return sense::InvalidFieldInList;
    spare = 0;
  } else {
    return sense::InvalidFieldInList;
  }
  if (!spare) return sense::InvalidFieldInList;
  const TMedia media = d.Media;
  d = BlankDisc(media, raw);
  d.Capacity = raw - *spare;
  d.SpareBlocks = *spare;
  if (IsBdRe(media)) d.FormattedBlocks = d.Capacity;
  return std::nullopt;
}

}  // namespace

TCheck Format(TDisc& d, std::uint32_t blocks, std::uint8_t type, std::uint8_t subType) {
  if (IsBdR(d.Media) || IsBdRe(d.Media)) return FormatBd(d, blocks, type, subType);
  switch (d.Media) {
    case TMedia::DvdPlusRw:
      if (type != 0x26) return sense::InvalidFieldInList;
      // The drive formats the whole disc whatever count is given.
      d = BlankDisc(TMedia::DvdPlusRw, d.Capacity);
      d.FormattedBlocks = d.Capacity;
      return std::nullopt;
    case TMedia::DvdRw:
    case TMedia::DvdRwRo: {
      const std::uint32_t capacity = d.Capacity;
      if (type == 0x00) {
        d = BlankDisc(TMedia::DvdRwRo, capacity);
      } else if (type == 0x10) {
        d = BlankDisc(TMedia::DvdRw, capacity);
      } else if (type == 0x13) {
        if (d.Media != TMedia::DvdRwRo) return sense::InvalidFieldInList;
        d.FormattedBlocks = capacity;  // quick grow of the last session
      } else if (type == 0x15) {
        d = BlankDisc(TMedia::DvdRwRo, capacity);
        if (blocks != 0) d.FormattedBlocks = std::min(RoundUp(blocks, kEccBlock), capacity);
      } else {
        return sense::InvalidFieldInList;
      }
      return std::nullopt;
    }
    case TMedia::DvdRam:
      if (type == 0x01) return std::nullopt;  // spare area expansion
      if (type != 0x00) return sense::InvalidFieldInList;
      d = BlankDisc(TMedia::DvdRam, d.Capacity);
      return std::nullopt;
    case TMedia::CdRw: return sense::InvalidFieldInList;
    default: return sense::IncompatibleMedium;
  }
}

}  // namespace vdrive
