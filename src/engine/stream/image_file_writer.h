#pragma once
// TImageFileWriter: the writer thread of a threaded image build. It takes
// the stream block by block from the read-ahead cache and appends it to an
// image file written through a temporary file beside it; the end step
// reports once, with the cache's text as the result.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/cancel_token.h"
#include "engine/stream/cache_thread.h"
#include "platform/file_stream.h"

namespace stream {

class TImageFileWriter {
 public:
  struct Params {
    std::string ImageFileName;
    std::uint64_t ImageBytes = 0;
    TCacheThread* Cache = nullptr;
    std::recursive_mutex* Lock = nullptr;
    base::CancelTokenPtr Cancel;
    // Called once on the writer thread at the end, with the result text
    // (empty on success).
    std::function<void(const std::string& error)> Done;
  };

  explicit TImageFileWriter(Params params);
  ~TImageFileWriter();
  TImageFileWriter(const TImageFileWriter&) = delete;
  TImageFileWriter& operator=(const TImageFileWriter&) = delete;

  std::uint64_t BytesWritten() const { return FBytesWritten; }
  bool Writing() const { return FWriting; }
  std::string CurrentFile() const;
  // Whole-file items that came up short; read once the writer has ended.
  const std::vector<std::string>& DamagedFiles() const { return FDamaged; }
  void Join();
  bool OnWriterThread() const { return FThread.get_id() == std::this_thread::get_id(); }

 private:
  void Run();
  std::string WriteFile(const std::string& temp);
  bool CopyRange(platform::FileStream& file, FileRange& range);
  bool Cancelled() const { return base::IsCancelled(FParams.Cancel.get()); }
  void Count(std::uint64_t bytes);

  Params FParams;
  std::atomic<std::uint64_t> FBytesWritten{0};
  std::atomic<bool> FWriting{true};
  mutable std::mutex FFileMutex;
  std::string FCurrentFile;
  std::vector<std::string> FDamaged;
  platform::WritebackPacer FWriteback;
  std::thread FThread;
};

}  // namespace stream
