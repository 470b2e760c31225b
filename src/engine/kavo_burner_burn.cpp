// Burning a compilation or an existing image file to a disc, erasing a
// rewritable disc, and reading a burn back to check it.
#include <algorithm>
#include <cmath>
#include <optional>

#include "engine/device/erase_thread.h"
#include "engine/device/speed_text.h"
#include "engine/device/write_params.h"
#include "engine/device/write_thread.h"
#include "engine/dispatch/dispatcher.h"
#include "engine/iso/records.h"
#include "engine/kavo_burner.h"
#include "engine/stream/cache_thread.h"
#include "engine/texts.h"
#include "platform/file_stream.h"

namespace engine {
namespace {

std::uint32_t BlockSizeFor(std::uint8_t medium) {
  return medium == device::kMediumCdr || medium == device::kMediumCdrw ? stream::kBlockSizeCd
                                                                        : stream::kBlockSizeOther;
}

// A format runs for minutes; one that never ends must not hold the caller.
constexpr int kFormatPollLimit = 720;

}  // namespace

void TKavoBurner::DeliverWriteDone(const std::string& error) {
  // Released where the event runs, so that its handler may start the next.
  Raise([this, error] {
    FOperationDone = true;
    ReleaseOperation();
    if (OnWriteDone) OnWriteDone(*this, error);
  });
}

void TKavoBurner::FormatDvdRw(std::uint8_t medium) {
  const auto& list = medium == device::kMediumDvdrwSequential ? device::kFormatDvdrwSequential
                                                              : device::kFormatDvdrwRestricted;
  SetPhase(OperationPhase::Formatting);
  if (!FormatUnit(list)) FormatUnit(device::kFormatDvdrwSecondTry);
  const auto cancel = CancelToken();
  for (int i = 0; i < kFormatPollLimit; ++i) {
    if (i > 0 && Sleeper().PauseUnlessCancelled(cancel.get(), 5000)) break;
    ReadDiscInformation();
    if (Sense().Asc != 0x04) break;
  }
}

bool TKavoBurner::StartDiscWriter(stream::TCacheThread* cache, bool compilation, std::uint8_t medium) {
  SetPhase(OperationPhase::Caching, std::uint64_t{ImageSectors()} * iso::kSectorSize);
  {
    std::unique_ptr<stream::TCacheThread> owned(cache);
    std::lock_guard lock(FProgressMutex);
    FCache = std::move(owned);
  }
  while (!FCache->WaitReadyOrFailed(100)) {
    if (CancelRequested()) FCache->Abort();
  }
  if (CancelRequested()) FCache->Abort();
  if (const std::string status = FCache->StatusText(); !status.empty() || !FCache->Ready()) {
    FCache->Join();
    DeliverWriteDone(status.empty() && CancelRequested() ? std::string(texts::kOperationAborted) : status);
    return false;
  }
  device::TThWrite::Params w;
  w.ImageBytes = std::uint64_t{ImageSectors()} * iso::kSectorSize;
  w.Cache = FCache.get();
  w.Lock = &CriticalSection();
  w.Cancel = CancelToken();
  device::TDiscWrite& d = w.Disc;
  d.Device = this;
  d.Sleeper = &Sleeper();
  d.Compilation = compilation;
  d.StartAddress = compilation ? FLayout.SessionStart : 0;
  d.ImageSectors = ImageSectors();
  if (compilation) d.HeaderCopy = FHeader.DescriptorCopy;
  d.TestWrite = TestWrite();
  d.UnderrunProtection = UnderrunProtection();
  d.FinalizeDisc = FinalizeDisc();
  d.FinalizeTrack = FinalizeTrack();
  d.PerformOPC = PerformOPC();
  d.Streaming = BdStreaming() && device::IsBdMedium(CurrentMediaType());
  d.ReadSpeed = ReadSpeed();
  d.WriteSpeed = WriteSpeed();
  d.RecordBlocks = FRecordWrites;
  d.FinalizingTrack = [this] {
    SetPhase(OperationPhase::Finalizing);
    Raise([this] {
      if (OnFinalizingTrack) OnFinalizingTrack(*this);
    });
  };
  d.Message = [this](const std::string& m, std::uint8_t kind) { DebugMessage(m, kind); };
  (void)medium;
  FLastWrites.clear();
  w.Done = [this](const std::string& error) {
    Raise([this, error] {
      {
        std::lock_guard lock(FProgressMutex);
        if (FWriter) FLastWrites = FWriter->WrittenBlocks();
      }
      FinishOperation(error);
    });
  };
  SetPhase(OperationPhase::Writing);
  // Made under the lock: the end event, which may come at once, finds it.
  std::lock_guard lock(FProgressMutex);
  FWriter = std::make_unique<device::TThWrite>(std::move(w));
  return true;
}

bool TKavoBurner::StartCompilationBurn() {
  if (!ClaimOperation()) {
    RaiseWriteDone(texts::kAnotherOperation);
    return false;
  }
  SetPhase(OperationPhase::Preparing);
  // Media detection, a format, the import and the cache's first fill can
  // take minutes: all of it runs on the operation's worker.
  RunOnWorker([this] { PrepareCompilationBurn(); });
  return true;
}

bool TKavoBurner::StoppedBeforeWriting() {
  if (!CancelRequested()) return false;
  DeliverWriteDone(texts::kOperationAborted);
  return true;
}

void TKavoBurner::PrepareCompilationBurn() {
  const std::uint8_t medium = DetectMediaType();
  SetCurrentMediaType(medium);
  // The quick format that turns a sequential DVD-RW into restricted
  // overwrite erases it, so only a blank one is formatted; one that already
  // holds sessions is added to like a DVD-R.
  if (medium == device::kMediumDvdrwRestricted || (medium == device::kMediumDvdrwSequential && DiscState() == 0)) {
    FormatDvdRw(medium);
    SetCurrentMediaType(DetectMediaType());
  }
  if (StoppedBeforeWriting()) return;
  SetPhase(OperationPhase::Preparing);
  // A session an ended burn left open is closed first: the new one then
  // starts after it, and the import below finds the complete sessions only.
  if (std::string open = CloseOpenSession(DetectMediaType()); !open.empty()) {
    DeliverWriteDone(open);
    return;
  }
  if (StoppedBeforeWriting()) return;
  FBurnLayout = true;
  FNextWritableRead = false;
  PrepareLayout(LayoutTarget::Disc);
  FBurnLayout = false;
  // Without the next writable address nothing may be written: sector 0 of a
  // disc that holds sessions is not free.
  if (!FNextWritableRead) {
    const std::string reason = CancelRequested()  ? std::string(texts::kOperationAborted)
                               : DiscState() == 2 ? std::string(texts::kDiscClosed)
                                                : std::string(texts::kErrorNextWritableAddress) + " [" +
                                                      LastErrorText() + "]";
    DeliverWriteDone(reason);
    return;
  }
  if (StoppedBeforeWriting()) return;
  if (!BuildHeader()) {
    DeliverWriteDone(texts::kLayoutFailed);
    return;
  }
  if (std::string refused = CheckBeforeFirstWrite(BurnSource::Compilation); !refused.empty()) {
    DeliverWriteDone(refused);
    return;
  }
  const std::uint64_t total = FLayout.SectorsToWrite * iso::kSectorSize;
  stream::TCacheThread::Params p;
  p.CacheSize = CacheSize();
  p.Lock = &CriticalSection();
  p.BlockSize = BlockSizeFor(medium);
  p.MinimumLength = WritePostGap() && total < stream::kMinimumStreamBytes;
  p.BootImagePath = FLayout.Options.Bootable ? BootImageFile : std::string();
  p.BootImageSectors = FLayout.BootImageSectors;
  p.TotalBytes = total;
  p.Header = &FHeader.Bytes;
  p.Tables = &FTables;
  p.PaddingSectors = FLayout.PaddingSectors;
  p.DataDisc = FDataDisc;
  StartDiscWriter(new stream::TCacheThread(std::move(p)), true, medium);
}

bool TKavoBurner::StartImageFileBurn(const std::string& path) {
  if (!ClaimOperation()) {
    RaiseWriteDone(texts::kAnotherOperation);
    return false;
  }
  SetPhase(OperationPhase::Preparing);
  RunOnWorker([this, path] { PrepareImageFileBurn(path); });
  return true;
}

void TKavoBurner::PrepareImageFileBurn(const std::string& path) {
  const std::uint8_t medium = DetectMediaType();
  SetCurrentMediaType(medium);
  std::uint64_t size = 0;
  {
    auto file = platform::FileStream::Open(path, platform::OpenMode::Read);
    const std::int64_t known = file ? file.Value().Size() : -1;
    size = known > 0 ? static_cast<std::uint64_t>(known) : 0;
    if (size == 0) {
      DeliverWriteDone(texts::Format(known == 0 ? texts::kImageFileEmpty : texts::kCantOpenFile, path));
      return;
    }
  }
  const std::uint64_t sectors = (size + iso::kSectorSize - 1) / iso::kSectorSize;
  FLayout = iso::SessionLayout{};
  FLayout.SectorsToWrite = sectors;
  if (StoppedBeforeWriting()) return;
  if (std::string refused = CheckBeforeFirstWrite(BurnSource::ImageFile); !refused.empty()) {
    DeliverWriteDone(refused);
    return;
  }
  stream::TCacheThread::Params p;
  p.CacheSize = CacheSize();
  p.Lock = &CriticalSection();
  p.BlockSize = BlockSizeFor(medium);
  p.TotalBytes = sectors * iso::kSectorSize;
  p.ImageFilePath = path;
  StartDiscWriter(new stream::TCacheThread(std::move(p)), false, medium);
}

std::string TKavoBurner::VerifyLastBurn(const std::function<void(std::uint64_t, std::uint64_t)>& progress) {
  SyncOperation operation(*this, OperationPhase::Verifying);
  const auto cancel = CancelToken();
  std::uint64_t total = 0, done = 0;
  for (const auto& b : FLastWrites) total += b.Blocks;
  SetPhase(OperationPhase::Verifying, total * iso::kSectorSize);
  std::vector<std::uint8_t> data;
  for (const auto& b : FLastWrites) {
    if (cancel->Cancelled()) return texts::kOperationAborted;
    if (!Read10(b.Lba, static_cast<std::uint16_t>(b.Blocks), data))
      return texts::Format(texts::kVerifyReadError, static_cast<long long>(b.Lba));
    if (device::BlockHash(data) != b.Hash)
      return texts::Format(texts::kVerifyMismatch,
                           std::to_string(b.Lba) + "-" + std::to_string(b.Lba + b.Blocks - 1));
    done += b.Blocks;
    SetSyncProgress(done * iso::kSectorSize, std::string());
    if (progress) progress(done, total);
  }
  return {};
}

void TKavoBurner::RaiseEraseProgress(int percent) {
  Raise([this, percent] {
    if (OnEraseProgress) OnEraseProgress(*this, percent);
  });
}

void TKavoBurner::EndErase(bool withError, const std::string& reason) {
  Raise([this, withError, reason] {
    FErasing = false;
    ReleaseOperation();
    if (OnEraseDone) OnEraseDone(*this, withError, reason);
  });
}

bool TKavoBurner::Erase(std::uint8_t blankType) {
  if (!ClaimOperation()) return false;
  SetPhase(OperationPhase::Erasing);
  FErasing = true;
  // The readiness checks alone may take half a minute.
  RunOnWorker([this, blankType] { PrepareErase(blankType); });
  return true;
}

// Erasing a BD-RE is formatting it: quick (1) keeps the default spare areas
// with type 00h; full (0) certifies every block with type 30h, sub-type 10b.
bool TKavoBurner::FormatBdRe(std::uint8_t blankType) {
  if (blankType == 1) return FormatUnit(device::kFormatBdReDefault);
  std::vector<std::uint8_t> capacities;
  if (!ReadFormatCapacities(capacities)) return false;
  std::optional<device::TFormatDescriptor> chosen;
  std::uint32_t defaultBlocks = 0;
  for (const auto& d : device::FormatDescriptors(capacities)) {
    if (d.Type == 0x00) defaultBlocks = d.Blocks;
    if (d.Type == 0x30 && (!chosen || d.Blocks == defaultBlocks)) chosen = d;
  }
  if (!chosen) return FormatUnit(device::kFormatBdReDefault);
  return FormatUnit(device::FormatList(*chosen, 0x02));
}

void TKavoBurner::PrepareErase(std::uint8_t blankType) {
  RaiseEraseProgress(0);
  const bool ready = TestUnitReady(5000);
  StartStopUnit(device::TStartStop::Load);
  const std::uint8_t medium = DetectMediaType();
  SetCurrentMediaType(medium);
  // A cancel ends the readiness waits (their pauses wake on it) and the
  // erase before its blank is sent.
  auto readyCheck = [&](bool answered) {
    return (answered || WaitForReady(30000, 5000)) && !CancelRequested();
  };
  if (!readyCheck(ready)) {
    EndErase(true);
    return;
  }
  if (medium != device::kMediumDvdRam) {
    SetCdSpeed(ReadSpeed(), WriteSpeed());
    if (!device::IsBdMedium(medium)) SetWriteParameters(false, false, medium, false);
  }
  const std::uint16_t speed = CurrentWriteSpeed();
  if (!readyCheck(TestUnitReady(5000))) {
    EndErase(true);
    return;
  }
  const bool dvdText = medium >= device::kMediumDvdRam && medium <= device::kMediumDvdprw;
  const device::TSpeedFamily family = device::IsBdMedium(medium) ? device::TSpeedFamily::Bd
                                      : dvdText                   ? device::TSpeedFamily::Dvd
                                                                  : device::TSpeedFamily::Cd;
  std::string line = texts::Format(texts::kStartingErase, device::MediumName(medium));
  // The erase line has no space before the bracket, unlike the write line.
  const std::string speedText = device::SpeedFactorText(speed, family) + "(" +
                                device::GroupedNumber(speed, device::UserThousandsSeparator()) + " KB/s)";
  DebugMessage(">>> " + texts::Format(line.c_str(), speedText), device::kMsgProgress);

  bool accepted = false;
  if (medium == device::kMediumDvdprw) {
    accepted = FormatUnit(device::kFormatDvdPlusRw);
    if (!accepted) {
      RezeroUnit();
      Sleeper().Sleep(1000);
      accepted = FormatUnit(device::kFormatDvdPlusRw);
    }
  } else if (medium == device::kMediumBdre) {
    accepted = FormatBdRe(blankType);
  } else if (medium == device::kMediumDvdRam && blankType == 1) {
    std::vector<std::uint8_t> zeros(65536, 0);
    for (std::uint32_t lba = 0; lba <= 320; lba += 32) Write10(lba, 32, zeros);
    SynchronizeCache(device::TImmediate::No, 30000);
    accepted = true;
  } else if (medium == device::kMediumDvdRam) {
    accepted = FormatUnit(device::kFormatDvdRam);
  } else {
    accepted = Blank(blankType);
  }
  if (!accepted) {
    EndErase(true);
    return;
  }
  device::TEraseThread::Params e;
  e.Device = this;
  e.Sleeper = &Sleeper();
  e.Medium = medium;
  e.BlankType = blankType;
  e.Duration = device::EraseDuration(medium, blankType);
  e.Cancel = CancelToken();
  e.Done = [this](bool withError, const std::string& reason) { EndErase(withError, reason); };
  e.Message = [this](const std::string& m) { DebugMessage(m, device::kMsgDriveError); };
  e.Progress = [this](int percent) { RaiseEraseProgress(percent); };
  // Made under the lock: readers never see the thread before its pointer.
  std::lock_guard lock(FProgressMutex);
  FEraser = std::make_unique<device::TEraseThread>(std::move(e));
}

}  // namespace engine
