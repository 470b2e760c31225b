// Reading and recording: READ (10), WRITE (10), SYNCHRONIZE CACHE, CLOSE
// TRACK/SESSION, RESERVE TRACK, FORMAT UNIT and BLANK. Sectors reach the
// file before the state that makes them visible; a test write changes only
// a simulated copy of the disc.
#include <algorithm>
#include <cstdlib>

#include "vdrive/drive.h"
#include "vdrive/records.h"

namespace vdrive {

namespace {

constexpr TSense kOperationInProgress{0x02, 0x04, 0x07};
constexpr TSense kFormatInProgress{0x02, 0x04, 0x04};
constexpr TSense kLongWriteInProgress{0x02, 0x04, 0x08};
constexpr TSense kInternalFailure{0x04, 0x44, 0x00};

}  // namespace

TDisc& TVirtualRecorder::WorkingDisc(TDisc& real) {
  if (!TestWriteOn()) return real;
  if (!FTestDisc) FTestDisc = FFile->State().Disc;
  return *FTestDisc;
}

bool TVirtualRecorder::DamagedRead(const TFaults& faults, std::uint32_t lba, std::uint64_t end) {
  bool fails = false;
  for (const auto& d : faults.Damage) {
    const std::uint64_t from = std::max<std::uint64_t>(d.Start, lba);
    const std::uint64_t to = std::min<std::uint64_t>(std::uint64_t{d.Start} + d.Count, end);
    if (from >= to) continue;
    if (d.Kind == TDamageKind::Unreadable) return true;
    if (d.Kind != TDamageKind::Flaky) continue;
    // Every attempt on a weak sector counts, as the drive's own retries would.
    for (std::uint64_t b = from; b < to; ++b) {
      std::uint8_t& failed = FFailedReads[static_cast<std::uint32_t>(b)];
      if (failed < d.Tries) {
        ++failed;
        fails = true;
      }
    }
  }
  return fails;
}

void TVirtualRecorder::CorruptRead(const TFaults& faults, std::uint32_t lba, std::uint64_t end,
                                   std::span<std::uint8_t> data) {
  for (const auto& d : faults.Damage) {
    if (d.Kind != TDamageKind::Corrupt) continue;
    const std::uint64_t from = std::max<std::uint64_t>(d.Start, lba);
    const std::uint64_t to = std::min<std::uint64_t>(std::uint64_t{d.Start} + d.Count, end);
    for (std::uint64_t b = from; b < to; ++b) {
      const std::size_t at = static_cast<std::size_t>(b - lba) * kSectorSize;
      // A changed byte in the middle of the sector: no error, wrong data.
      data[at + 1000] ^= 0x5A;
    }
  }
}

TCheck TVirtualRecorder::Read10(TCommand& c) {
  if (auto m = RequireMedium()) return m;
  const std::uint32_t lba = CdbField(c.Cdb, 2, 4);
  const std::uint32_t count = CdbField(c.Cdb, 7, 2);
  if (count == 0) return std::nullopt;
  if (c.Data.size() < std::size_t{count} * kSectorSize) return sense::InvalidFieldInCdb;
  const TDisc& d = FFile->State().Disc;
  if ((d.Media == TMedia::DvdPlusRw || IsBdRe(d.Media)) && d.FormattedBlocks == 0) return sense::NotFormatted;
  const std::uint64_t end = std::uint64_t{lba} + count;
  const bool anything = IsOverwritable(d.Media) ? d.FormattedBlocks != 0 : d.HighWater != 0;
  if (!anything || end - 1 > LastLba(d)) return sense::LbaOutOfRange;
  for (std::uint64_t b = lba; b < end; ++b)
    if (!Readable(d, static_cast<std::uint32_t>(b))) return sense::UnrecoveredRead;  // gap or unrecorded area
  const TFaults& faults = FFile->State().Faults;
  const std::uint32_t bad = faults.ReadErrorLba;
  if (bad != kNoLba && bad >= lba && bad < end) return sense::UnrecoveredRead;
  if (DamagedRead(faults, lba, end)) return sense::UnrecoveredRead;
  if (!FFile->ReadSectors(lba, count, c.Data)) return kInternalFailure;
  CorruptRead(faults, lba, end, c.Data);
  return std::nullopt;
}

TCheck TVirtualRecorder::Write10(TCommand& c) {
  if (auto m = RequireMedium()) return m;
  return WriteBlocks(c, CdbField(c.Cdb, 2, 4), CdbField(c.Cdb, 7, 2), false);
}

// MMC-6, WRITE (12), with the Streaming bit (byte 10 bit 7) that skips
// the verify of defect management on a disc with spare areas.
TCheck TVirtualRecorder::Write12(TCommand& c) {
  if (auto m = RequireMedium()) return m;
  if (c.Cdb.size() < 12) return sense::InvalidFieldInCdb;
  return WriteBlocks(c, CdbField(c.Cdb, 2, 4), CdbField(c.Cdb, 6, 4), (CdbByte(c.Cdb, 10) & 0x80) != 0);
}

TCheck TVirtualRecorder::WriteBlocks(TCommand& c, std::uint32_t lba, std::uint32_t count, bool streaming) {
  if (c.Direction != platform::ScsiDirection::Out || c.Data.size() < std::size_t{count} * kSectorSize)
    return sense::InvalidFieldInCdb;
  TDisc disc = FFile->State().Disc;
  TDisc& target = WorkingDisc(disc);
  if (auto refused = vdrive::Write(target, lba, count, TestWriteOn())) return refused;
  // Defect management verifies what it writes on a disc with spare areas, unless asked to stream.
  DrainBuffer();
  FVerifying = IsBd(disc.Media) && disc.SpareBlocks != 0 && !streaming;
  // The data passes the buffer either way; with throttling on, a full buffer
  // holds the command until enough has drained, as a real drive does.
  DrainBuffer();
  const double bytes = static_cast<double>(count) * kSectorSize;
  if (const std::uint32_t rate = DrainRate(); rate != 0) {
    if (FBufferStats.Filled) {
      // A real drive would have run dry here and, without under-run
      // protection, ruined the disc.
      if (FBufferUsed < 1) ++FBufferStats.EmptyAfterFull;
      FBufferStats.LowestAfterFull =
          std::min(FBufferStats.LowestAfterFull, static_cast<std::uint32_t>(FBufferUsed));
    }
    const double need = std::min(bytes, static_cast<double>(kBufferSize));
    const double excess = FBufferUsed + need - kBufferSize;
    if (excess > 0) {
      FBufferStats.Filled = true;
      FClock->SleepMs(static_cast<std::int64_t>(excess / rate) + 1);
      DrainBuffer();
    }
    FBufferUsed = std::min(FBufferUsed + bytes, static_cast<double>(kBufferSize));
  }
  if (TestWriteOn()) return std::nullopt;  // simulated: nothing recorded
  TStoredState state = FFile->State();
  const std::uint32_t bad = state.Faults.WriteErrorLba;
  if (bad != kNoLba && bad >= lba && bad - lba < count) return sense::WriteError;
  std::uint32_t& crash = state.Faults.CrashAfterSectors;
  if (crash != kNoCrash && crash < count) {
    // The process dies part way: the first sectors reach the file, the
    // state does not. The fault is dropped so that the next process lives.
    if (crash > 0) FFile->WriteSectors(lba, crash, c.Data);
    TStoredState survived = FFile->State();
    survived.Faults.CrashAfterSectors = kNoCrash;
    FFile->Save(survived);
    std::_Exit(kCrashExitCode);
  }
  if (crash != kNoCrash) crash -= count;
  if (!FFile->WriteSectors(lba, count, c.Data)) return sense::HostSpace;
  vdrive::Write(disc, lba, count, true);
  state.Disc = disc;
  if (!Commit(state)) return sense::HostSpace;  // the sectors stay invisible, as on file
  return std::nullopt;
}

// MMC-5 6.41: data reach the disc file for good; with IMMED the drive says
// LONG WRITE IN PROGRESS until its buffer would have drained.
TCheck TVirtualRecorder::SynchronizeCache(TCommand& c) {
  if (auto m = RequireMedium()) return m;
  const bool immediate = (CdbByte(c.Cdb, 1) & 0x02) != 0;
  if (!FFile->Sync()) return sense::HostSpace;
  FDirty = false;
  DrainBuffer();
  if (const std::uint32_t rate = DrainRate(); rate != 0 && FBufferUsed > 0) {
    const auto ms = static_cast<std::uint32_t>(FBufferUsed / rate) + 1;
    if (immediate) StartPending(ms, kLongWriteInProgress);
    else FClock->SleepMs(ms);
  }
  FBufferUsed = 0;
  FBufferStamp = FClock->NowMs();
  if (DrainRate() != 0) {
    const TBufferStats& b = FBufferStats;
    LogLine(b.Filled ? "# buffer: empty " + std::to_string(b.EmptyAfterFull) + " times after it first filled, lowest " +
                           std::to_string(b.LowestAfterFull / 1024) + " KB"
                     : std::string("# buffer: never filled"));
  }
  FLastBufferStats = FBufferStats;
  FBufferStats = {};
  return std::nullopt;
}

// MMC-5 6.3: function in byte 2, track number in bytes 4-5.
TCheck TVirtualRecorder::CloseTrackSession(TCommand& c) {
  if (auto m = RequireMedium()) return m;
  const bool immediate = (CdbByte(c.Cdb, 1) & 0x01) != 0;
  const std::uint8_t function = CdbByte(c.Cdb, 2) & 0x07;
  const auto track = static_cast<std::uint16_t>(CdbField(c.Cdb, 4, 2));
  TDisc disc = FFile->State().Disc;
  TDisc& target = WorkingDisc(disc);
  const bool simulated = TestWriteOn();
  if (auto refused = vdrive::Close(target, function, track, NextSessionAllowed())) return refused;
  std::uint32_t ms = FTimings.CloseSession;
  if (function == 1) ms = FTimings.CloseTrack;
  if (target.Finalized && IsSequential(target.Media)) ms = FTimings.Finalize;
  if (simulated) {
    if (function != 1) FTestDisc.reset();  // the simulated session ends here
  } else {
    if (!Commit(disc)) return kInternalFailure;
    FFile->Sync();
    FDirty = false;
  }
  if (immediate) StartPending(ms, kOperationInProgress);
  return std::nullopt;
}

// MMC-5 6.31: a reservation size (ARSV 0); address reservations are not offered.
TCheck TVirtualRecorder::ReserveTrack(TCommand& c) {
  if (auto m = RequireMedium()) return m;
  if ((CdbByte(c.Cdb, 1) & 0x01) != 0) return sense::InvalidFieldInCdb;
  TDisc disc = FFile->State().Disc;
  TDisc& target = WorkingDisc(disc);
  if (auto refused = vdrive::ReserveTrack(target, CdbField(c.Cdb, 5, 4))) return refused;
  if (!TestWriteOn() && !Commit(disc)) return kInternalFailure;
  return std::nullopt;
}

// MMC-5 6.5: FmtData with format code 001b, a 4-byte header (IMMED in byte
// 1 bit 1) and one 8-byte format descriptor.
TCheck TVirtualRecorder::FormatUnit(TCommand& c) {
  if (auto m = RequireMedium()) return m;
  if ((CdbByte(c.Cdb, 1) & 0x17) != 0x11) return sense::InvalidFieldInCdb;
  if (c.Direction != platform::ScsiDirection::Out || c.Data.size() < 12) return sense::InvalidFieldInCdb;
  const std::span<const std::uint8_t> list = c.Data;
  if (CdbField(list, 2, 2) != 8) return sense::InvalidFieldInList;
  const bool immediate = (list[1] & 0x02) != 0;
  const std::uint32_t blocks = CdbField(list, 4, 4);
  const std::uint8_t type = list[8] >> 2;
  const std::uint8_t subType = list[8] & 0x03;
  const std::uint32_t parameter = CdbField(list, 9, 3);
  TDisc disc = FFile->State().Disc;
  if (disc.Media == TMedia::DvdRam && type == 0 && parameter != kSectorSize) return sense::InvalidFieldInList;
  const bool bd = IsBd(disc.Media);
  if (auto refused = vdrive::Format(disc, blocks, type, subType)) return refused;
  // The new state first: old sectors left behind are harmless, a state
  // pointing at discarded sectors would not be.
  if (!Commit(disc)) return kInternalFailure;
  if (type == 0x00 || type == 0x10 || type == 0x15 || type == 0x26 || bd) FFile->DiscardSectors();
  FFile->Sync();
  FDirty = false;
  FTestDisc.reset();
  // A full certification reads every block back: it takes longer than a quick format.
  const bool certify = bd && (type == 0x30 || type == 0x31) && subType == 0x02;
  if (immediate) StartPending(certify ? FTimings.Format * 4 : FTimings.Format, kFormatInProgress);
  return std::nullopt;
}

// MMC-5 6.2: blanking types 0 (the disc) and 1 (minimal); IMMED in byte 1 bit 4.
TCheck TVirtualRecorder::Blank(TCommand& c) {
  if (auto m = RequireMedium()) return m;
  const std::uint8_t type = CdbByte(c.Cdb, 1) & 0x07;
  const bool immediate = (CdbByte(c.Cdb, 1) & 0x10) != 0;
  TDisc disc = FFile->State().Disc;
  if (auto refused = vdrive::Blank(disc, type)) return refused;
  if (!Commit(disc)) return kInternalFailure;
  FFile->DiscardSectors();
  FFile->Sync();
  FDirty = false;
  FTestDisc.reset();
  ResetWriteParameters();
  if (immediate) StartPending(type == 0 ? FTimings.BlankFull : FTimings.BlankMinimal, kOperationInProgress);
  return std::nullopt;
}

}  // namespace vdrive
