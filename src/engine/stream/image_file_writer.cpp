#include "engine/stream/image_file_writer.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include "engine/texts.h"

namespace stream {
namespace texts = engine::texts;
namespace {
// A whole file copied in one piece would hold the progress still for its
// full copy time; pieces this large still let the kernel copy at full speed.
constexpr std::uint64_t kCopyPiece = 8u << 20;
}  // namespace

TImageFileWriter::TImageFileWriter(Params params) : FParams(std::move(params)) {
  FThread = std::thread([this] { Run(); });
}

TImageFileWriter::~TImageFileWriter() { Join(); }

void TImageFileWriter::Join() {
  if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

std::string TImageFileWriter::CurrentFile() const {
  std::lock_guard lock(FFileMutex);
  return FCurrentFile;
}

void TImageFileWriter::Count(std::uint64_t bytes) {
  FBytesWritten = std::min(FBytesWritten.load() + bytes, FParams.ImageBytes);
}

std::string TImageFileWriter::WriteFile(const std::string& temp) {
  TCacheThread& cache = *FParams.Cache;
  auto opened = platform::FileStream::Open(temp, platform::OpenMode::CreateWrite);
  if (!opened) {
    cache.Abort();
    return texts::Format(texts::kCantCreateFile, FParams.ImageFileName);
  }
  platform::FileStream& file = opened.Value();
  file.TryLock();  // marks it as in use for RemoveStalePartFiles
  std::vector<std::uint8_t> block(kBlockSizeOther);
  while (true) {
    if (Cancelled()) {
      cache.Abort();
      return texts::kOperationAborted;
    }
    std::int64_t n = 0;
    FileRange range;
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
    if (range.Source) {
      if (!CopyRange(file, range)) {
        cache.Abort();
        return texts::Format(texts::kCantWriteFile, FParams.ImageFileName);
      }
      continue;  // counted piece by piece
    }
    {
      std::lock_guard lock(FFileMutex);
      FCurrentFile = cache.CurrentFileName();
    }
    if (!file.Write(block.data(), static_cast<std::size_t>(n))) {
      cache.Abort();
      return texts::Format(texts::kCantWriteFile, FParams.ImageFileName);
    }
    FWriteback.WroteUpTo(file);
    Count(static_cast<std::uint64_t>(n));
  }
}

bool TImageFileWriter::CopyRange(platform::FileStream& file, FileRange& range) {
  {
    std::lock_guard lock(FFileMutex);
    FCurrentFile = range.Path;
  }
  std::uint64_t copied = 0;
  while (copied < range.Bytes && !Cancelled()) {
    const std::uint64_t piece = std::min(range.Bytes - copied, kCopyPiece);
    auto moved = file.CopyFrom(*range.Source, piece);
    if (!moved) {
      // Read or write failed: a plain read tells which.
      std::vector<std::uint8_t> probe(1);
      if (range.Source->Read(probe.data(), 1) >= 0) return false;
      break;
    }
    copied += moved.Value();
    Count(moved.Value());
    FWriteback.WroteUpTo(file);
    if (moved.Value() < piece) break;
  }
  if (Cancelled()) return true;  // the loop sees it next
  if (copied < range.Bytes) FDamaged.push_back(range.Path);
  // Missing bytes and the rest of the last sector are zeros.
  const std::uint64_t end = (range.Bytes + 2047) / 2048 * 2048;
  static const std::vector<std::uint8_t> zeros(64 * 1024);
  for (std::uint64_t left = end - copied; left > 0;) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, zeros.size()));
    if (!file.Write(zeros.data(), n)) return false;
    Count(n);
    left -= n;
  }
  return true;
}

void TImageFileWriter::Run() {
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

}  // namespace stream
