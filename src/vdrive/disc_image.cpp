#include "vdrive/disc_image.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <random>
#include <filesystem>

#include "base/byte_order.h"
#include "base/span_io.h"
#include "platform/file_stream.h"
#include "platform/utf8_path.h"

namespace vdrive {

namespace {

using base::ErrorKind;
using base::MakeError;

constexpr char kFileMagic[8] = {'Z', 'A', 'N', 'T', 'I', 'C', 'V', 'D'};
constexpr char kSlotMagic[8] = {'V', 'D', 'S', 'T', 'A', 'T', 'E', '1'};
constexpr std::uint32_t kFormatVersion = 1;
constexpr std::uint8_t kPayloadVersion = 1;

// File header (first 20 bytes of the 4 KiB header area).
struct TFileHeader {
  std::array<char, 8> Magic;
  base::Le32 Version;
  base::Le32 SlotSize;
  base::Le32 DataOffset;
};
static_assert(sizeof(TFileHeader) == 20);

// Slot header; the CRC covers the sequence, the length and the payload.
struct TSlotHeader {
  std::array<char, 8> Magic;
  base::LeField<std::uint64_t, 8> Sequence;
  base::Le32 Length;
  base::Le32 Crc;
};
static_assert(sizeof(TSlotHeader) == 24);

// Reads up to n bytes; fewer only at the end of the file.
bool PreadAll(const platform::FileStream& file, std::uint8_t* p, std::size_t n, std::uint64_t offset,
              std::size_t& got) {
  const std::int64_t r = file.ReadAt(offset, p, n);
  got = r > 0 ? static_cast<std::size_t>(r) : 0;
  return r >= 0;
}

base::Status PwriteAll(platform::FileStream& file, const std::uint8_t* p, std::size_t n, std::uint64_t offset,
                       const std::string& path) {
  base::Status written = file.WriteAt(offset, p, n);
  if (!written) return MakeError(ErrorKind::System, path + ": " + written.Err().Message);
  return written;
}

std::uint32_t SlotCrc(std::uint64_t sequence, std::uint32_t length, std::span<const std::uint8_t> payload) {
  std::vector<std::uint8_t> bytes;
  base::ByteWriter w(bytes);
  w.Put(base::LeField<std::uint64_t, 8>(sequence));
  w.Put(base::Le32(length));
  w.PutBytes(payload);
  return Crc32(bytes);
}

template <typename T>
bool ReadLe(base::SpanReader& r, T& out) {
  auto v = r.Read<base::LeField<T, sizeof(T)>>();
  if (!v) return false;
  out = v->Get();
  return true;
}

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::vector<std::uint8_t> EncodeState(const TStoredState& s) {
  std::vector<std::uint8_t> out;
  base::ByteWriter w(out);
  const TDisc& d = s.Disc;
  w.PutU8(kPayloadVersion);
  w.PutU8(static_cast<std::uint8_t>(d.Media));
  w.Put(base::Le32(d.Capacity));
  w.Put(base::Le32(d.FormattedBlocks));
  w.Put(base::Le32(d.HighWater));
  w.Put(base::Le16(d.ClosedSessions));
  w.PutU8(d.Finalized ? 1 : 0);
  w.Put(base::Le16(static_cast<std::uint16_t>(d.Tracks.size())));
  for (const auto& t : d.Tracks) {
    w.Put(base::Le32(t.Start));
    w.Put(base::Le32(t.Reserved));
    w.Put(base::Le32(t.Written));
    w.Put(base::Le16(t.Session));
    w.PutU8(t.Closed ? 1 : 0);
  }
  const TFaults& f = s.Faults;
  w.Put(base::Le32(f.BusyCommands));
  w.Put(base::Le32(f.NotReadyCommands));
  w.PutU8(f.NeverReady ? 1 : 0);
  w.Put(base::Le32(f.ReadErrorLba));
  w.Put(base::Le32(f.WriteErrorLba));
  w.Put(base::Le16(f.RefuseOpcode));
  w.PutU8(f.RefuseAlways ? 1 : 0);
  w.Put(base::Le32(f.CrashAfterSectors));
  w.Put(base::Le32(f.ThrottleKBps));
  // Damage and then the spare areas are optional tails, so discs saved
  // before they existed still load; the spare areas need the damage count before them.
  if (!f.Damage.empty() || d.SpareBlocks != 0) {
    w.Put(base::Le16(static_cast<std::uint16_t>(f.Damage.size())));
    for (const auto& dmg : f.Damage) {
      w.Put(base::Le32(dmg.Start));
      w.Put(base::Le32(dmg.Count));
      w.PutU8(static_cast<std::uint8_t>(dmg.Kind));
      w.PutU8(dmg.Tries);
    }
  }
  if (d.SpareBlocks != 0) w.Put(base::Le32(d.SpareBlocks));
  return out;
}

base::Result<TStoredState> DecodeState(std::span<const std::uint8_t> payload) {
  base::SpanReader r(payload);
  const auto bad = [](const std::string& why) { return MakeError(ErrorKind::InvalidData, "damaged disc state: " + why); };
  TStoredState s;
  TDisc& d = s.Disc;
  auto version = r.U8();
  if (!version || *version != kPayloadVersion) return bad("unknown state version");
  auto media = r.U8();
  if (!media || !MediaFromByte(*media)) return bad("unknown medium");
  d.Media = *MediaFromByte(*media);
  std::uint16_t trackCount = 0;
  std::uint8_t finalized = 0;
  if (!ReadLe(r, d.Capacity) || !ReadLe(r, d.FormattedBlocks) || !ReadLe(r, d.HighWater) ||
      !ReadLe(r, d.ClosedSessions) || !ReadLe(r, finalized) || !ReadLe(r, trackCount))
    return bad("truncated");
  if (finalized > 1) return bad("bad flag");
  d.Finalized = finalized == 1;
  if (trackCount > 99) return bad("too many tracks");
  for (std::uint16_t i = 0; i < trackCount; ++i) {
    TTrack t;
    std::uint8_t closed = 0;
    if (!ReadLe(r, t.Start) || !ReadLe(r, t.Reserved) || !ReadLe(r, t.Written) || !ReadLe(r, t.Session) ||
        !ReadLe(r, closed))
      return bad("truncated track list");
    if (closed > 1) return bad("bad flag");
    t.Closed = closed == 1;
    d.Tracks.push_back(t);
  }
  TFaults& f = s.Faults;
  std::uint8_t neverReady = 0, refuseAlways = 0;
  if (!ReadLe(r, f.BusyCommands) || !ReadLe(r, f.NotReadyCommands) || !ReadLe(r, neverReady) ||
      !ReadLe(r, f.ReadErrorLba) || !ReadLe(r, f.WriteErrorLba) || !ReadLe(r, f.RefuseOpcode) ||
      !ReadLe(r, refuseAlways) || !ReadLe(r, f.CrashAfterSectors) || !ReadLe(r, f.ThrottleKBps))
    return bad("truncated fault list");
  if (neverReady > 1 || refuseAlways > 1) return bad("bad flag");
  if (f.RefuseOpcode != kNoOpcode && f.RefuseOpcode > 0xFF) return bad("bad opcode");
  f.NeverReady = neverReady == 1;
  f.RefuseAlways = refuseAlways == 1;
  if (r.Remaining() != 0) {
    std::uint16_t count = 0;
    if (!ReadLe(r, count) || count > kMaxDamage) return bad("bad damage list");
    for (std::uint16_t i = 0; i < count; ++i) {
      TDamage dmg;
      std::uint8_t kind = 0;
      if (!ReadLe(r, dmg.Start) || !ReadLe(r, dmg.Count) || !ReadLe(r, kind) || !ReadLe(r, dmg.Tries))
        return bad("truncated damage list");
      if (kind < 1 || kind > 3 || dmg.Count == 0 || std::uint64_t{dmg.Start} + dmg.Count > 0x100000000ull)
        return bad("bad damage range");
      dmg.Kind = static_cast<TDamageKind>(kind);
      f.Damage.push_back(dmg);
    }
    if (count == 0 && r.Remaining() == 0) return bad("bad damage list");  // an empty list only before spare areas
  }
  if (r.Remaining() != 0 && (!ReadLe(r, d.SpareBlocks) || d.SpareBlocks == 0)) return bad("bad spare areas");
  if (r.Remaining() != 0) return bad("trailing bytes");
  if (auto why = Validate(d); !why.empty()) return bad(why);
  return s;
}

TDiscFile::~TDiscFile() { Unlock(); }

namespace {

// A disc file is made under this name and renamed into place when complete,
// so that a failure or a kill never leaves a damaged disc under the name.
std::string TemporaryNameFor(const std::string& path) {
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%08x", std::random_device{}());
  return path + ".part-" + suffix;
}

base::Status RefuseExisting(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::symlink_status(platform::Utf8Path(path), ec).type() != std::filesystem::file_type::not_found)
    return MakeError(ErrorKind::InvalidInput, "cannot create " + path + ": it exists");
  return base::Ok();
}

}  // namespace

base::Result<std::unique_ptr<TDiscFile>> TDiscFile::CreateAt(const std::string& path, const TDisc& disc) {
  auto opened = platform::FileStream::Open(path, platform::OpenMode::CreateNew);
  if (!opened) return opened.Err();
  // Blank areas of the disc cost no space.
  opened.Value().MakeSparse();
  std::unique_ptr<TDiscFile> file(new TDiscFile(path, std::move(opened.Value())));
  std::array<std::uint8_t, kHeaderSize> header{};
  TFileHeader h{};
  std::memcpy(h.Magic.data(), kFileMagic, sizeof kFileMagic);
  h.Version.Set(kFormatVersion);
  h.SlotSize.Set(static_cast<std::uint32_t>(kSlotSize));
  h.DataOffset.Set(static_cast<std::uint32_t>(kDataOffset));
  std::memcpy(header.data(), &h, sizeof h);
  if (auto st = PwriteAll(file->FFile, header.data(), header.size(), 0, path); !st) return st.Err();
  if (auto st = file->FFile.Truncate(kDataOffset); !st) return MakeError(ErrorKind::System, path + ": " + st.Err().Message);
  if (auto st = file->Save(TStoredState{disc, {}}); !st) return st.Err();
  return file;
}

base::Status TDiscFile::MoveInto(const std::string& path) {
  if (auto st = Sync(); !st) return st;
  if (auto st = platform::RenameNoReplace(FPath, path); !st) return st;
  FPath = path;
  return base::Ok();
}

base::Result<std::unique_ptr<TDiscFile>> TDiscFile::Create(const std::string& path, const TDisc& disc) {
  if (auto why = Validate(disc); !why.empty()) return MakeError(ErrorKind::InvalidInput, why);
  if (auto st = RefuseExisting(path); !st) return st.Err();
  const std::string temp = TemporaryNameFor(path);
  auto created = CreateAt(temp, disc);
  if (!created) {
    platform::RemoveFile(temp);
    return created.Err();
  }
  if (auto st = created.Value()->MoveInto(path); !st) {
    created.Value().reset();  // closed before it is removed
    platform::RemoveFile(temp);
    return st.Err();
  }
  return created;
}

base::Result<std::unique_ptr<TDiscFile>> TDiscFile::Press(const std::string& path, TMedia media,
                                                          const std::string& imagePath) {
  if (!IsRom(media)) return MakeError(ErrorKind::InvalidInput, "only cd-rom, dvd-rom and bd-rom discs are pressed");
  if (auto st = RefuseExisting(path); !st) return st.Err();
  auto opened = platform::FileStream::OpenImage(imagePath);
  if (!opened) return opened.Err();
  platform::FileStream& in = opened.Value();
  const std::int64_t inSize = in.Size();
  const std::uint64_t size = inSize > 0 ? static_cast<std::uint64_t>(inSize) : 0;
  const std::uint64_t blocks = (size + kSectorSize - 1) / kSectorSize;
  const std::uint64_t limit = media == TMedia::CdRom    ? DefaultCapacity(TMedia::CdRom)
                              : media == TMedia::BdRom ? DefaultCapacity(TMedia::BdRDl)
                                                       : DefaultCapacity(TMedia::DvdPlusRDl);
  if (blocks == 0 || blocks > limit)
    return MakeError(ErrorKind::InvalidInput, imagePath + ": image size does not fit a " + MediaName(media));
  // Sectors first, then the state that makes them visible.
  const std::string temp = TemporaryNameFor(path);
  auto created = CreateAt(temp, BlankDisc(TMedia::DvdR, 16));
  if (!created) {
    platform::RemoveFile(temp);
    return created.Err();
  }
  auto file = std::move(created.Value());
  std::vector<std::uint8_t> chunk(256 * kSectorSize);
  std::uint64_t done = 0;
  const auto fail = [&](base::Error error) -> base::Result<std::unique_ptr<TDiscFile>> {
    file.reset();
    platform::RemoveFile(temp);
    return error;
  };
  while (done < size) {
    std::size_t got = 0;
    if (!PreadAll(in, chunk.data(), chunk.size(), done, got) || got == 0)
      return fail(MakeError(ErrorKind::System, "cannot read " + imagePath));
    if (auto st = PwriteAll(file->FFile, chunk.data(), got, kDataOffset + done, temp); !st) return fail(st.Err());
    done += got;
  }
  if (auto s = file->Save(TStoredState{PressedDisc(media, static_cast<std::uint32_t>(blocks)), {}}); !s)
    return fail(s.Err());
  if (auto s = file->MoveInto(path); !s) return fail(s.Err());
  return file;
}

base::Result<std::unique_ptr<TDiscFile>> TDiscFile::Open(const std::string& path) {
  auto opened = platform::FileStream::Open(path, platform::OpenMode::ReadWrite);
  if (!opened) return opened.Err();
  std::unique_ptr<TDiscFile> file(new TDiscFile(path, std::move(opened.Value())));
  if (auto st = file->Load(); !st) return st.Err();
  return file;
}

base::Status TDiscFile::Load() {
  std::array<std::uint8_t, sizeof(TFileHeader)> raw{};
  std::size_t got = 0;
  if (!PreadAll(FFile, raw.data(), raw.size(), 0, got)) return MakeError(ErrorKind::System, "cannot read " + FPath);
  base::SpanReader r(raw);
  auto h = r.Read<TFileHeader>();
  if (got != raw.size() || !h || std::memcmp(h->Magic.data(), kFileMagic, sizeof kFileMagic) != 0)
    return MakeError(ErrorKind::InvalidData, FPath + ": not a virtual disc file");
  if (h->Version.Get() != kFormatVersion || h->SlotSize.Get() != kSlotSize || h->DataOffset.Get() != kDataOffset)
    return MakeError(ErrorKind::InvalidData, FPath + ": unsupported virtual disc file version");
  bool found = false;
  std::string why = "no valid state slot";
  std::vector<std::uint8_t> slot(kSlotSize);
  for (std::uint64_t i = 0; i < 2; ++i) {
    if (!PreadAll(FFile, slot.data(), slot.size(), kHeaderSize + i * kSlotSize, got))
      return MakeError(ErrorKind::System, "cannot read " + FPath);
    base::SpanReader sr(std::span<const std::uint8_t>(slot.data(), got));
    auto sh = sr.Read<TSlotHeader>();
    if (!sh || std::memcmp(sh->Magic.data(), kSlotMagic, sizeof kSlotMagic) != 0) continue;
    const std::uint32_t length = sh->Length.Get();
    auto payload = sr.Bytes(length);
    if (length > kSlotSize - sizeof(TSlotHeader) || !payload) continue;
    if (SlotCrc(sh->Sequence.Get(), length, *payload) != sh->Crc.Get()) continue;
    if (found && sh->Sequence.Get() <= FSequence) continue;
    auto state = DecodeState(*payload);
    if (!state) {
      why = state.Err().Message;
      continue;
    }
    FState = std::move(state.Value());
    FSequence = sh->Sequence.Get();
    found = true;
  }
  if (!found) return MakeError(ErrorKind::InvalidData, FPath + ": " + why);
  return base::Ok();
}

base::Status TDiscFile::Save(const TStoredState& state) {
  const std::vector<std::uint8_t> payload = EncodeState(state);
  if (payload.size() > kSlotSize - sizeof(TSlotHeader)) return MakeError(ErrorKind::Internal, "state too large");
  const std::uint64_t sequence = FSequence + 1;
  TSlotHeader h{};
  std::memcpy(h.Magic.data(), kSlotMagic, sizeof kSlotMagic);
  h.Sequence.Set(sequence);
  h.Length.Set(static_cast<std::uint32_t>(payload.size()));
  h.Crc.Set(SlotCrc(sequence, static_cast<std::uint32_t>(payload.size()), payload));
  std::vector<std::uint8_t> bytes;
  base::ByteWriter w(bytes);
  w.Put(h);
  w.PutBytes(payload);
  // Slot by parity: the newest valid slot is never the one being overwritten.
  if (auto st = PwriteAll(FFile, bytes.data(), bytes.size(), kHeaderSize + (sequence % 2) * kSlotSize, FPath); !st)
    return st.Err();
  FSequence = sequence;
  FState = state;
  return base::Ok();
}

base::Result<bool> TDiscFile::Refresh() {
  std::array<std::uint8_t, sizeof(TSlotHeader)> raw{};
  std::uint64_t newest = 0;
  for (std::uint64_t i = 0; i < 2; ++i) {
    std::size_t got = 0;
    if (!PreadAll(FFile, raw.data(), raw.size(), kHeaderSize + i * kSlotSize, got) || got != raw.size()) continue;
    base::SpanReader r(raw);
    auto sh = r.Read<TSlotHeader>();
    if (sh && std::memcmp(sh->Magic.data(), kSlotMagic, sizeof kSlotMagic) == 0)
      newest = std::max(newest, sh->Sequence.Get());
  }
  if (newest <= FSequence) return false;
  const std::uint64_t before = FSequence;
  FSequence = 0;
  if (auto st = Load(); !st) {
    FSequence = before;
    return st.Err();
  }
  return FSequence != before;
}

base::Status TDiscFile::ReadSectors(std::uint32_t lba, std::uint32_t count, std::span<std::uint8_t> out) const {
  const std::size_t n = std::size_t{count} * kSectorSize;
  if (out.size() < n) return MakeError(ErrorKind::Internal, "short buffer");
  std::size_t got = 0;
  if (!PreadAll(FFile, out.data(), n, kDataOffset + std::uint64_t{lba} * kSectorSize, got))
    return MakeError(ErrorKind::System, "cannot read " + FPath);
  std::memset(out.data() + got, 0, n - got);
  return base::Ok();
}

base::Status TDiscFile::WriteSectors(std::uint32_t lba, std::uint32_t count, std::span<const std::uint8_t> in) {
  const std::size_t n = std::size_t{count} * kSectorSize;
  if (in.size() < n) return MakeError(ErrorKind::Internal, "short buffer");
  const std::uint64_t offset = kDataOffset + std::uint64_t{lba} * kSectorSize;
  // Zeros past the end of the file read back as zeros without being written,
  // so a disc holding a large sparse file stays small; inside the file they
  // are written, as they may replace earlier data.
  const auto size = FFile.Size();
  if (size >= 0 && offset >= static_cast<std::uint64_t>(size) &&
      std::all_of(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(n), [](std::uint8_t b) { return b == 0; }))
    return base::Ok();
  if (auto st = PwriteAll(FFile, in.data(), n, offset, FPath); !st) return st;
  // A recorder burns as the data arrive.
  FWriteback.Wrote(FFile, offset, n);
  return base::Ok();
}

base::Status TDiscFile::DiscardSectors() {
  if (auto st = FFile.Truncate(kDataOffset); !st) return MakeError(ErrorKind::System, FPath + ": " + st.Err().Message);
  return base::Ok();
}

base::Status TDiscFile::Sync() {
  if (auto st = FFile.Sync(); !st) return MakeError(ErrorKind::System, FPath + ": " + st.Err().Message);
  return base::Ok();
}

bool TDiscFile::Lock() { return FFile.TryLock(); }

void TDiscFile::Unlock() { FFile.Unlock(); }

std::string DescribeFaults(const TFaults& f) {
  std::string s;
  const auto line = [&s](const std::string& t) { s += "  " + t + "\n"; };
  if (f.BusyCommands != 0) line("busy for the next " + std::to_string(f.BusyCommands) + " commands");
  if (f.NotReadyCommands != 0) line("not ready for the next " + std::to_string(f.NotReadyCommands) + " commands");
  if (f.NeverReady) line("never ready");
  if (f.ReadErrorLba != kNoLba) line("medium error reading block " + std::to_string(f.ReadErrorLba));
  if (f.WriteErrorLba != kNoLba) line("write error at block " + std::to_string(f.WriteErrorLba));
  if (f.RefuseOpcode != kNoOpcode) {
    char op[8];
    std::snprintf(op, sizeof op, "%02Xh", f.RefuseOpcode);
    line(std::string("refuses command ") + op + (f.RefuseAlways ? " always" : " once"));
  }
  if (f.CrashAfterSectors != kNoCrash)
    line("crashes after " + std::to_string(f.CrashAfterSectors) + " more written sectors");
  if (f.ThrottleKBps != 0) line("buffer drains at " + std::to_string(f.ThrottleKBps) + " kB/s");
  for (const auto& d : f.Damage) {
    const std::string range = d.Count == 1 ? "block " + std::to_string(d.Start)
                                           : "blocks " + std::to_string(d.Start) + "-" +
                                                 std::to_string(std::uint64_t{d.Start} + d.Count - 1);
    if (d.Kind == TDamageKind::Unreadable) line(range + " unreadable");
    else if (d.Kind == TDamageKind::Flaky) line(range + " read after " + std::to_string(d.Tries) + " failed tries");
    else line(range + " read wrong data");
  }
  return s;
}

}  // namespace vdrive
