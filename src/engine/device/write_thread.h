#pragma once
// TThWrite: the writer thread. It takes the stream block by block from the
// read-ahead cache and appends it to an image file; the end step reports
// once, with the cache's text as the result.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/stream/cache_thread.h"
#include "platform/file_stream.h"

namespace device {

class TThWrite {
 public:
  struct Params {
    std::string ImageFileName;  // written through a temporary file beside it
    std::uint64_t ImageBytes = 0;
    stream::TCacheThread* Cache = nullptr;
    std::recursive_mutex* Lock = nullptr;
    const std::atomic<bool>* AbortRequested = nullptr;
    // Called once on the writer thread at the end, with the result text
    // (empty on success).
    std::function<void(const std::string& error)> Done;
  };

  explicit TThWrite(Params params);
  ~TThWrite();
  TThWrite(const TThWrite&) = delete;
  TThWrite& operator=(const TThWrite&) = delete;

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
  bool CopyRange(platform::FileStream& file, stream::FileRange& range);

  Params FParams;
  std::atomic<std::uint64_t> FBytesWritten{0};
  std::atomic<bool> FWriting{true};
  mutable std::mutex FFileMutex;
  std::string FCurrentFile;
  std::vector<std::string> FDamaged;  // whole-file items that came up short
  std::thread FThread;
};

}  // namespace device
