#include "vdrive/drive.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "base/span_io.h"
#include "platform/file_find.h"
#include "platform/file_stream.h"
#include "platform/process.h"
#include "vdrive/records.h"

namespace vdrive {

namespace {

constexpr std::size_t kLogLimit = 65536;
// 48x, 40x ... 4x CD (176.4 kB/s each) and 16x ... 2.4x DVD (1,385 kB/s each), fastest first.
constexpr std::uint32_t kCdWriteSpeeds[] = {8467, 7056, 5645, 4234, 2822, 1411, 706};
constexpr std::uint32_t kDvdWriteSpeeds[] = {22160, 11080, 5540, 3324};
// 12x ... 2x BD (4,495 kB/s each).
constexpr std::uint32_t kBdWriteSpeeds[] = {53940, 35960, 26970, 17980, 8990};
constexpr std::uint32_t kCdMaxRead = 8467;
constexpr std::uint32_t kDvdMaxRead = 22160;
constexpr std::uint32_t kBdMaxRead = 53940;

class TSystemClock final : public TClock {
 public:
  std::int64_t NowMs() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void SleepMs(std::int64_t ms) override {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
};

bool ExemptFromFaults(std::uint8_t op) { return op == 0x12 || op == 0x03; }
// Answered while an immediate operation runs and before a unit attention is reported.
bool ExemptFromNotReady(std::uint8_t op) { return op == 0x12 || op == 0x03 || op == 0x46; }

}  // namespace

TClock& SystemClock() {
  static TSystemClock clock;
  return clock;
}

TTimings DefaultTimings() {
  TTimings t;
  const auto setting = platform::GetEnvironment("ZANTIC_VDRIVE_TIMESCALE");
  if (!setting || setting->empty()) return t;
  const char* scale = setting->c_str();
  char* end = nullptr;
  const double f = std::strtod(scale, &end);
  if (end == scale || !(f >= 0) || f > 100) return t;
  for (std::uint32_t* v : {&t.BlankMinimal, &t.BlankFull, &t.Format, &t.CloseTrack, &t.CloseSession, &t.Finalize})
    *v = static_cast<std::uint32_t>(*v * f);
  return t;
}

TVirtualRecorder::TVirtualRecorder(std::string discPath, TClock* clock)
    : FDiscPath(std::move(discPath)), FClock(clock != nullptr ? clock : &SystemClock()), FTimings(DefaultTimings()) {
  if (auto log = platform::GetEnvironment("ZANTIC_VDRIVE_LOG")) FLogFile = *log;
  FBufferStamp = FClock->NowMs();
  ResetWriteParameters();
}

TVirtualRecorder::~TVirtualRecorder() { Close(); }

void TVirtualRecorder::EnsureLoaded() {
  if (FLoadTried) return;
  FLoadTried = true;
  auto file = TDiscFile::Open(FDiscPath);
  if (file) {
    FFile = std::move(file.Value());
    FLoadError.clear();
  } else {
    FFile.reset();
    FLoadError = file.Err().Message;
  }
  MediumLoaded();
}

void TVirtualRecorder::MediumLoaded() {
  ResetWriteParameters();
  const auto speeds = WriteSpeeds();
  FWriteSpeed = speeds.front();
  FReadSpeed = MaxReadSpeed();
  FTestDisc.reset();
  FBufferUsed = 0;
}

bool TVirtualRecorder::Open() {
  std::lock_guard<std::mutex> g(FMutex);
  if (!FFile) FLoadTried = false;
  EnsureLoaded();
  if (FFile) {
    if (!FFile->Lock()) {
      FOpenProblem = "the disc " + FDiscPath + " is in use by another program";
      return false;
    }
    auto changed = FFile->Refresh();
    if (!changed) {
      FLoadError = changed.Err().Message;
      FFile.reset();
      MediumLoaded();
    } else if (changed.Value()) {
      FTestDisc.reset();
    }
  }
  FOpenProblem.clear();
  FOpen = true;
  return true;
}

std::string TVirtualRecorder::OpenProblem() const {
  std::lock_guard<std::mutex> g(FMutex);
  return FOpenProblem;
}

void TVirtualRecorder::Close() {
  std::lock_guard<std::mutex> g(FMutex);
  if (FFile) {
    if (FDirty) FFile->Sync();
    FDirty = false;
    FFile->Unlock();
  }
  FOpen = false;
}

bool TVirtualRecorder::IsOpen() const {
  std::lock_guard<std::mutex> g(FMutex);
  return FOpen;
}

std::string TVirtualRecorder::LoadError() {
  std::lock_guard<std::mutex> g(FMutex);
  EnsureLoaded();
  return FLoadError;
}

std::optional<TDisc> TVirtualRecorder::Disc() {
  std::lock_guard<std::mutex> g(FMutex);
  EnsureLoaded();
  if (!FFile) return std::nullopt;
  return FFile->State().Disc;
}

TVirtualRecorder::TBufferStats TVirtualRecorder::BufferStats() const {
  std::lock_guard<std::mutex> g(FMutex);
  return FLastBufferStats;
}

std::vector<TCommandRecord> TVirtualRecorder::CommandLog() const {
  std::lock_guard<std::mutex> g(FMutex);
  return {FLog.begin(), FLog.end()};
}

void TVirtualRecorder::ClearCommandLog() {
  std::lock_guard<std::mutex> g(FMutex);
  FLog.clear();
}

TFaults TVirtualRecorder::Faults() {
  std::lock_guard<std::mutex> g(FMutex);
  EnsureLoaded();
  return FFile ? FFile->State().Faults : FLooseFaults;
}

void TVirtualRecorder::SetFaults(const TFaults& faults) {
  std::lock_guard<std::mutex> g(FMutex);
  EnsureLoaded();
  if (!FFile) {
    FLooseFaults = faults;
    return;
  }
  TStoredState s = FFile->State();
  s.Faults = faults;
  Commit(s);
}

void TVirtualRecorder::SetTimings(const TTimings& timings) {
  std::lock_guard<std::mutex> g(FMutex);
  FTimings = timings;
}

void TVirtualRecorder::SetStallAfter(std::uint32_t ms) {
  std::lock_guard<std::mutex> g(FMutex);
  FStallAfter = ms;
}

void TVirtualRecorder::SetLogFile(const std::string& path) {
  std::lock_guard<std::mutex> g(FMutex);
  FLogFile = path;
}

bool TVirtualRecorder::Commit(const TStoredState& state) {
  FDirty = true;
  return FFile->Save(state).Ok();
}

bool TVirtualRecorder::Commit(const TDisc& disc) {
  TStoredState s = FFile->State();
  s.Disc = disc;
  return Commit(s);
}

TCheck TVirtualRecorder::RequireMedium() const {
  if (FTrayOpen) return sense::TrayOpen;
  if (!FFile) return sense::NoMedium;
  return std::nullopt;
}

void TVirtualRecorder::Respond(TCommand& c, std::span<const std::uint8_t> reply, std::size_t allocation) {
  const std::size_t n = std::min({reply.size(), allocation, c.Data.size()});
  std::copy_n(reply.begin(), n, c.Data.begin());
}

void TVirtualRecorder::StartPending(std::uint32_t ms, TSense notReady) {
  if (ms == 0) return;
  const std::int64_t now = FClock->NowMs();
  FPending = TPending{now, now + ms, notReady};
}

std::optional<TVirtualRecorder::TPending> TVirtualRecorder::ActivePending() {
  const bool stalled = FStallAfter != 0 && FPending && FPending->End - FPending->Start > FStallAfter;
  if (FPending && !stalled && FClock->NowMs() >= FPending->End) FPending.reset();
  return FPending;
}

std::uint16_t TVirtualRecorder::PendingProgress(const TPending& pending) {
  const std::int64_t span = std::max<std::int64_t>(1, pending.End - pending.Start);
  std::int64_t done = FClock->NowMs() - pending.Start;
  if (FStallAfter != 0) done = std::min<std::int64_t>(done, FStallAfter);
  return static_cast<std::uint16_t>(std::clamp<std::int64_t>(done * 65536 / span, 0, 65535));
}

bool TVirtualRecorder::IsCdMedium() const { return !FFile || IsCd(FFile->State().Disc.Media); }

bool TVirtualRecorder::IsBdMedium() const { return FFile && IsBd(FFile->State().Disc.Media); }

std::vector<std::uint32_t> TVirtualRecorder::WriteSpeeds() const {
  if (IsCdMedium()) return {std::begin(kCdWriteSpeeds), std::end(kCdWriteSpeeds)};
  if (IsBdMedium()) return {std::begin(kBdWriteSpeeds), std::end(kBdWriteSpeeds)};
  return {std::begin(kDvdWriteSpeeds), std::end(kDvdWriteSpeeds)};
}

std::uint32_t TVirtualRecorder::MaxReadSpeed() const {
  return IsCdMedium() ? kCdMaxRead : IsBdMedium() ? kBdMaxRead : kDvdMaxRead;
}

std::uint32_t TVirtualRecorder::DrainRate() const {
  const std::uint32_t throttle = FFile ? FFile->State().Faults.ThrottleKBps : FLooseFaults.ThrottleKBps;
  if (throttle == 0) return 0;
  const std::uint32_t rate = std::min(throttle, FWriteSpeed);
  return FVerifying ? std::max(1u, rate / 2) : rate;
}

// One kB/s drains one byte per millisecond.
void TVirtualRecorder::DrainBuffer() {
  const std::int64_t now = FClock->NowMs();
  const std::uint32_t rate = DrainRate();
  if (rate == 0) {
    FBufferUsed = 0;
  } else {
    FBufferUsed = std::max(0.0, FBufferUsed - static_cast<double>(now - FBufferStamp) * rate);
  }
  FBufferStamp = now;
}

void TVirtualRecorder::Record(std::span<const std::uint8_t> cdb, std::uint8_t status, const TSense& s) {
  TCommandRecord r{{cdb.begin(), cdb.end()}, status, s};
  if (FLog.size() >= kLogLimit) FLog.pop_front();
  FLog.push_back(r);
  if (FLogFile.empty()) return;
  const auto cut = std::find_if(FDiscPath.rbegin(), FDiscPath.rend(), platform::IsPathSeparator);
  std::string line = FDiscPath.substr(static_cast<std::size_t>(FDiscPath.rend() - cut));
  char hex[8];
  for (std::uint8_t b : cdb) {
    std::snprintf(hex, sizeof hex, " %02X", b);
    line += hex;
  }
  std::snprintf(hex, sizeof hex, " : %02X", status);
  line += hex;
  if (status == kStatusCheck) {
    char sense[16];
    std::snprintf(sense, sizeof sense, " %X/%02X/%02X", s.Key, s.Asc, s.Ascq);
    line += sense;
  }
  LogLine(line);
}

void TVirtualRecorder::LogLine(const std::string& text) {
  if (FLogFile.empty()) return;
  // One appending write per line, so lines from several processes do not interleave.
  platform::AppendToFile(FLogFile, text + '\n');
}

platform::ScsiOutcome TVirtualRecorder::Execute(std::span<const std::uint8_t> cdb, platform::ScsiDirection direction,
                                                std::span<std::uint8_t> data, std::span<std::uint8_t> senseOut) {
  std::lock_guard<std::mutex> g(FMutex);
  EnsureLoaded();
  // The buffer drains in the host's time between commands and in the
  // throttle's waits; the recorder's own file and log writes stand in for a
  // drive that answers at once, so they are not counted against the host.
  DrainBuffer();
  TCommand c{cdb, direction, data};
  std::uint8_t status = kStatusGood;
  TCheck check;
  std::optional<std::uint16_t> progress;
  const std::uint8_t op = cdb.empty() ? 0xFF : cdb[0];
  TFaults faults = FFile ? FFile->State().Faults : FLooseFaults;
  const TFaults before = faults;
  bool answered = false;
  if (cdb.empty()) {
    check = sense::InvalidOpcode;
    answered = true;
  } else if (!ExemptFromFaults(op)) {
    if (faults.BusyCommands > 0) {
      --faults.BusyCommands;
      status = kStatusBusy;
      answered = true;
    } else if (faults.RefuseOpcode == op) {
      if (!faults.RefuseAlways) faults.RefuseOpcode = kNoOpcode;
      check = sense::InvalidOpcode;
      answered = true;
    } else if (faults.NeverReady || faults.NotReadyCommands > 0) {
      if (!faults.NeverReady) --faults.NotReadyCommands;
      check = sense::BecomingReady;
      answered = true;
    }
  }
  if (!(faults == before)) {
    if (FFile) {
      TStoredState s = FFile->State();
      s.Faults = faults;
      Commit(s);
    } else {
      FLooseFaults = faults;
    }
  }
  if (!answered && !ExemptFromNotReady(op)) {
    if (auto pending = ActivePending()) {
      check = pending->Sense;
      progress = PendingProgress(*pending);
      answered = true;
    } else if (FUnitAttention) {
      FUnitAttention = false;
      check = sense::MediumChanged;
      answered = true;
    }
  }
  if (!answered) check = Dispatch(c);
  if (check) status = kStatusCheck;
  std::fill(senseOut.begin(), senseOut.end(), std::uint8_t{0});
  if (check) {
    TSenseData sd;
    sd.Key = check->Key;
    sd.Asc = check->Asc;
    sd.Ascq = check->Ascq;
    if (progress) {
      sd.SenseKeySpecific0 = 0x80;
      sd.ProgressIndication.Set(*progress);
    }
    const auto bytes = Bytes(sd);
    std::copy_n(bytes.begin(), std::min(bytes.size(), senseOut.size()), senseOut.begin());
  }
  Record(cdb, status, check.value_or(TSense{}));
  FBufferStamp = FClock->NowMs();
  return platform::ScsiOutcome{true, status, 0, 0};
}

TCheck TVirtualRecorder::Dispatch(TCommand& c) {
  switch (c.Cdb[0]) {
    case 0x00: return TestUnitReady(c);
    case 0x01: return Rezero(c);
    case 0x03: return RequestSense(c);
    case 0x04: return FormatUnit(c);
    case 0x12: return Inquiry(c);
    case 0x1B: return StartStopUnit(c);
    case 0x1E: return PreventAllow(c);
    case 0x23: return ReadFormatCapacities(c);
    case 0x25: return ReadCapacity(c);
    case 0x28: return Read10(c);
    case 0x2A: return Write10(c);
    case 0xAA: return Write12(c);
    case 0xAD: return ReadDiscStructure(c);
    case 0x35: return SynchronizeCache(c);
    case 0x43: return ReadToc(c);
    case 0x46: return GetConfiguration(c);
    case 0x51: return ReadDiscInformation(c);
    case 0x52: return ReadTrackInformation(c);
    case 0x53: return ReserveTrack(c);
    case 0x54: return SendOpc(c);
    case 0x55: return ModeSelect(c);
    case 0x5A: return ModeSense(c);
    case 0x5B: return CloseTrackSession(c);
    case 0x5C: return ReadBufferCapacity(c);
    case 0xA1: return Blank(c);
    case 0xAC: return GetPerformance(c);
    case 0xB6: return SetStreaming(c);
    case 0xBB: return SetCdSpeed(c);
    case 0xBF: return SendDvdStructure(c);
    default: return sense::InvalidOpcode;
  }
}

TCheck TVirtualRecorder::TestUnitReady(TCommand&) { return RequireMedium(); }

TCheck TVirtualRecorder::Rezero(TCommand&) { return RequireMedium(); }

// SPC-3 6.27: the current condition, as fixed-format sense data with GOOD status.
TCheck TVirtualRecorder::RequestSense(TCommand& c) {
  TSenseData sd;
  TSense s;
  const TFaults faults = FFile ? FFile->State().Faults : FLooseFaults;
  if (auto pending = ActivePending()) {
    s = pending->Sense;
    sd.SenseKeySpecific0 = 0x80;
    sd.ProgressIndication.Set(PendingProgress(*pending));
  } else if (FUnitAttention) {
    FUnitAttention = false;
    s = sense::MediumChanged;
  } else if (faults.NeverReady) {
    s = sense::BecomingReady;
  } else if (auto medium = RequireMedium()) {
    s = *medium;
  }
  sd.Key = s.Key;
  sd.Asc = s.Asc;
  sd.Ascq = s.Ascq;
  Respond(c, Bytes(sd), CdbByte(c.Cdb, 4));
  return std::nullopt;
}

TCheck TVirtualRecorder::Inquiry(TCommand& c) {
  if ((CdbByte(c.Cdb, 1) & 0x01) != 0 || CdbByte(c.Cdb, 2) != 0) return sense::InvalidFieldInCdb;  // no VPD pages
  TInquiryData d;
  base::PutPaddedText(d.Vendor, kVendor);
  base::PutPaddedText(d.Product, kProduct);
  base::PutPaddedText(d.Revision, kRevision);
  Respond(c, Bytes(d), CdbField(c.Cdb, 3, 2));
  return std::nullopt;
}

// MMC-5 6.39: LoEj with Start loads, without it ejects.
TCheck TVirtualRecorder::StartStopUnit(TCommand& c) {
  const std::uint8_t b4 = CdbByte(c.Cdb, 4);
  if ((b4 & 0x02) == 0) return std::nullopt;  // spin up or down: nothing to do
  if ((b4 & 0x01) == 0) {
    if (FPrevent) return sense::RemovalPrevented;
    if (FFile && FDirty) FFile->Sync();
    FDirty = false;
    FTrayOpen = true;
    FPending.reset();
    FTestDisc.reset();
    return std::nullopt;
  }
  if (!FTrayOpen) return std::nullopt;
  FTrayOpen = false;
  // A disc file changed or made while the tray was open is picked up now.
  if (FFile) {
    if (auto changed = FFile->Refresh(); !changed) {
      FLoadError = changed.Err().Message;
      FFile.reset();
    }
  } else {
    FLoadTried = false;
    EnsureLoaded();
  }
  MediumLoaded();
  FUnitAttention = FFile != nullptr;
  return std::nullopt;
}

TCheck TVirtualRecorder::PreventAllow(TCommand& c) {
  FPrevent = (CdbByte(c.Cdb, 4) & 0x03) != 0;
  return std::nullopt;
}

// MMC-5 6.37: speeds in kB/s, FFFFh for the fastest; the write speed snaps
// down to the drive's own list (to the slowest entry when below it).
TCheck TVirtualRecorder::SetCdSpeed(TCommand& c) {
  const std::uint32_t read = CdbField(c.Cdb, 2, 2);
  const std::uint32_t write = CdbField(c.Cdb, 4, 2);
  const std::uint32_t maxRead = MaxReadSpeed();
  FReadSpeed = read == 0xFFFF ? maxRead : std::clamp(read, IsCdMedium() ? 176u : IsBdMedium() ? 4495u : 1385u, maxRead);
  const auto speeds = WriteSpeeds();
  FWriteSpeed = speeds.back();
  for (std::uint32_t s : speeds) {
    if (write == 0xFFFF || s <= write) {
      FWriteSpeed = s;
      break;
    }
  }
  return std::nullopt;
}

// MMC-5 6.23: buffer length and blank (free) length, in bytes or in blocks.
TCheck TVirtualRecorder::ReadBufferCapacity(TCommand& c) {
  DrainBuffer();
  const bool blocks = (CdbByte(c.Cdb, 1) & 0x01) != 0;
  const auto used = static_cast<std::uint32_t>(FBufferUsed + 0.5);
  const std::uint32_t freeBytes = kBufferSize - std::min(used, kBufferSize);
  std::vector<std::uint8_t> r(12, 0);
  r[1] = 10;
  if (blocks) {
    r[3] = 0x01;
    PutField(r, 8, 4, freeBytes / kSectorSize);
  } else {
    PutField(r, 4, 4, kBufferSize);
    PutField(r, 8, 4, freeBytes);
  }
  Respond(c, r, CdbField(c.Cdb, 7, 2));
  return std::nullopt;
}

// MMC-5 6.39: one performance descriptor (type 0) of 28 bytes.
TCheck TVirtualRecorder::SetStreaming(TCommand& c) {
  if (auto m = RequireMedium()) return m;
  const std::uint32_t length = CdbField(c.Cdb, 9, 2);
  if (CdbByte(c.Cdb, 8) != 0) return sense::InvalidFieldInCdb;
  if (length < 28 || c.Data.size() < 28) return sense::InvalidFieldInCdb;
  const std::span<const std::uint8_t> p = c.Data;
  const std::uint32_t start = CdbField(p, 4, 4), end = CdbField(p, 8, 4);
  const std::uint32_t readTime = CdbField(p, 16, 4), writeTime = CdbField(p, 24, 4);
  if (end < start || readTime == 0 || writeTime == 0) return sense::InvalidFieldInList;
  // Sizes in kB over times in ms: the speeds asked for, snapped to the drive's own as SET CD SPEED does.
  // A size of 0 asks for no particular speed: the one SET CD SPEED chose stays.
  const std::uint64_t read = std::uint64_t{CdbField(p, 12, 4)} * 1000 / readTime;
  const std::uint64_t write = std::uint64_t{CdbField(p, 20, 4)} * 1000 / writeTime;
  if (read != 0) FReadSpeed = static_cast<std::uint32_t>(std::min<std::uint64_t>(read, MaxReadSpeed()));
  if (write == 0) return std::nullopt;
  const auto speeds = WriteSpeeds();
  FWriteSpeed = speeds.back();
  for (std::uint32_t s : speeds) {
    if (s <= write) {
      FWriteSpeed = s;
      break;
    }
  }
  return std::nullopt;
}

// MMC-6, GET PERFORMANCE type 03h, one write speed descriptor per speed, fastest first.
TCheck TVirtualRecorder::GetPerformance(TCommand& c) {
  if (auto m = RequireMedium()) return m;
  if (CdbByte(c.Cdb, 10) != 0x03) return sense::InvalidFieldInCdb;
  const std::uint32_t wanted = CdbField(c.Cdb, 8, 2);
  const auto speeds = WriteSpeeds();
  std::vector<std::uint8_t> r(8, 0);
  const std::uint32_t end = LastLba(FFile->State().Disc);
  for (std::size_t i = 0; i < speeds.size() && i < wanted; ++i) {
    std::vector<std::uint8_t> d(16, 0);
    PutField(d, 4, 4, end);
    PutField(d, 8, 4, MaxReadSpeed());
    PutField(d, 12, 4, speeds[i]);
    r.insert(r.end(), d.begin(), d.end());
  }
  PutField(r, 0, 4, static_cast<std::uint32_t>(r.size() - 4));
  Respond(c, r, r.size());
  return std::nullopt;
}

TCheck TVirtualRecorder::SendOpc(TCommand&) {
  if (auto m = RequireMedium()) return m;
  if (IsRom(FFile->State().Disc.Media)) return sense::IncompatibleMedium;
  return std::nullopt;
}

// MMC-5 6.42: only the DVD-R/-RW time stamp (format 0Fh) is taken.
TCheck TVirtualRecorder::SendDvdStructure(TCommand& c) {
  if (auto m = RequireMedium()) return m;
  const TMedia media = FFile->State().Disc.Media;
  if (IsCd(media)) return sense::IncompatibleMedium;
  if (CdbByte(c.Cdb, 7) != 0x0F || (media != TMedia::DvdR && media != TMedia::DvdRw)) return sense::InvalidFieldInCdb;
  const std::uint32_t length = CdbField(c.Cdb, 8, 2);
  if (length < 22 || c.Data.size() < 22) return sense::InvalidFieldInCdb;
  if (CdbField(c.Data, 0, 2) != 20) return sense::InvalidFieldInList;
  for (std::size_t i = 8; i < 22; ++i)
    if (c.Data[i] < '0' || c.Data[i] > '9') return sense::InvalidFieldInList;
  return std::nullopt;
}

}  // namespace vdrive
