#include "engine/kavo_burner.h"

#include <atomic>
#include <cmath>

#include "engine/device/erase_thread.h"
#include "engine/device/write_thread.h"
#include "engine/dispatch/dispatcher.h"
#include "engine/stream/cache_thread.h"
#include "engine/stream/image_file_writer.h"

#include "engine/iso/boot.h"
#include "engine/iso/date_time.h"
#include "engine/stream/direct_writer.h"
#include "engine/texts.h"
#include "platform/time_zone.h"

namespace engine {
namespace {
// The component whose operation runs; one at a time in the process.
std::atomic<TKavoBurner*> gRunning{nullptr};
}  // namespace

BootProblem CheckBootImage(const std::string& path) {
  if (path.empty()) return BootProblem::NoImage;
  platform::FindData boot;
  if (!platform::GetFileInfo(path, boot)) return BootProblem::Missing;
  if ((boot.Attributes & platform::kAttrDirectory) != 0 || boot.Special) return BootProblem::NotAFile;
  if (boot.Size == 0) return BootProblem::Empty;
  return BootProblem::None;
}

TKavoBurner::TKavoBurner() { ResetCompilation(65535, 8191); }

bool TKavoBurner::ClaimOperation() {
  TKavoBurner* idle = nullptr;
  // Without a dispatcher the end events run on a worker thread, which cannot
  // reap itself to start the next operation.
  if (OnOperationThread()) return false;
  if (!gRunning.compare_exchange_strong(idle, this)) return false;
  ReapThreads();
  NewCancelToken();
  return true;
}

void TKavoBurner::ReleaseOperation() {
  SetPhase(OperationPhase::Idle);
  TKavoBurner* self = this;
  gRunning.compare_exchange_strong(self, nullptr);
}

void TKavoBurner::NewCancelToken() {
  std::lock_guard lock(FCancelMutex);
  FPreviousCancel = std::move(FCancel);
  FCancel = std::make_shared<base::CancelToken>();
  FCancelRaw = FCancel.get();
}

bool TKavoBurner::OperationClaimed() const { return gRunning.load() == this; }

bool TKavoBurner::OnOperationThread() const {
  std::lock_guard lock(FProgressMutex);
  return (FWriter && FWriter->OnWriterThread()) || (FFileWriter && FFileWriter->OnWriterThread()) ||
         (FEraser && FEraser->OnEraserThread()) || OnBackgroundThread();
}

std::shared_ptr<const base::CancelToken> TKavoBurner::PauseCancelToken() const {
  // Outside an operation a cancelled token of the last one must not cut
  // short a wait of the caller's own.
  if (!OperationClaimed()) return nullptr;
  return CancelToken();
}

void TKavoBurner::RunOnWorker(std::function<void()> work) {
  FOperationDone = false;
  // Claiming reaped the last worker; one left running would end the process here.
  if (FBackground.joinable()) FBackground.join();
  FBackground = std::thread([this, work = std::move(work)] {
    FBackgroundId = std::this_thread::get_id();
    work();
    // A later thread may be given the same id.
    FBackgroundId = std::thread::id{};
  });
}

std::shared_ptr<base::CancelToken> TKavoBurner::StopWaitsToken() const {
  std::lock_guard lock(FCancelMutex);
  return FStopWaits;
}

std::shared_ptr<base::CancelToken> TKavoBurner::CancelToken() const {
  std::lock_guard lock(FCancelMutex);
  return FCancel;
}

TKavoBurner::~TKavoBurner() {
  // An operation still running is aborted and waited for; an end event it
  // has posted finds the component gone and stays silent.
  *FAlive = false;
  StopWaitsToken()->Cancel();
  if (!FOperationDone || FErasing) CancelOperation();
  WaitForOperation();
  TKavoBurner* self = this;
  gRunning.compare_exchange_strong(self, nullptr);
}

void TKavoBurner::SetWriteSpeed(std::uint16_t v) {
  SetCdSpeed(FReadSpeed, v);
  FWriteSpeed = v;
}

void TKavoBurner::DeviceSelected() {
  Raise([this] {
    if (OnDeviceChange) OnDeviceChange(*this);
  });
}

void TKavoBurner::SetCacheSize(std::uint32_t v) {
  FCacheSize = v < 2097152 ? 2097152 : v - v % 2048;
}

int TKavoBurner::PrepareLayout(LayoutTarget target) {
  FDoDebug = false;
  iso::LayoutOptions options;
  options.Joliet = FJolietFileSystem;
  options.RockRidge = FRockRidge;
  FBootProblem = Bootable ? CheckBootImage(BootImageFile) : BootProblem::None;
  if (FBootProblem != BootProblem::None) Bootable = false;
  platform::FindData boot;
  if (Bootable && !platform::GetFileInfo(BootImageFile, boot)) {  // gone since the check
    FBootProblem = BootProblem::Missing;
    Bootable = false;
  }
  if (Bootable) {
    options.Bootable = true;
    options.BootImageSectors = static_cast<std::uint32_t>((boot.Size + iso::kSectorSize - 1) / iso::kSectorSize);
  }
  options.SessionStart = 0;
  if (target == LayoutTarget::Disc) {
    if (FDiscSource != nullptr) {
      if (const auto next = FDiscSource->NextWritableAddress()) options.SessionStart = *next;
      FNextWritableRead = true;  // sessions read elsewhere; the drive is not asked
    } else if (FBurnLayout) {
      std::uint32_t start = 0;
      FNextWritableRead = ReadNextWritableAddress(start) && start <= 0xFF000000u;
      if (!FNextWritableRead)
        DebugMessage(">>> " + std::string(texts::kErrorNextWritableAddress), device::kMsgDriveError);
      options.SessionStart = FNextWritableRead ? start : 0;
    }
    // The earlier session's files keep their sectors; only records are new.
    if (FSessionToImport != 0) ImportDiscSession(FSessionToImport, nullptr);
  }
  FLayout = iso::ComputeLayout(FTables, options);
  FLaidOut = false;
  return 1;
}

bool TKavoBurner::BuildHeader() {
  iso::HeaderInput in;
  in.Tables = &FTables;
  in.Layout = &FLayout;
  in.Ids = FIds;
  in.Now = platform::NowLocal();
  in.TimeZoneOffset = static_cast<std::int8_t>(in.Now.UtcOffsetMinutes / 15);
  in.NowAgain = platform::NowLocal();
  if (FLayout.Options.Bootable) {
    in.BootRecord = iso::MakeBootRecord(FLayout.BootCatalogSector);
    in.BootCatalog = iso::MakeBootCatalog(FLayout.BootImageSector, FLayout.BootImageSectors);
  }
  auto built = iso::BuildHeaderStream(in);
  if (!built) {
    DebugMessage(">>> " + std::string(texts::kLayoutFailed) + " " + built.Err().Message, device::kMsgCompilationError);
    FHeader = {};
    return false;
  }
  FHeader = std::move(built.Value());
  FLaidOut = true;
  FDoDebug = true;
  return true;
}

std::uint32_t TKavoBurner::ImageSectors() const {
  const auto sectors = static_cast<std::uint32_t>(FLayout.SectorsToWrite);
  return FWritePostGap && sectors < 300 ? 300 : sectors;
}

int TKavoBurner::WriteImageFile(const std::string& path, SaveMode mode) {
  const int result = mode == SaveMode::Quick ? 1 : -1;
  TKavoBurner* idle = nullptr;
  // A quick write started through StartBackground runs inside its operation.
  const bool inBackground = mode == SaveMode::Quick && OnBackgroundThread() && OperationClaimed();
  // Without a dispatcher OnWriteDone runs on the writer thread, which cannot
  // reap itself to start the next operation.
  if (!inBackground && (OnOperationThread() || !gRunning.compare_exchange_strong(idle, this))) {
    RaiseWriteDone(texts::kAnotherOperation);
    return result;
  }
  if (!inBackground) {
    ReapThreads();
    NewCancelToken();
  }
  SetPhase(OperationPhase::Preparing);
  if (mode == SaveMode::Threaded) {
    // The layout and the first fill of the cache take a while on a large
    // compilation: the caller's thread only starts them.
    FISOFileName = path;
    RunOnWorker([this, path] { StartThreadedImageWrite(path); });
    return result;
  }
  stream::RemoveStalePartFiles(path);
  PrepareLayout(LayoutTarget::ImageFile);
  std::string error;
  if (!BuildHeader()) {
    error = texts::kLayoutFailed;
  } else {
    stream::DirectWriteInput in;
    in.Tables = &FTables;
    in.Layout = &FLayout;
    in.Header = &FHeader;
    in.BootImagePath = BootImageFile;
    in.OutputPath = path;
    in.Message = [this](const std::string& m, std::uint8_t kind) { DebugMessage(m, kind); };
    SetPhase(OperationPhase::Writing, std::uint64_t{ImageSectors()} * iso::kSectorSize);
    in.Progress = [this](std::uint64_t done, std::uint64_t total) {
      SetSyncProgress(done, std::string());
      Raise([this, done, total] {
        if (OnProgress) OnProgress(*this, Progress{done, total});
      });
    };
    in.Cancelled = [token = CancelToken()] { return token->Cancelled(); };
    error = stream::WriteImageDirect(in).Error;
  }
  if (inBackground)
    SetPhase(OperationPhase::Preparing);
  else
    ReleaseOperation();
  RaiseWriteDone(error);
  return result;
}

void TKavoBurner::StartThreadedImageWrite(const std::string& path) {
  stream::RemoveStalePartFiles(path);
  PrepareLayout(LayoutTarget::ImageFile);
  if (!BuildHeader()) {
    DeliverWriteDone(texts::kLayoutFailed);
    return;
  }
  const std::uint64_t total = FLayout.SectorsToWrite * iso::kSectorSize;
  stream::TCacheThread::Params p;
  p.CacheSize = FCacheSize;
  p.Lock = &CriticalSection();
  p.BlockSize = stream::kBlockSizeOther;
  p.MinimumLength = FWritePostGap && total < stream::kMinimumStreamBytes;
  p.BootImagePath = FLayout.Options.Bootable ? BootImageFile : std::string();
  p.BootImageSectors = FLayout.BootImageSectors;
  p.TotalBytes = total;
  p.Header = &FHeader.Bytes;
  p.Tables = &FTables;
  p.PaddingSectors = FLayout.PaddingSectors;
  // An image file takes large files straight from their source files.
  p.FileRangeMin = 1u << 20;
  p.DataDisc = FDataDisc;
  SetPhase(OperationPhase::Caching, std::uint64_t{ImageSectors()} * iso::kSectorSize);
  {
    auto cache = std::make_unique<stream::TCacheThread>(std::move(p));
    std::lock_guard lock(FProgressMutex);
    FCache = std::move(cache);
  }
  // Polled every 100 ms, but woken at once when the cache is ready.
  while (!FCache->WaitReadyOrFailed(100)) {
    if (CancelRequested()) FCache->Abort();
  }
  if (CancelRequested()) FCache->Abort();
  if (const std::string status = FCache->StatusText(); !status.empty() || !FCache->Ready()) {
    FCache->Join();
    DeliverWriteDone(status.empty() && CancelRequested() ? std::string(texts::kOperationAborted) : status);
    return;
  }
  stream::TImageFileWriter::Params w;
  w.ImageFileName = path;
  w.ImageBytes = std::uint64_t{ImageSectors()} * iso::kSectorSize;
  w.Cache = FCache.get();
  w.Lock = &CriticalSection();
  w.Cancel = CancelToken();
  w.Done = [this](const std::string& error) { Raise([this, error] { FinishOperation(error); }); };
  SetPhase(OperationPhase::Writing);
  // Made under the lock: the end event, which may come at once, finds it.
  std::lock_guard lock(FProgressMutex);
  FFileWriter = std::make_unique<stream::TImageFileWriter>(std::move(w));
}

void TKavoBurner::FinishOperation(const std::string& error) {
  std::vector<std::string> damaged;
  {
    std::lock_guard lock(FProgressMutex);
    if (FCache) damaged = FCache->DamagedFiles();
    if (FFileWriter)
      damaged.insert(damaged.end(), FFileWriter->DamagedFiles().begin(), FFileWriter->DamagedFiles().end());
  }
  for (const auto& path : damaged)
    DebugMessage(">>> " + texts::Format(texts::kFileDamaged, path), device::kMsgCompilationError);
  FOperationDone = true;
  ReleaseOperation();
  if (OnWriteDone) OnWriteDone(*this, error);
}

void TKavoBurner::ReapThreads() {
  // Taken out under the lock, joined outside it: a thread ending now may
  // still report its phase. The writer ends itself after its event, so
  // joining it here costs nothing.
  std::unique_ptr<device::TEraseThread> eraser;
  std::unique_ptr<device::TThWrite> writer;
  std::unique_ptr<stream::TImageFileWriter> fileWriter;
  std::unique_ptr<stream::TCacheThread> cache;
  {
    std::lock_guard lock(FProgressMutex);
    eraser = std::move(FEraser);
    writer = std::move(FWriter);
    fileWriter = std::move(FFileWriter);
    cache = std::move(FCache);
  }
  if (eraser) eraser->Join();
  if (writer) writer->Join();
  if (fileWriter) fileWriter->Join();
  if (FBackground.joinable()) FBackground.join();
}

void TKavoBurner::WaitForOperation() {
  if (OnBackgroundThread()) return;
  // The worker first: it may still be starting the threads below.
  // On the dispatcher's thread, a worker waiting for an add event's answer
  // would wait for this wait.
  const bool onDispatcher = !OffCallerThread();
  std::shared_ptr<base::CancelToken> stop;
  if (onDispatcher) {
    stop = StopWaitsToken();
    stop->Cancel();
  }
  if (FBackground.joinable()) FBackground.join();
  if (onDispatcher && *FAlive) {
    std::lock_guard lock(FCancelMutex);
    if (FStopWaits == stop) FStopWaits = std::make_shared<base::CancelToken>();
  }
  if (FEraser) FEraser->Join();
  if (FWriter) FWriter->Join();
  if (FFileWriter) FFileWriter->Join();
  if (FCache) FCache->Join();
}

int TKavoBurner::CacheFillPercent() const {
  std::lock_guard lock(FProgressMutex);
  const bool writing = (FWriter && FWriter->Writing()) || (FFileWriter && FFileWriter->Writing());
  if (!writing || !FCache) return 0;
  return static_cast<int>(std::lround(static_cast<double>(FCache->CacheBytes()) / FCacheSize * 100.0));
}

std::uint64_t TKavoBurner::BytesWritten() const {
  std::lock_guard lock(FProgressMutex);
  if (FWriter) return FWriter->BytesWritten();
  return FFileWriter ? FFileWriter->BytesWritten() : 0;
}

bool TKavoBurner::Writing() const {
  std::lock_guard lock(FProgressMutex);
  return (FWriter && FWriter->Writing()) || (FFileWriter && FFileWriter->Writing());
}

void TKavoBurner::CancelOperation() { CancelToken()->Cancel(); }

void TKavoBurner::CancelOperationFromSignal() {
  if (base::CancelToken* token = FCancelRaw.load()) token->CancelFromSignal();
}

bool TKavoBurner::CancelRequested() const { return CancelToken()->Cancelled(); }

}  // namespace engine
