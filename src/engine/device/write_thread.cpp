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
  std::vector<std::uint8_t> block(stream::kBlockSizeOther);
  while (true) {
    if (FParams.AbortRequested != nullptr && *FParams.AbortRequested) {
      cache.Abort();
      return texts::kOperationAborted;
    }
    std::int64_t n = 0;
    {
      std::lock_guard lock(*FParams.Lock);
      n = cache.TakeBlock(block);
    }
    if (const std::string status = cache.StatusText(); !status.empty()) return status;
    if (n < 0) {
      // Nothing queued yet: sleep until the producer queues or ends.
      cache.WaitForBlock(100);
      continue;
    }
    if (n == 0) return {};
    {
      std::lock_guard lock(FFileMutex);
      FCurrentFile = cache.CurrentFileName();
    }
    if (!file.Write(block.data(), static_cast<std::size_t>(n))) {
      cache.Abort();
      return texts::Format(texts::kCantWriteFile, FParams.ImageFileName);
    }
    const std::uint64_t total = FBytesWritten + static_cast<std::uint64_t>(n);
    FBytesWritten = std::min(total, FParams.ImageBytes);
  }
}

void TThWrite::Run() {
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%08x", std::random_device{}());
  const std::string temp = FParams.ImageFileName + ".part-" + suffix;
  std::string result = WriteFile(temp);
  // End step: the cache ends first; its text is the result when the writer
  // itself had none.
  FParams.Cache->Join();
  if (result.empty()) result = FParams.Cache->StatusText();
  const auto damaged = FParams.Cache->DamagedFiles();
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
