#include "engine/stream/cache_thread.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "engine/texts.h"
#include "platform/file_stream.h"

namespace stream {
namespace texts = engine::texts;

namespace {
constexpr std::uint64_t kSector = 2048;
constexpr std::uint64_t RoundUp(std::uint64_t n) { return (n + kSector - 1) / kSector * kSector; }
}  // namespace

TCacheThread::TCacheThread(Params params)
    : FParams(std::move(params)), FLock(*FParams.Lock) {
  // The writer pauses at limit - 1: a limit below 2 would never let it fill.
  FBlockLimit = std::max<std::uint32_t>(FParams.CacheSize / FParams.BlockSize, 2);
  FRemaining = FParams.TotalBytes;
  FStaging.resize(FParams.BlockSize);
  FThread = std::thread([this] { Run(); });
}

TCacheThread::~TCacheThread() {
  Abort();
  Join();
}

void TCacheThread::Join() {
  if (FThread.joinable()) FThread.join();
}

void TCacheThread::Abort() {
  FAbort = true;
  std::lock_guard lock(FLock);
  FChanged.notify_all();
  FRoom.notify_all();
}

std::string TCacheThread::StatusText() const {
  std::lock_guard lock(FLock);
  return FStatus;
}

std::string TCacheThread::CurrentFileName() const {
  std::lock_guard lock(FLock);
  return FCurrentFile;
}

std::uint64_t TCacheThread::CacheBytes() const {
  std::lock_guard lock(FLock);
  return FCacheBytes;
}

std::vector<std::string> TCacheThread::DamagedFiles() const {
  std::lock_guard lock(FLock);
  return FDamaged;
}

std::size_t TCacheThread::PeakQueued() const {
  std::lock_guard lock(FLock);
  return FPeakQueued;
}

bool TCacheThread::WaitReadAheadIdle(int timeoutMs) {
  std::shared_ptr<ReadAhead> ahead;
  {
    std::lock_guard lock(FLock);
    ahead = FAhead;
  }
  return ahead == nullptr || ahead->WaitIdle(std::chrono::milliseconds(timeoutMs));
}

// The level follows the fill; the thread's priority stays the one it started
// with. A reader that lowers itself has to run to raise itself again, and
// under load it waits for the processor behind every busy program (at idle
// priority after a full cache) while the drive drains; on Linux a person's
// process may not raise a thread again at all.
void TCacheThread::SetLevel(CacheLevel level) { FLevel = level; }

void TCacheThread::AdjustLevel() {
  std::size_t n = 0;
  {
    std::lock_guard lock(FLock);
    n = FBlocks.size();
  }
  const std::size_t limit = FBlockLimit;
  SetLevel(n < limit / 4 ? CacheLevel::Normal : n < limit / 2 ? CacheLevel::Lower : CacheLevel::Lowest);
}

void TCacheThread::Stop(const std::string& status) {
  std::lock_guard lock(FLock);
  FBlocks.clear();
  FCounts.clear();
  FRanges.clear();
  FCacheBytes = 0;
  if (FStatus.empty()) FStatus = status;
  FFinished = true;
  FChanged.notify_all();
}

// A full cache is refilled from a quarter down, not block by block: waking
// the reader for every block taken costs more than the reading itself.
std::size_t TCacheThread::ResumePoint() const {
  return std::min<std::size_t>(FBlockLimit * 3 / 4, FBlockLimit - 2);
}

bool TCacheThread::WaitWhileFull() {
  std::unique_lock lock(FLock);
  while (FBlocks.size() + 1 >= FBlockLimit) {
    if (AbortRequested()) return false;
    SetLevel(CacheLevel::Idle);
    // The cache has been filled once: the writer may start.
    if (!FReady) {
      FReady = true;
      FChanged.notify_all();
    }
    FProducerWaiting = true;
    FRoom.wait(lock, [this] { return FBlocks.size() <= ResumePoint() || AbortRequested(); });
    FProducerWaiting = false;
  }
  if (FLevel == CacheLevel::Idle) AdjustLevel();
  return !AbortRequested();
}

bool TCacheThread::QueueStaging() {
  {
    std::lock_guard lock(FLock);
    const std::uint32_t count = FStagingFill;
    std::vector<std::uint8_t> next;
    if (!FSpare.empty()) {
      next = std::move(FSpare.back());
      FSpare.pop_back();
    }
    next.resize(FParams.BlockSize);
    FBlocks.push_back(std::move(FStaging));
    FCounts.push_back(count);
    FRanges.emplace_back();
    FStaging = std::move(next);
    FStagingFill = 0;
    FCacheBytes += count;
    FPeakQueued = std::max(FPeakQueued, FBlocks.size());
    FChanged.notify_all();
  }
  AdjustLevel();
  return WaitWhileFull();
}

bool TCacheThread::CutHeader() {
  const auto& header = *FParams.Header;
  std::size_t at = 0;
  while (at < header.size()) {
    const std::size_t piece = std::min<std::size_t>(header.size() - at, FParams.BlockSize - FStagingFill);
    std::memcpy(FStaging.data() + FStagingFill, header.data() + at, piece);
    FStagingFill += static_cast<std::uint32_t>(piece);
    at += piece;
    // A short last piece stays in the staging block; file data continues it.
    if (FStagingFill == FParams.BlockSize && !QueueStaging()) return false;
    if (AbortRequested()) return false;
  }
  return true;
}

bool TCacheThread::AddZeros(std::uint64_t bytes, bool flushAtEnd) {
  while (bytes > 0) {
    const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, FParams.BlockSize - FStagingFill));
    std::memset(FStaging.data() + FStagingFill, 0, piece);
    FStagingFill += piece;
    bytes -= piece;
    if (FStagingFill == FParams.BlockSize && !QueueStaging()) return false;
    if (AbortRequested()) return false;
  }
  return !flushAtEnd || FStagingFill == 0 || QueueStaging();
}

bool TCacheThread::AddSource(const std::string& path, std::uint64_t bytes, bool damageCounts) {
  {
    std::lock_guard lock(FLock);
    FCurrentFile = path;
  }
  const auto started = std::chrono::steady_clock::now();
  auto opened = platform::FileStream::Open(path, platform::OpenMode::Read);
  if (!opened) {
    Stop(texts::Format(texts::kCantOpenFile, path));
    return false;
  }
  platform::FileStream& source = opened.Value();
  std::uint64_t left = bytes;
  bool ended = false;
  FFirstRead = std::chrono::nanoseconds::zero();
  while (left > 0) {
    const auto want = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, FParams.BlockSize - FStagingFill));
    std::int64_t got = ended ? 0 : source.Read(FStaging.data() + FStagingFill, want);
    if (FFirstRead == std::chrono::nanoseconds::zero()) FFirstRead = std::chrono::steady_clock::now() - started;
    if (got < 0) got = 0;
    if (static_cast<std::uint32_t>(got) < want) {
      // Fewer bytes than recorded: zeros keep every later file in its sector.
      if (!ended && damageCounts) {
        std::lock_guard lock(FLock);
        FDamaged.push_back(path);
      }
      ended = true;
      std::memset(FStaging.data() + FStagingFill + got, 0, want - static_cast<std::uint32_t>(got));
    }
    FStagingFill += want;
    left -= want;
    if (left == 0) {
      const std::uint64_t tail = RoundUp(bytes) - bytes;
      std::memset(FStaging.data() + FStagingFill, 0, static_cast<std::size_t>(tail));
      FStagingFill += static_cast<std::uint32_t>(tail);
    }
    if (FStagingFill == FParams.BlockSize && !QueueStaging()) return false;
    if (AbortRequested()) return false;
  }
  return true;
}

bool TCacheThread::AddRange(const std::string& path, std::uint64_t bytes) {
  // What is staged goes first, so the stream keeps its order.
  if (FStagingFill > 0 && !QueueStaging()) return false;
  auto opened = platform::FileStream::Open(path, platform::OpenMode::Read);
  if (!opened) {
    Stop(texts::Format(texts::kCantOpenFile, path));
    return false;
  }
  {
    std::lock_guard lock(FLock);
    FCurrentFile = path;
    FBlocks.emplace_back();
    FCounts.push_back(0);
    FRanges.push_back(FileRange{std::make_shared<platform::FileStream>(std::move(opened.Value())), path, bytes});
    FPeakQueued = std::max(FPeakQueued, FBlocks.size());
    FChanged.notify_all();
  }
  // Each item holds an open file: the block limit bounds them too.
  AdjustLevel();
  return WaitWhileFull() && !AbortRequested();
}

bool TCacheThread::AddDiscData(const iso::TFEntry& entry) {
  {
    std::lock_guard lock(FLock);
    FCurrentFile = entry.LongName;
  }
  const auto bytes = static_cast<std::uint64_t>(entry.RecordedSize);
  std::uint64_t sector = static_cast<std::uint64_t>(entry.DiscDataExtent);
  std::uint64_t left = RoundUp(bytes);
  // A copy with holes would look whole: an unreadable sector ends the burn.
  if (!FParams.DataDisc || sector + left / kSector > 0xFFFFFFFFull) {
    Stop(texts::Format(texts::kSourceDiscReadFailed, std::to_string(sector), entry.LongName));
    return false;
  }
  // Whole sectors go straight into the staging block, which files always
  // enter at a sector boundary.
  while (left > 0) {
    const std::uint64_t room = (FParams.BlockSize - FStagingFill) / kSector;
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(left / kSector, room));
    const std::span<std::uint8_t> into(FStaging.data() + FStagingFill, std::size_t{count} * kSector);
    if (!FParams.DataDisc->ReadSectors(static_cast<std::uint32_t>(sector), count, into)) {
      Stop(texts::Format(texts::kSourceDiscReadFailed, std::to_string(sector), entry.LongName));
      return false;
    }
    FStagingFill += count * static_cast<std::uint32_t>(kSector);
    sector += count;
    left -= std::uint64_t{count} * kSector;
    if (left == 0) {
      // The end of the last sector is zeros whatever the source disc held there.
      const std::uint64_t tail = RoundUp(bytes) - bytes;
      std::memset(FStaging.data() + FStagingFill - tail, 0, static_cast<std::size_t>(tail));
    }
    if (FStagingFill == FParams.BlockSize && !QueueStaging()) return false;
    if (AbortRequested()) return false;
  }
  return true;
}

void TCacheThread::Run() {
  SetLevel(CacheLevel::Lower);
  bool ok = true;
  if (!FParams.ImageFilePath.empty()) {
    const std::string& path = FParams.ImageFilePath;
    auto probe = platform::FileStream::Open(path, platform::OpenMode::Read);
    const std::int64_t size = probe ? probe.Value().Size() : 0;
    ok = AddSource(path, static_cast<std::uint64_t>(std::max<std::int64_t>(size, 0)), true);
  } else {
    ok = CutHeader();
    if (ok && !FParams.BootImagePath.empty()) {
      // The boot image fills its sectors; a file shorter than them is normal.
      const std::uint64_t room = std::uint64_t{FParams.BootImageSectors} * kSector;
      auto probe = platform::FileStream::Open(FParams.BootImagePath, platform::OpenMode::Read);
      const std::int64_t size = probe ? probe.Value().Size() : 0;
      const std::uint64_t take = std::min<std::uint64_t>(static_cast<std::uint64_t>(std::max<std::int64_t>(size, 0)), room);
      ok = AddSource(FParams.BootImagePath, take, true) && AddZeros(room - RoundUp(take), false);
    }
    if (ok) ok = AddZeros(std::uint64_t{FParams.PaddingSectors} * kSector, false);
    if (ok && FParams.Tables != nullptr) {
      const auto streamed = [](const iso::TFEntry& e) {
        return !e.IsDirectory() && !e.Imported && e.RecordedSize > 0 && e.DiscDataExtent < 0 && !e.SourcePath.empty();
      };
      std::vector<ReadAhead::Source> sources;
      for (const auto& f : FParams.Tables->Files())
        if (streamed(*f)) sources.push_back({f->SourcePath, static_cast<std::uint64_t>(f->RecordedSize)});
      const auto ahead = std::make_shared<ReadAhead>(
          std::move(sources), FParams.ReadAheadWindow.value_or(DefaultReadAheadLimits(FParams.CacheSize)));
      {
        std::lock_guard lock(FLock);
        FAhead = ahead;
      }
      std::size_t index = 0;
      for (const auto& f : FParams.Tables->Files()) {
        const iso::TFEntry& e = *f;
        if (e.IsDirectory() || e.Imported || e.RecordedSize <= 0) continue;
        if (e.DiscDataExtent >= 0) {
          if (!(ok = AddDiscData(e))) break;
          continue;
        }
        if (e.SourcePath.empty()) continue;
        ahead->Reached(index);
        const auto size = static_cast<std::uint64_t>(e.RecordedSize);
        const bool whole = FParams.FileRangeMin != 0 && size >= FParams.FileRangeMin;
        if (!(ok = whole ? AddRange(e.SourcePath, size) : AddSource(e.SourcePath, size, true))) break;
        // A whole file is read later, by the writer: no wait to tell.
        if (!whole) ahead->Served(index, FFirstRead);
        ++index;
      }
      std::lock_guard lock(FLock);
      FAhead.reset();
    }
  }
  // The minimum-length zeros continue the last short block: on DVD every
  // block becomes one whole 32-sector write, so a block of its own would
  // write past what a DVD-R track reserved.
  if (ok && FParams.MinimumLength) {
    std::uint64_t produced = 0;
    {
      std::lock_guard lock(FLock);
      produced = FParams.TotalBytes;
    }
    if (produced < kMinimumStreamBytes) {
      FPaddingBytes = kMinimumStreamBytes - produced;
      {
        std::lock_guard lock(FLock);
        FRemaining += FPaddingBytes;
      }
      ok = AddZeros(FPaddingBytes, true);
    }
  }
  if (ok && FStagingFill > 0) ok = QueueStaging();
  if (!ok) {
    if (AbortRequested()) Stop(texts::kOperationAborted);
    return;  // Stop has set the status and the finished flag
  }
  std::unique_lock lock(FLock);
  FCurrentFile.clear();
  FReady = true;
  FChanged.notify_all();
  // Every byte produced is in the list now; what the consumer still has to
  // take is what is queued, even where the caller's total was off.
  FRemaining = FCacheBytes;
  for (const auto& r : FRanges) FRemaining += RoundUp(r.Bytes);
  FChanged.wait(lock, [this] { return FRemaining == 0 || AbortRequested(); });
  if (AbortRequested() && FRemaining != 0) {
    FBlocks.clear();
    FCounts.clear();
    FRanges.clear();
    FCacheBytes = 0;
    if (FStatus.empty()) FStatus = texts::kOperationAborted;
  }
  FFinished = true;
  FChanged.notify_all();
}

std::int64_t TCacheThread::TakeBlock(std::vector<std::uint8_t>& destination, FileRange* range) {
  std::lock_guard lock(FLock);
  if (FRemaining == 0 && FFinished) return 0;
  if (FBlocks.empty()) return FFinished ? 0 : -1;
  if (FAbort) return 0;
  if (FRanges.front().Source) {
    if (range == nullptr) return -1;  // not for this consumer; never queued for one
    *range = std::move(FRanges.front());
    FRanges.pop_front();
    FBlocks.pop_front();
    FCounts.pop_front();
    const std::uint64_t bytes = RoundUp(range->Bytes);
    FRemaining -= std::min(bytes, FRemaining);
    if (FProducerWaiting && FBlocks.size() <= ResumePoint()) FRoom.notify_one();
    FChanged.notify_all();
    return static_cast<std::int64_t>(bytes);
  }
  FRanges.pop_front();
  const std::uint32_t count = FCounts.front();
  std::vector<std::uint8_t> block = std::move(FBlocks.front());
  FBlocks.pop_front();
  FCounts.pop_front();
  destination.swap(block);
  // The consumer's old buffer becomes a later staging block: no copy, and no
  // allocation once the cache has been full. All are kept: buffers freed and
  // allocated again cost page faults and page-table changes per block, and
  // the spares and queued blocks together never outnumber the block limit.
  if (block.capacity() >= FParams.BlockSize) FSpare.push_back(std::move(block));
  FCacheBytes -= count;
  FRemaining -= std::min<std::uint64_t>(count, FRemaining);
  if (FProducerWaiting && FBlocks.size() <= ResumePoint()) FRoom.notify_one();
  if (FRemaining == 0) FChanged.notify_all();  // the reader waits for the last take
  return count;
}

bool TCacheThread::WaitForBlock(int timeoutMs) {
  std::unique_lock lock(FLock);
  return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [this] { return !FBlocks.empty() || FFinished.load(); });
}

bool TCacheThread::WaitReadyOrFailed(int timeoutMs) {
  std::unique_lock lock(FLock);
  return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [this] { return FReady.load() || FFinished.load() || !FStatus.empty(); });
}

}  // namespace stream
