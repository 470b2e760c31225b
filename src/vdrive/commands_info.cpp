// What the drive tells about its disc: disc and track information, the TOC
// with its session and ATIP forms, capacities, format capacities and the
// feature list of GET CONFIGURATION.
#include <algorithm>

#include "vdrive/drive.h"
#include "vdrive/records.h"

namespace vdrive {

namespace {

// ATIP lead-in start of a typical 80-minute disc, 97:26:66.
constexpr std::int64_t kAtipLeadInLba = -11634;
constexpr std::uint32_t kNoAddress = 0xFFFFFFFFu;

std::uint8_t Lsb(std::uint16_t v) { return static_cast<std::uint8_t>(v); }
std::uint8_t Msb(std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); }

// Tracks that READ TOC lists: those of closed sessions, or the one track of
// an overwritable or pressed disc.
std::vector<TTrackView> TocTracks(const TDisc& d) {
  std::vector<TTrackView> out;
  if (IsOverwritable(d.Media)) {
    if (d.FormattedBlocks != 0) out = TrackViews(d);
    return out;
  }
  for (const auto& v : TrackViews(d))
    if (!v.Invisible && v.Session <= d.ClosedSessions) out.push_back(v);
  return out;
}

std::uint8_t AdrControl(const TTrackView& v) { return v.Incremental ? 0x15 : 0x14; }  // ADR 1, data track

std::uint32_t Address(std::int64_t lba, bool msf) {
  return msf ? MsfField(lba) : static_cast<std::uint32_t>(lba);
}

struct TFeature {
  std::uint16_t Code;
  bool Current;
  std::vector<std::uint8_t> Data;  // after the 4-byte descriptor header
  std::uint8_t Version = 0;
  bool Persistent = false;
};

}  // namespace

// MMC-5 6.22: standard disc information.
TCheck TVirtualRecorder::ReadDiscInformation(TCommand& c) {
  if (auto m = RequireMedium()) return m;
  if ((CdbByte(c.Cdb, 1) & 0x07) != 0) return sense::InvalidFieldInCdb;
  const TDisc& d = FFile->State().Disc;
  const auto views = TrackViews(d);
  TDiscInformation r;
  r.Length.Set(sizeof(TDiscInformation) - 2);
  r.Status = static_cast<std::uint8_t>((IsErasable(d.Media) ? 0x10 : 0) |
                                       (static_cast<std::uint8_t>(LastSessionState(d)) << 2) |
                                       static_cast<std::uint8_t>(Status(d)));
  const std::uint16_t sessions = SessionCount(d);
  r.SessionsLsb = Lsb(sessions);
  r.SessionsMsb = Msb(sessions);
  std::uint16_t first = 0, last = 0;
  for (const auto& v : views) {
    if (v.Session != sessions) continue;
    if (first == 0) first = v.Number;
    last = v.Number;
  }
  r.FirstTrackLastSessionLsb = Lsb(first);
  r.FirstTrackLastSessionMsb = Msb(first);
  r.LastTrackLastSessionLsb = Lsb(last);
  r.LastTrackLastSessionMsb = Msb(last);
  r.Validity = 0x20;  // URU: unrestricted use
  if (d.Media == TMedia::DvdPlusRw) r.Validity |= d.FormattedBlocks != 0 ? 0x03 : 0x00;  // background format complete
  if (Status(d) == TDiscStatus::Complete) {
    r.LastSessionLeadIn.Set(kNoAddress);
    r.LastPossibleLeadOut.Set(kNoAddress);
  } else if (IsCd(d.Media)) {
    const std::uint32_t next = NextTrackStart(d);
    r.LastSessionLeadIn.Set(MsfField(d.Tracks.empty() ? kAtipLeadInLba : std::int64_t{next} - 4650));
    r.LastPossibleLeadOut.Set(MsfField(d.Capacity));
  } else {
    r.LastSessionLeadIn.Set(d.Tracks.empty() ? 0 : NextTrackStart(d));
    r.LastPossibleLeadOut.Set(d.Capacity);
  }
  Respond(c, Bytes(r), CdbField(c.Cdb, 7, 2));
  return std::nullopt;
}

// MMC-5 6.27: by LBA (type 0), track number (1; FFh names the invisible or
// incomplete track) or session number (2).
TCheck TVirtualRecorder::ReadTrackInformation(TCommand& c) {
  if (auto m = RequireMedium()) return m;
  const TDisc& d = FFile->State().Disc;
  const auto views = TrackViews(d);
  const std::uint8_t type = CdbByte(c.Cdb, 1) & 0x03;
  const std::uint32_t number = CdbField(c.Cdb, 2, 4);
  const TTrackView* v = nullptr;
  if (type == 0) {
    for (const auto& t : views)
      if (number >= t.Start && number - t.Start < t.Size) v = &t;
    if (v == nullptr) return sense::LbaOutOfRange;
  } else if (type == 1) {
    if (number == 0xFF && IsSequential(d.Media)) {
      if (!views.empty() && views.back().NextWritableValid) v = &views.back();
    } else {
      for (const auto& t : views)
        if (t.Number == number || (number == 0xFF && !IsSequential(d.Media))) v = &t;
    }
  } else if (type == 2) {
    for (const auto& t : views)
      if (t.Session == number && v == nullptr) v = &t;
  }
  if (v == nullptr) return sense::InvalidFieldInCdb;
  TTrackInformation r;
  r.Length.Set(sizeof(TTrackInformation) - 2);
  r.TrackLsb = Lsb(v->Number);
  r.TrackMsb = Msb(v->Number);
  r.SessionLsb = Lsb(v->Session);
  r.SessionMsb = Msb(v->Session);
  r.TrackModeByte = v->Incremental ? 0x05 : 0x04;
  r.DataModeByte = static_cast<std::uint8_t>((v->Reserved ? 0x80 : 0) | (v->Blank ? 0x40 : 0) |
                                             (v->Incremental ? 0x20 : 0) | (v->Blank ? 0x0F : 0x01));
  r.ValidFlags = static_cast<std::uint8_t>((v->LastRecordedValid ? 0x02 : 0) | (v->NextWritableValid ? 0x01 : 0));
  r.TrackStart.Set(v->Start);
  r.NextWritable.Set(v->NextWritableValid ? v->NextWritable : 0);
  r.FreeBlocks.Set(v->FreeBlocks);
  r.FixedPacketSize.Set(IsCd(d.Media) ? 0 : IsBd(d.Media) ? kBdCluster : 16);  // the ECC block or BD cluster
  r.TrackSize.Set(v->Size);
  r.LastRecorded.Set(v->LastRecordedValid ? v->LastRecorded : 0);
  Respond(c, Bytes(r), CdbField(c.Cdb, 7, 2));
  return std::nullopt;
}

// MMC-5 6.26: formats 0 (TOC), 1 (session information) and 4 (ATIP).
TCheck TVirtualRecorder::ReadToc(TCommand& c) {
  if (auto m = RequireMedium()) return m;
  const TDisc& d = FFile->State().Disc;
  const bool msf = (CdbByte(c.Cdb, 1) & 0x02) != 0;
  std::uint8_t format = CdbByte(c.Cdb, 2) & 0x0F;
  if (format == 0) format = CdbByte(c.Cdb, 9) >> 6;  // older drives took the format from the control byte
  const std::uint8_t number = CdbByte(c.Cdb, 6);
  std::vector<std::uint8_t> reply(4, 0);
  if (format == 4) {
    if (d.Media != TMedia::CdR && d.Media != TMedia::CdRw) return sense::InvalidFieldInCdb;
    TAtipDescriptor a;
    a.WritingPower = 0xD0;  // indicative target writing power 5
    if (d.Media == TMedia::CdRw) a.DiscTypeByte |= 0x40;
    const TMsf in = ToMsf(kAtipLeadInLba), out = ToMsf(d.Capacity);
    a.LeadInStart = {in.M, in.S, in.F, 0};
    a.LastLeadOut = {out.M, out.S, out.F, 0};
    Append(reply, a);
  } else if (format == 0 || format == 1) {
    const auto tracks = TocTracks(d);
    if (tracks.empty()) return sense::InvalidFieldInCdb;  // nothing closed yet
    const TTrackView& lastTrack = tracks.back();
    if (format == 0) {
      const std::uint8_t from = number == 0 ? 1 : number;
      if (from != 0xAA && from > lastTrack.Number) return sense::InvalidFieldInCdb;
      reply[2] = static_cast<std::uint8_t>(tracks.front().Number);
      reply[3] = static_cast<std::uint8_t>(lastTrack.Number);
      for (const auto& t : tracks) {
        if (from == 0xAA || t.Number < from) continue;
        TTocDescriptor td;
        td.AdrControl = AdrControl(t);
        td.Track = static_cast<std::uint8_t>(t.Number);
        td.Address.Set(Address(t.Start, msf));
        Append(reply, td);
      }
      TTocDescriptor leadOut;
      leadOut.AdrControl = AdrControl(lastTrack);
      leadOut.Track = 0xAA;
      leadOut.Address.Set(Address(std::int64_t{lastTrack.Start} + lastTrack.Size, msf));
      Append(reply, leadOut);
    } else {
      const std::uint16_t lastSession = lastTrack.Session;
      const auto firstOfLast =
          std::find_if(tracks.begin(), tracks.end(), [&](const TTrackView& t) { return t.Session == lastSession; });
      reply[2] = 1;
      reply[3] = static_cast<std::uint8_t>(lastSession);
      TTocDescriptor td;
      td.AdrControl = AdrControl(*firstOfLast);
      td.Track = static_cast<std::uint8_t>(firstOfLast->Number);
      td.Address.Set(Address(firstOfLast->Start, msf));
      Append(reply, td);
    }
  } else {
    return sense::InvalidFieldInCdb;
  }
  const auto length = static_cast<std::uint16_t>(reply.size() - 2);
  reply[0] = Msb(length);
  reply[1] = Lsb(length);
  Respond(c, reply, CdbField(c.Cdb, 7, 2));
  return std::nullopt;
}

// MMC-5 6.21: last logical block and block length.
TCheck TVirtualRecorder::ReadCapacity(TCommand& c) {
  if (auto m = RequireMedium()) return m;
  std::vector<std::uint8_t> r(8, 0);
  const std::uint32_t last = LastLba(FFile->State().Disc);
  PutField(r, 0, 4, last);
  PutField(r, 4, 4, kSectorSize);
  Respond(c, r, 8);
  return std::nullopt;
}

// MMC-5 6.24: the current/maximum descriptor, then the formattable ones.
TCheck TVirtualRecorder::ReadFormatCapacities(TCommand& c) {
  std::vector<TCapacityDescriptor> list;
  const auto add = [&list](std::uint32_t blocks, std::uint8_t typeByte, std::uint32_t parameter) {
    TCapacityDescriptor dsc;
    dsc.Blocks.Set(blocks);
    dsc.TypeByte = typeByte;
    dsc.Parameter.Set(parameter);
    list.push_back(dsc);
  };
  enum : std::uint8_t { kUnformatted = 1, kFormatted = 2, kNoMedia = 3 };
  if (RequireMedium()) {
    add(DefaultCapacity(TMedia::DvdPlusRDl), kNoMedia, kSectorSize);
  } else {
    const TDisc& d = FFile->State().Disc;
    if (IsRom(d.Media)) add(d.Tracks.front().Written, kFormatted, kSectorSize);
    else if (IsOverwritable(d.Media) && d.FormattedBlocks != 0) add(d.FormattedBlocks, kFormatted, kSectorSize);
    else add(d.Capacity, Status(d) == TDiscStatus::Complete ? kFormatted : kUnformatted, kSectorSize);
    switch (d.Media) {
      case TMedia::DvdPlusRw: add(d.Capacity, 0x26 << 2, 0); break;
      case TMedia::DvdRw:
      case TMedia::DvdRwRo:
        add(d.Capacity, 0x00 << 2, 16);
        add(d.Capacity, 0x10 << 2, 16);
        if (d.Media == TMedia::DvdRwRo) add(d.Capacity, 0x13 << 2, 16);
        add(d.Capacity, 0x15 << 2, 16);
        break;
      case TMedia::DvdRam: add(d.Capacity, 0x00 << 2, kSectorSize); break;
      case TMedia::BdRe:
      case TMedia::BdReDl: {
        // MMC-6, READ FORMAT CAPACITIES: 00h the default spare areas, 30h each size offered, 31h none.
        const std::uint32_t raw = d.Capacity + d.SpareBlocks;
        const std::uint32_t spare = BdDefaultSpare(d);
        add(raw - spare, 0x00 << 2, spare);
        for (std::uint32_t s : BdSpareChoices(d))
          if (s != 0) add(raw - s, 0x30 << 2, s);
        add(raw, 0x31 << 2, 0);
        break;
      }
      case TMedia::BdR:
      case TMedia::BdRDl:
        // Type 32h (spare areas) while the disc is blank and unformatted; without them it needs no format.
        if (Status(d) == TDiscStatus::Empty && d.SpareBlocks == 0)
          for (std::uint32_t s : BdSpareChoices(d))
            if (s != 0) add(d.Capacity - s, 0x32 << 2, s);
        break;
      default: break;
    }
  }
  std::vector<std::uint8_t> reply(4, 0);
  reply[3] = static_cast<std::uint8_t>(list.size() * sizeof(TCapacityDescriptor));
  for (const auto& dsc : list) Append(reply, dsc);
  Respond(c, reply, CdbField(c.Cdb, 7, 2));
  return std::nullopt;
}

// MMC-6, READ DISC STRUCTURE for BD (media type 1), format 0Ah, the
// spare area information: free and allocated spare blocks.
TCheck TVirtualRecorder::ReadDiscStructure(TCommand& c) {
  if (auto m = RequireMedium()) return m;
  const TDisc& d = FFile->State().Disc;
  if ((CdbByte(c.Cdb, 1) & 0x0F) != 1 || !IsBd(d.Media)) return sense::InvalidFieldInCdb;
  if (CdbByte(c.Cdb, 7) != 0x0A || IsRom(d.Media)) return sense::InvalidFieldInCdb;
  std::vector<std::uint8_t> r(16, 0);
  PutField(r, 0, 2, 14);
  PutField(r, 8, 4, d.SpareBlocks);  // nothing replaced yet: all of it free
  PutField(r, 12, 4, d.SpareBlocks);
  Respond(c, r, CdbField(c.Cdb, 8, 2));
  return std::nullopt;
}

// MMC-5 6.6 and 5.3: RT 0 all features from the starting one, 1 the current
// ones, 2 the starting feature alone.
TCheck TVirtualRecorder::GetConfiguration(TCommand& c) {
  const std::uint8_t rt = CdbByte(c.Cdb, 1) & 0x03;
  if (rt == 3) return sense::InvalidFieldInCdb;
  const std::uint32_t start = CdbField(c.Cdb, 2, 2);
  const bool present = !RequireMedium();
  const std::optional<TMedia> m = present ? std::optional<TMedia>(FFile->State().Disc.Media) : std::nullopt;
  const auto is = [&m](std::initializer_list<TMedia> any) {
    return m && std::find(any.begin(), any.end(), *m) != any.end();
  };
  const std::uint16_t current = m ? Profile(*m) : 0;
  std::vector<TFeature> features;
  {
    TFeature f{0x0000, true, {}, 0, true};
    for (std::uint16_t p : std::initializer_list<std::uint16_t>{0x0043, 0x0041, 0x0040, 0x002B, 0x001B, 0x001A, 0x0014,
                                                                0x0013, 0x0012, 0x0011, 0x0010, 0x000A, 0x0009, 0x0008})
      f.Data.insert(f.Data.end(), {Msb(p), Lsb(p), static_cast<std::uint8_t>(p == current ? 1 : 0), 0});
    features.push_back(f);
  }
  features.push_back({0x0001, true, {0, 0, 0, 1, 0x01, 0, 0, 0}, 2, true});  // Core: SCSI, DBE
  features.push_back({0x0003, true, {0x29, 0, 0, 0}, 0, true});              // Removable medium: tray, eject, lock
  features.push_back({0x0010, present, {0, 0, 0x08, 0, 0, static_cast<std::uint8_t>(m && IsCd(*m) ? 1 : 16), 0, 0}});
  features.push_back({0x001E, m && IsCd(*m), {0, 0, 0, 0}, 1});
  features.push_back({0x001F, m && !IsCd(*m), {}});
  features.push_back({0x0020, is({TMedia::DvdRam, TMedia::DvdRwRo}) || (is({TMedia::DvdPlusRw}) && FFile->State().Disc.FormattedBlocks != 0),
                      {0, 0, 0, 0, 0, 0, 0x08, 0, 0, 16, 0, 0}, 1});
  features.push_back({0x0021, is({TMedia::CdR, TMedia::CdRw, TMedia::DvdR, TMedia::DvdRw}),
                      {0x00, 0x08, 0x01, 0x01, static_cast<std::uint8_t>(m && IsCd(*m) ? 7 : 16), 0, 0, 0}, 1});
  features.push_back({0x0023, is({TMedia::DvdPlusRw, TMedia::DvdRw, TMedia::DvdRwRo, TMedia::DvdRam}), {0, 0, 0, 0}});
  features.push_back({0x0026, is({TMedia::DvdRwRo}), {}});
  features.push_back({0x002A, is({TMedia::DvdPlusRw}), {0x01, 0x00, 0, 0}, 1});  // Write
  features.push_back({0x002B, is({TMedia::DvdPlusR}), {0x01, 0, 0, 0}});
  features.push_back({0x002D, is({TMedia::CdR, TMedia::CdRw}), {0x46, 0, 0, 0}, 2});  // BUF, test write, CD-RW
  features.push_back({0x002F, is({TMedia::DvdR, TMedia::DvdRw}), {0x46, 0, 0, 0}, 1});  // BUF, test write, DVD-RW SL
  features.push_back({0x003B, is({TMedia::DvdPlusRDl}), {0x01, 0, 0, 0}});
  // MMC-6 BD Read feature: bit maps of the versions read of BD-RE, BD-R and
  // BD-ROM class 0 (feature bytes 8, 16, 24; versions 1 and 2); BD
  // Write: SVNR 0, BD-RE and BD-R class 0 versions 1 and 2 written (bytes 8, 16).
  {
    TFeature f{0x0040, m && IsBd(*m), std::vector<std::uint8_t>(28, 0), 1};
    for (std::size_t at : {std::size_t{4}, std::size_t{12}, std::size_t{20}}) f.Data[at + 1] = 0x06;
    features.push_back(f);
  }
  {
    TFeature f{0x0041, is({TMedia::BdR, TMedia::BdRDl, TMedia::BdRe, TMedia::BdReDl}), std::vector<std::uint8_t>(20, 0), 1};
    for (std::size_t at : {std::size_t{4}, std::size_t{12}}) f.Data[at + 1] = 0x06;
    features.push_back(f);
  }
  std::vector<std::uint8_t> reply;
  TFeatureHeader h;
  h.CurrentProfile.Set(current);
  Append(reply, h);
  for (const auto& f : features) {
    const bool wanted = rt == 2 ? f.Code == start : f.Code >= start && (rt == 0 || f.Current);
    if (!wanted) continue;
    reply.insert(reply.end(), {Msb(f.Code), Lsb(f.Code),
                               static_cast<std::uint8_t>((f.Version << 2) | (f.Persistent ? 0x02 : 0) | (f.Current ? 0x01 : 0)),
                               static_cast<std::uint8_t>(f.Data.size())});
    reply.insert(reply.end(), f.Data.begin(), f.Data.end());
  }
  const auto length = static_cast<std::uint32_t>(reply.size() - 4);
  PutField(reply, 0, 4, length);
  Respond(c, reply, CdbField(c.Cdb, 7, 2));
  return std::nullopt;
}

}  // namespace vdrive
