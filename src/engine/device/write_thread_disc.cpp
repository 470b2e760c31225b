// The writer thread in disc mode: prepare the drive, write the stream with
// WRITE (10) (retrying while the drive is busy), flush, close the track and
// session the way the medium needs, and return the drive to a neutral state.
#include <algorithm>
#include <cstring>

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

bool WrittenInPlace(std::uint8_t m) {
  return m == kMediumDvdRam || m == kMediumDvdrwRestricted || m == kMediumDvdprw;
}

bool UsesStreaming(std::uint8_t m) {
  return m == kMediumDvdr || m == kMediumDvdrwRestricted || m == kMediumDvdrwSequential || m == kMediumDvdprw ||
         m == kMediumDvdpr || m == kMediumDvdprDl;
}

// DVD media show their speed in DVD factors; DVD+R DL is one of them.
bool DvdSpeedText(std::uint8_t m) { return m >= kMediumDvdr && m <= kMediumDvdprDl; }

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
  sleeper.PauseUnlessCancelled(FParams.Cancel.get(), ms);
}

std::string TThWrite::StartDisc(std::uint8_t& medium, bool& bufferPolling) {
  TDiscWrite& w = FParams.Disc;
  TSCSIDevice& d = *w.Device;
  bufferPolling = d.ReadBufferCapacity();
  medium = d.DetectMediaType();
  d.SetCurrentMediaType(medium);
  d.StartStopUnit(TStartStop::Load);
  if (medium != kMediumDvdprw) d.RezeroUnit();
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
  FTrack = d.SessionCount() + 1;
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
    line = texts::Format(line.c_str(), SpeedText(speed, DvdSpeedText(medium)));
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
    if (d.Write10(lba, blocks, data)) {
      if (FParams.Disc.RecordBlocks) FWrittenBlocks.push_back({lba, blocks, BlockHash(data)});
      return {};
    }
    const std::uint8_t asc = d.Sense().Asc;
    const bool noSense = asc == 0 && !d.TargetBusy();
    silent = noSense ? silent + 1 : 0;
    if (!(d.TargetBusy() || asc == 0x04 || asc == 0) || silent > kSilentRetryLimit) {
      cache.Abort();
      return std::string(texts::kWriterError) + " [" + d.LastErrorText() + "]";
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
    if (d.Write10(0, static_cast<std::uint16_t>(copy.size() / 2048), copy)) {
      d.SynchronizeCache(TImmediate::No, 1800000);
      return {};
    }
    if (!(medium == kMediumDvdprw && d.Sense().Asc == 0x30)) break;
    if (!d.FormatUnit(kFormatDvdPlusRw)) break;
    do {
      Pause(2000);
      d.ReadDiscInformation();
    } while (d.Sense().Asc == 0x04);
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
  if (inPlace && w.StartAddress != 0) {
    std::vector<std::uint8_t>& copy = w.HeaderCopy;
    copy.resize(stream::kBlockSizeOther, 0);
    if (std::string r = WriteBlock(0, copy); !r.empty()) return r;
  }
  return {};
}

// The track number goes into the command's track-number field (bytes 4
// and 5); byte 3 is reserved, and a number put there closes no track.
void TThWrite::CloseMedium(std::uint8_t medium, std::uint32_t track) {
  TSCSIDevice& d = *FParams.Disc.Device;
  const auto t = static_cast<std::uint8_t>(track);
  // A close sent with the immediate bit keeps the drive busy for a while;
  // the next close waits for it, or the drive would refuse it and leave
  // the session open.
  auto close = [&](TImmediate immediate, std::uint8_t function, std::uint8_t number) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
      if (d.CloseTrackSession(immediate, function, 0, 0, number)) return true;
      if (!(d.TargetBusy() || d.Sense().Asc == 0x04)) return false;
      Pause(1000);
    }
    return false;
  };
  // DVD-R and DVD+R pages always allow another session, so closing the
  // disc takes the finalizing close function.
  const std::uint8_t sessionClose = FParams.Disc.FinalizeDisc ? 5 : 2;
  switch (medium) {
    case kMediumDvdpr:
      close(TImmediate::No, 1, t);
      close(TImmediate::No, sessionClose, 0xFF);
      return;
    case kMediumDvdprDl:
      close(TImmediate::No, 1, t);
      close(TImmediate::No, FParams.Disc.FinalizeDisc ? 6 : 2, 0);
      return;
    case kMediumDvdr:
      close(TImmediate::Yes, 1, t);
      close(TImmediate::Yes, 1, static_cast<std::uint8_t>(t + 1));
      close(TImmediate::Yes, sessionClose, static_cast<std::uint8_t>(t + 2));
      return;
    case kMediumDvdrwRestricted:
      close(TImmediate::Yes, 2, 0);
      return;
    case kMediumDvdrwSequential:
      // Left sequential (it held sessions already): the track written
      // incrementally is closed, then its session.
      close(TImmediate::Yes, 1, t);
      close(TImmediate::Yes, sessionClose, 0);
      return;
    case kMediumDvdprw:
      close(TImmediate::No, 3, 0xFF);
      return;
    default: {
      const TImmediate immediate = d.Quirks().NoImmediateClose ? TImmediate::No : TImmediate::Yes;
      for (int attempt = 0; attempt < 1000; ++attempt) {
        if (d.CloseTrackSession(immediate, false, false)) return;
        if (!(d.TargetBusy() || d.Sense().Asc == 0x04)) {
          d.CloseTrackSession(immediate, false, false);
          return;
        }
        Pause(1000);
      }
    }
  }
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

void TThWrite::FinishDisc(std::uint8_t medium, const std::string& result) {
  TDiscWrite& w = FParams.Disc;
  TSCSIDevice& d = *w.Device;
  if (medium != kMediumDvdRam) d.ReadBufferCapacity();
  if (w.FinalizingTrack) w.FinalizingTrack();
  if (medium == kMediumDvdr || medium == kMediumDvdrwRestricted || medium == kMediumDvdrwSequential) {
    d.SynchronizeCache(TImmediate::Yes, 1800000);
    d.SetDeviceFreeBufferSize(d.DeviceBufferSize());
    for (int i = 0; i < kFlushWaitLimit && !d.ReadDiscInformation(); ++i) {
      const std::uint32_t step = d.DeviceBufferSize() / 960;
      d.SetDeviceFreeBufferSize(d.DeviceFreeBufferSize() > step ? d.DeviceFreeBufferSize() - step : 0);
      Pause(1000);
    }
  } else if (!d.SynchronizeCache(TImmediate::No, 120000)) {
    d.SynchronizeCache(TImmediate::Yes, 120000);
  }
  d.SetDeviceBufferSize(0);
  d.SetDeviceFreeBufferSize(0);
  if (!result.empty()) return;
  if (!w.TestWrite && medium != kMediumDvdRam && w.FinalizeTrack) {
    if (medium != kMediumDvdr) d.SetWriteParameters(w.TestWrite, w.UnderrunProtection, medium, w.FinalizeDisc);
    CloseMedium(medium, FTrack);
  }
  d.WaitForReady(240000, 5000);
  if (medium != kMediumDvdRam) d.ReadBufferCapacity();
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
  FinishDisc(medium, result);
  ReturnToNeutralState(*FParams.Disc.Device);
  FParams.Cache->Join();
  if (result.empty()) result = FParams.Cache->StatusText();
  {
    std::lock_guard lock(FFileMutex);
    FCurrentFile.clear();
  }
  SetCloseHandleAfterCommand(true);
  FWriting = false;
  if (FParams.Done) FParams.Done(result);
}

}  // namespace device
