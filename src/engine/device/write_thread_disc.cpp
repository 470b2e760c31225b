// The writer thread in disc mode: prepare the drive, write the stream with
// WRITE (10) (retrying while the drive is busy), flush, close the track and
// session the way the medium needs, and return the drive to a neutral state.
#include <algorithm>
#include <cstring>
#include <functional>

#include "engine/device/scsi_device.h"
#include "engine/device/speed_text.h"
#include "engine/device/write_params.h"
#include "engine/device/write_thread.h"
#include "engine/texts.h"

namespace device {
namespace texts = engine::texts;
namespace {

constexpr std::uint32_t kRetryLimit = 10000;
constexpr std::uint32_t kBusyPauseMs = 600;
// A failure with neither BUSY nor sense data is the transport's (a drive
// unplugged, a dead bus): half a minute of retries, not the 100 minutes a
// busy drive is given.
constexpr std::uint32_t kSilentRetryLimit = 50;
// A drive that never answers READ DISC INFORMATION after the flush is given
// as long as the flush itself may take, not forever.
constexpr int kFlushWaitLimit = 1800;
// A close or flush answered busy is retried once a second for this long.
constexpr int kEndBusyLimit = 1000;
// A DVD+RW format is polled every 2 s; one that never ends must not hold the burn.
constexpr int kFormatPollLimit = 900;

bool WrittenInPlace(std::uint8_t m) {
  return m == kMediumDvdRam || m == kMediumDvdrwRestricted || m == kMediumDvdprw || m == kMediumBdre;
}

bool UsesStreaming(std::uint8_t m) {
  return m == kMediumDvdr || m == kMediumDvdrwRestricted || m == kMediumDvdrwSequential || m == kMediumDvdprw ||
         m == kMediumDvdpr || m == kMediumDvdprDl || m == kMediumBdr || m == kMediumBdre;
}

// DVD media show their speed in DVD factors (DVD+R DL is one of them), Blu-ray in BD factors.
TSpeedFamily SpeedTextFamily(std::uint8_t m) {
  if (IsBdMedium(m)) return TSpeedFamily::Bd;
  return m >= kMediumDvdr && m <= kMediumDvdprDl ? TSpeedFamily::Dvd : TSpeedFamily::Cd;
}

// SPACE ALLOCATION FAILED: no recorder answers so, but the virtual one does
// when the host's disk under its disc file is full.
bool HostSpaceFailed(const TSCSIDevice& d) {
  const TSense& sense = d.Sense();
  return sense.Key == 0x07 && sense.Asc == 0x27 && sense.Ascq == 0x07;
}

}  // namespace

std::uint64_t BlockHash(std::span<const std::uint8_t> bytes) {
  std::uint64_t h = 0x9E3779B97F4A7C15ull ^ bytes.size();
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    h = (h ^ word) * 0x100000001B3ull;
    h ^= h >> 29;
  }
  for (; i < bytes.size(); ++i) h = (h ^ bytes[i]) * 0x100000001B3ull;
  return h;
}

void TThWrite::Pause(std::uint32_t ms) {
  TSleeper& sleeper = FParams.Disc.Sleeper != nullptr ? *FParams.Disc.Sleeper : RealSleeper();
  // The ending of a stopped burn still waits out the drive's flush.
  if (!FEndAbortable)
    sleeper.Sleep(ms);
  else
    sleeper.PauseUnlessCancelled(FParams.Cancel.get(), ms);
}

std::string TThWrite::StartDisc(std::uint8_t& medium, bool& bufferPolling) {
  TDiscWrite& w = FParams.Disc;
  TSCSIDevice& d = *w.Device;
  bufferPolling = d.ReadBufferCapacity();
  medium = d.DetectMediaType();
  d.SetCurrentMediaType(medium);
  d.StartStopUnit(TStartStop::Load);
  if (medium != kMediumDvdprw && medium != kMediumBdre) d.RezeroUnit();
  d.SetCdSpeed(w.ReadSpeed, w.WriteSpeed);
  d.WaitForReady(10000, 1000);
  const std::uint16_t speed = d.CurrentWriteSpeed();
  d.SetFinalizeDisc(true);
  const bool pageTaken = d.SetWriteParameters(w.TestWrite, w.UnderrunProtection, medium, true);
  d.SetFinalizeDisc(w.FinalizeDisc);
  // A test write that the page cannot carry (no test mode in the drive, or
  // DVD-RW, DVD+ media and DVD-RAM) would record for real: refuse it.
  const bool testMedium = IsCdMedium(medium) || medium == kMediumDvdr;
  if (w.TestWrite && !(pageTaken && testMedium && d.HasCapability(kCapWriteTest)))
    return texts::kTestWriteImpossible;
  if (UsesStreaming(medium)) {
    auto descriptor = GenericStreamingDescriptor(w.StartAddress, w.ImageSectors, w.ReadSpeed, w.WriteSpeed);
    d.SetStreaming(descriptor);
  }
  // The track being written is the last one of the open session (the
  // invisible track); counting sessions would miss after a session left open.
  FTrack = d.ReadDiscInformation() && d.LastDiscInfo().LastTrackInLastSession != 0
               ? d.LastDiscInfo().LastTrackInLastSession
               : d.SessionCount() + 1;
  if (medium == kMediumDvdr) {
    auto fixed = FixedDvdrStreamingDescriptor();
    d.SetStreaming(fixed);
    auto stamp = DvdrTimestamp(TimestampDigitsNow());
    d.SendDvdStructure(0x0F, stamp);
    d.ReserveTrack((w.ImageSectors + 31) / 32 * 32);
    d.WaitForReady(10000, 1000);
  }
  if (medium != kMediumDvdRam && !w.TestWrite && w.PerformOPC) d.SendOpcInformation();
  if (w.Message) {
    std::string line = texts::Format(texts::kStartingWrite, MediumName(medium));
    line = texts::Format(line.c_str(), SpeedText(speed, SpeedTextFamily(medium)));
    w.Message(">>> " + line, 1);
    if (w.TestWrite) w.Message(std::string(">>> ") + texts::kTestDummyWrite, 1);
  }
  return {};
}

std::string TThWrite::WriteBlock(std::uint32_t lba, std::span<std::uint8_t> data) {
  TSCSIDevice& d = *FParams.Disc.Device;
  stream::TCacheThread& cache = *FParams.Cache;
  const auto blocks = static_cast<std::uint16_t>(data.size() / 2048);
  for (std::uint32_t retry = 0, silent = 0;;) {
    if (Cancelled()) {
      cache.Abort();
      return texts::kOperationAborted;
    }
    const bool written = FParams.Disc.Streaming ? d.Write12Streaming(lba, blocks, data) : d.Write10(lba, blocks, data);
    if (written) {
      if (FParams.Disc.RecordBlocks) FWrittenBlocks.push_back({lba, blocks, BlockHash(data)});
      return {};
    }
    const std::uint8_t asc = d.Sense().Asc;
    const bool noSense = asc == 0 && !d.TargetBusy();
    silent = noSense ? silent + 1 : 0;
    if (!(d.TargetBusy() || asc == 0x04 || asc == 0) || silent > kSilentRetryLimit) {
      cache.Abort();
      return std::string(texts::kWriterError) + " [" + (HostSpaceFailed(d) ? texts::kHostDiskFull : d.LastErrorText()) + "]";
    }
    Pause(kBusyPauseMs);
    if (++retry >= kRetryLimit) {
      cache.Abort();
      return texts::kWriterBusy;
    }
  }
}

std::string TThWrite::WriteHeaderCopy(std::uint8_t medium) {
  TSCSIDevice& d = *FParams.Disc.Device;
  std::vector<std::uint8_t>& copy = FParams.Disc.HeaderCopy;
  copy.resize(stream::kBlockSizeOther, 0);
  d.SetOneShotLogDone(true);  // a blank DVD+RW refuses the first write on purpose
  for (int attempt = 0; attempt < 2; ++attempt) {
    // Not kept for the read-back check: the first block of the stream
    // overwrites these sectors next.
    if (d.Write10(0, static_cast<std::uint16_t>(copy.size() / 2048), copy))
      return EndCommand(texts::kStepFlush, [&] { return d.SynchronizeCache(TImmediate::No, 1800000); });
    if (!((medium == kMediumDvdprw || medium == kMediumBdre) && d.Sense().Asc == 0x30)) break;
    // A blank BD-RE gets the drive's default format, with spare areas, as DVD+RW gets its one format.
    if (!d.FormatUnit(medium == kMediumBdre ? kFormatBdReDefault : kFormatDvdPlusRw)) break;
    for (int i = 0;; ++i) {
      if (Cancelled()) return texts::kOperationAborted;
      if (i >= kFormatPollLimit) return EndFailure(texts::kStepFormat);
      Pause(2000);
      d.ReadDiscInformation();
      if (d.Sense().Asc != 0x04) break;
    }
  }
  const std::uint8_t asc = d.Sense().Asc;
  if (d.TargetBusy() || asc == 0x04 || asc == 0) {
    Pause(kBusyPauseMs);
    return {};  // the ordinary write of the block takes over with its retries
  }
  return std::string(texts::kWriterError) + " [" + d.LastErrorText() + "]";
}

std::string TThWrite::WriteDisc(std::uint8_t medium, bool bufferPolling) {
  TDiscWrite& w = FParams.Disc;
  TSCSIDevice& d = *w.Device;
  stream::TCacheThread& cache = *FParams.Cache;
  const bool cdBlocks = medium == kMediumCdr || medium == kMediumCdrw;
  std::vector<std::uint8_t> block(stream::kBlockSizeOther);
  auto take = [&]() -> std::int64_t {
    while (true) {
      std::int64_t n = 0;
      {
        std::lock_guard lock(*FParams.Lock);
        n = cache.TakeBlock(block);
      }
      if (!cache.StatusText().empty()) return 0;
      if (n >= 0) return n;
      cache.WaitForBlock(100);
      if (Cancelled()) return -2;
    }
  };
  std::int64_t n = take();
  if (n == -2) {
    cache.Abort();
    return texts::kOperationAborted;
  }
  // Media written in place get the file system header at sector 0. When a
  // session is added, that waits until the session's data is on the disc, so
  // an abort or a failure leaves the earlier sessions readable.
  const bool inPlace = w.Compilation && WrittenInPlace(medium);
  if (inPlace && w.StartAddress == 0) {
    if (std::string r = WriteHeaderCopy(medium); !r.empty()) {
      cache.Abort();
      return r;
    }
  }
  std::uint32_t written = 0;
  int countdown = 5;
  const std::uint64_t imageBytes = std::uint64_t{w.ImageSectors} * 2048;
  while (n > 0) {
    if (w.Compilation && !cdBlocks) n = stream::kBlockSizeOther;
    {
      std::lock_guard lock(FFileMutex);
      FCurrentFile = cache.CurrentFileName();
    }
    FBytesWritten = std::min<std::uint64_t>(FBytesWritten + static_cast<std::uint64_t>(n), imageBytes);
    if (--countdown == 0) {
      countdown = 5;
      if (bufferPolling) bufferPolling = d.ReadBufferCapacity();
    }
    const auto bytes = static_cast<std::size_t>(n);
    if (block.size() < bytes) block.resize(bytes, 0);
    if (std::string r = WriteBlock(w.StartAddress + written, std::span(block.data(), bytes)); !r.empty()) return r;
    written += static_cast<std::uint32_t>(bytes / 2048);
    if (Cancelled()) {
      cache.Abort();
      return texts::kOperationAborted;
    }
    n = take();
    if (n == -2) {
      cache.Abort();
      return texts::kOperationAborted;
    }
  }
  if (const std::string status = cache.StatusText(); !status.empty()) return status;
  // A cancel can end the stream before its first block: that is no burn to
  // close as if it were whole.
  if (Cancelled()) {
    cache.Abort();
    return texts::kOperationAborted;
  }
  if (inPlace && w.StartAddress != 0) {
    std::vector<std::uint8_t>& copy = w.HeaderCopy;
    copy.resize(stream::kBlockSizeOther, 0);
    if (std::string r = WriteBlock(0, copy); !r.empty())
      return r == texts::kOperationAborted ? r : EndFailure(texts::kStepHeaderCopy);
  }
  return {};
}

std::string TThWrite::EndFailure(const std::string& step) const {
  const TSCSIDevice& d = *FParams.Disc.Device;
  return texts::Format(texts::kEndStepFailed, step) + " [" + (HostSpaceFailed(d) ? texts::kHostDiskFull : d.LastErrorText()) + "]";
}

std::string TThWrite::EndCommand(const std::string& step, const std::function<bool()>& send) {
  TSCSIDevice& d = *FParams.Disc.Device;
  bool refused = false;
  for (int attempt = 0; attempt < kEndBusyLimit; ++attempt) {
    if (send()) {
      if (refused && FParams.Disc.Message) FParams.Disc.Message(">>> " + texts::Format(texts::kEndStepRetried, step), 1);
      return {};
    }
    if (d.TargetBusy() || d.Sense().Asc == 0x04) {
      if (FEndAbortable && Cancelled()) return texts::kOperationAborted;
      Pause(1000);
      continue;
    }
    if (refused) break;
    refused = true;
  }
  return EndFailure(step);
}

std::string TThWrite::Flush(std::uint8_t medium) {
  TSCSIDevice& d = *FParams.Disc.Device;
  if (medium == kMediumDvdr || medium == kMediumDvdrwRestricted || medium == kMediumDvdrwSequential) {
    if (std::string r = EndCommand(texts::kStepFlush, [&] { return d.SynchronizeCache(TImmediate::Yes, 1800000); });
        !r.empty())
      return r;
    // The flush runs on in the drive; disc information comes back once it is done.
    d.SetDeviceFreeBufferSize(d.DeviceBufferSize());
    for (int i = 0; !d.ReadDiscInformation(); ++i) {
      if (!(d.TargetBusy() || d.Sense().Asc == 0x04)) break;  // not a wait: the close will tell
      if (i >= kFlushWaitLimit) return EndFailure(texts::kStepFlushWait);
      if (FEndAbortable && Cancelled()) return texts::kOperationAborted;
      const std::uint32_t step = d.DeviceBufferSize() / 960;
      d.SetDeviceFreeBufferSize(d.DeviceFreeBufferSize() > step ? d.DeviceFreeBufferSize() - step : 0);
      Pause(1000);
    }
    return {};
  }
  // Not immediate first; the second try asks for immediate.
  bool first = true;
  return EndCommand(texts::kStepFlush, [&] {
    const bool ok = d.SynchronizeCache(first ? TImmediate::No : TImmediate::Yes, 120000);
    first = false;
    return ok;
  });
}

// The track number goes into the command's track-number field (bytes 4
// and 5); byte 3 is reserved, and a number put there closes no track.
std::string TThWrite::CloseMedium(std::uint8_t medium, std::uint32_t track) {
  TSCSIDevice& d = *FParams.Disc.Device;
  const auto t = static_cast<std::uint8_t>(track);
  const bool finalize = FParams.Disc.FinalizeDisc;
  // A close sent with the immediate bit keeps the drive busy for a while;
  // the next close waits for it, or the drive would refuse it and leave
  // the session open.
  auto close = [&](const std::string& step, TImmediate immediate, std::uint8_t function, std::uint8_t number) {
    return EndCommand(step, [&] { return d.CloseTrackSession(immediate, function, 0, 0, number); });
  };
  const std::string closeTrack = texts::Format(texts::kStepCloseTrack, static_cast<long long>(track));
  const std::string closeSession = finalize ? texts::kStepCloseDisc : texts::kStepCloseSession;
  // DVD-R and DVD+R pages always allow another session, so closing the
  // disc takes the finalizing close function.
  const std::uint8_t sessionClose = finalize ? 5 : 2;
  std::string r;
  switch (medium) {
    case kMediumDvdpr:
      r = close(closeTrack, TImmediate::No, 1, t);
      if (r.empty()) r = close(closeSession, TImmediate::No, sessionClose, 0xFF);
      break;
    case kMediumBdr:
      // MMC-6, CLOSE TRACK SESSION: BD-R closes a session with function 2 and finalizes with 6.
      r = close(closeTrack, TImmediate::No, 1, t);
      if (r.empty()) r = close(closeSession, TImmediate::No, finalize ? 6 : 2, 0);
      break;
    case kMediumBdre: break;  // written in place: the flush is the ending
    case kMediumDvdprDl:
      r = close(closeTrack, TImmediate::No, 1, t);
      if (r.empty()) r = close(closeSession, TImmediate::No, finalize ? 6 : 2, 0);
      break;
    case kMediumDvdr: {
      r = close(closeTrack, TImmediate::Yes, 1, t);
      if (!r.empty()) break;
      // The empty track after the reservation: a drive with nothing there to
      // close may refuse, which harms nothing.
      const auto next = static_cast<std::uint8_t>(t + 1);
      const std::string closeNext = texts::Format(texts::kStepCloseTrack, static_cast<long long>(next));
      if (const std::string skipped = close(closeNext, TImmediate::Yes, 1, next); skipped == texts::kOperationAborted)
        return skipped;
      r = close(closeSession, TImmediate::Yes, sessionClose, static_cast<std::uint8_t>(t + 2));
      break;
    }
    case kMediumDvdrwRestricted: r = close(closeSession, TImmediate::Yes, 2, 0); break;
    case kMediumDvdrwSequential:
      // Left sequential (it held sessions already): the track written
      // incrementally is closed, then its session.
      r = close(closeTrack, TImmediate::Yes, 1, t);
      if (r.empty()) r = close(closeSession, TImmediate::Yes, sessionClose, 0);
      break;
    case kMediumDvdprw: r = close(closeSession, TImmediate::No, 3, 0xFF); break;
    default: {
      const TImmediate immediate = d.Quirks().NoImmediateClose ? TImmediate::No : TImmediate::Yes;
      r = EndCommand(closeSession, [&] { return d.CloseTrackSession(immediate, false, false); });
    }
  }
  return r;
}

void ReturnToNeutralState(TSCSIDevice& d) {
  d.SetWriteParameters(false, false, kMediumCdRom, false);
  d.SetCdSpeed(d.MaxReadSpeed(), 2);
  d.RezeroUnit();
  d.PreventAllowMediumRemoval(TRemoval::Allow);
  d.StartStopUnit(TStartStop::Load);
  d.RezeroUnit();
  d.TestUnitReady(5000);
}

std::string TThWrite::FinishDisc(std::uint8_t medium, const std::string& result) {
  TDiscWrite& w = FParams.Disc;
  TSCSIDevice& d = *w.Device;
  if (medium != kMediumDvdRam) d.ReadBufferCapacity();
  if (w.FinalizingTrack) w.FinalizingTrack();
  // Flushed after an abort or a failure too, so that what was written stays.
  // After an abort the flush is waited for too (bounded), so the next burn
  // finds the drive ready.
  FEndAbortable = result.empty();
  const std::string flushed = Flush(medium);
  d.SetDeviceBufferSize(0);
  d.SetDeviceFreeBufferSize(0);
  if (!result.empty()) return result;
  if (!flushed.empty()) return flushed;
  const bool closes = !w.TestWrite && medium != kMediumDvdRam && medium != kMediumBdre && w.FinalizeTrack;
  if (closes) {
    // BD drives have no write parameters page (MMC-6, Write Parameters mode page).
    if (medium != kMediumDvdr && !IsBdMedium(medium)) d.SetWriteParameters(w.TestWrite, w.UnderrunProtection, medium, w.FinalizeDisc);
    if (std::string r = CloseMedium(medium, FTrack); !r.empty()) return r;
  }
  if (!d.WaitForReady(240000, 5000)) return EndFailure(texts::kStepReadyAfterClose);
  // A drive that took every close yet left the session open would leave a
  // disc that no reader mounts: that is a failed burn too.
  const bool sequential = medium != kMediumDvdprw && medium != kMediumDvdrwRestricted && medium != kMediumCdRom &&
                          medium != kMediumDvdRom && medium != kMediumBdre && medium != kMediumBdRom;
  if (closes && sequential && d.ReadDiscInformation() && d.LastDiscInfo().LastSessionState() == 1)
    return texts::Format(texts::kEndStepFailed, std::string(texts::kStepCloseSession)) + " [" +
           texts::kSessionStillOpen + "]";
  if (medium != kMediumDvdRam) d.ReadBufferCapacity();
  return {};
}

void TThWrite::RunDisc() {
  std::uint8_t medium = 0;
  bool bufferPolling = false;
  std::string result = StartDisc(medium, bufferPolling);
  if (!result.empty()) {
    FParams.Cache->Abort();
  } else {
    result = WriteDisc(medium, bufferPolling);
  }
  result = FinishDisc(medium, result);
  // After an abort or a failure the drive is left as the ending left it.
  if (result.empty()) ReturnToNeutralState(*FParams.Disc.Device);
  FParams.Cache->Join();
  if (result.empty()) result = FParams.Cache->StatusText();
  // Zeros stand where a source came up short: the disc holds the session,
  // but the burn did not do what was asked.
  if (const auto damaged = FParams.Cache->DamagedFiles(); result.empty() && !damaged.empty())
    result = texts::Format(texts::kDiscDamaged, static_cast<long long>(damaged.size()));
  {
    std::lock_guard lock(FFileMutex);
    FCurrentFile.clear();
  }
  SetCloseHandleAfterCommand(true);
  FWriting = false;
  if (FParams.Done) FParams.Done(result);
}

}  // namespace device
