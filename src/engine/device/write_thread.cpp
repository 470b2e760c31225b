#include "engine/device/write_thread.h"

#include <algorithm>
#include <random>
#include <vector>

#include "engine/texts.h"
#include "platform/file_stream.h"

namespace device {
namespace texts = engine::texts;

TThWrite::TThWrite(Params params) : FParams(std::move(params)) {
  FThread = std::thread([this] { Run(); });
}

TThWrite::~TThWrite() { Join(); }

void TThWrite::Join() {
  if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

std::string TThWrite::CurrentFile() const {
  std::lock_guard lock(FFileMutex);
  return FCurrentFile;
}

std::string TThWrite::WriteFile(const std::string& temp) {
  stream::TCacheThread& cache = *FParams.Cache;
  auto opened = platform::FileStream::Open(temp, platform::OpenMode::CreateWrite);
  if (!opened) {
    cache.Abort();
    return texts::Format(texts::kCantCreateFile, FParams.ImageFileName);
  }
  platform::FileStream& file = opened.Value();
  file.TryLock();  // marks it as in use for RemoveStalePartFiles
  std::vector<std::uint8_t> block(stream::kBlockSizeOther);
  while (true) {
    if (FParams.AbortRequested != nullptr && *FParams.AbortRequested) {
      cache.Abort();
      return texts::kOperationAborted;
    }
    std::int64_t n = 0;
    stream::FileRange range;
    {
      std::lock_guard lock(*FParams.Lock);
      n = cache.TakeBlock(block, &range);
    }
    if (const std::string status = cache.StatusText(); !status.empty()) return status;
    if (n < 0) {
      // Nothing queued yet: sleep until the producer queues or ends.
      cache.WaitForBlock(100);
      continue;
    }
    // Renamed into place only once on the disk: see ImageOutput::Sync.
    if (n == 0) return file.Sync() ? std::string() : texts::Format(texts::kCantWriteFile, FParams.ImageFileName);
    {
      std::lock_guard lock(FFileMutex);
      FCurrentFile = cache.CurrentFileName();
    }
    if (range.Source ? !CopyRange(file, range) : !file.Write(block.data(), static_cast<std::size_t>(n))) {
      cache.Abort();
      return texts::Format(texts::kCantWriteFile, FParams.ImageFileName);
    }
    FWriteback.WroteUpTo(file);
    const std::uint64_t total = FBytesWritten + static_cast<std::uint64_t>(n);
    FBytesWritten = std::min(total, FParams.ImageBytes);
  }
}

bool TThWrite::CopyRange(platform::FileStream& file, stream::FileRange& range) {
  {
    std::lock_guard lock(FFileMutex);
    FCurrentFile = range.Path;
  }
  std::uint64_t copied = 0;
  // In pieces, so that an abort is seen within one piece.
  constexpr std::uint64_t kPiece = 64u << 20;
  while (copied < range.Bytes && !(FParams.AbortRequested != nullptr && *FParams.AbortRequested)) {
    const std::uint64_t piece = std::min(range.Bytes - copied, kPiece);
    auto moved = file.CopyFrom(*range.Source, piece);
    if (!moved) {
      // Read or write failed: a plain read tells which.
      std::vector<std::uint8_t> probe(1);
      if (range.Source->Read(probe.data(), 1) >= 0) return false;
      break;
    }
    copied += moved.Value();
    FWriteback.WroteUpTo(file);
    if (moved.Value() < piece) break;
  }
  if (FParams.AbortRequested != nullptr && *FParams.AbortRequested) return true;  // the loop sees it next
  if (copied < range.Bytes) FDamaged.push_back(range.Path);
  // Missing bytes and the rest of the last sector are zeros.
  const std::uint64_t end = (range.Bytes + 2047) / 2048 * 2048;
  static const std::vector<std::uint8_t> zeros(64 * 1024);
  for (std::uint64_t left = end - copied; left > 0;) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, zeros.size()));
    if (!file.Write(zeros.data(), n)) return false;
    left -= n;
  }
  return true;
}

void TThWrite::Run() {
  if (FParams.ToDisc) {
    RunDisc();
    return;
  }
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%08x", std::random_device{}());
  const std::string temp = FParams.ImageFileName + ".part-" + suffix;
  std::string result = WriteFile(temp);
  // End step: the cache ends first; its text is the result when the writer
  // itself had none.
  FParams.Cache->Join();
  if (result.empty()) result = FParams.Cache->StatusText();
  auto damaged = FParams.Cache->DamagedFiles();
  damaged.insert(damaged.end(), FDamaged.begin(), FDamaged.end());
  const bool keep = result.empty();
  if (keep && !platform::RenameFile(temp, FParams.ImageFileName)) {
    result = texts::Format(texts::kCantCreateFile, FParams.ImageFileName);
    platform::RemoveFile(temp);
  } else if (!keep) {
    platform::RemoveFile(temp);
  }
  if (result.empty() && !damaged.empty())
    result = texts::Format(texts::kImageDamaged, static_cast<long long>(damaged.size()));
  {
    std::lock_guard lock(FFileMutex);
    FCurrentFile.clear();
  }
  FWriting = false;
  if (FParams.Done) FParams.Done(result);
}

}  // namespace device
