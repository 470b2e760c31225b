#pragma once
// TCacheThread: the read-ahead cache. A producer thread turns the header,
// the boot image, the padding and every file into a FIFO of blocks that the
// writer takes one at a time; memory stays bounded by the cache size.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/iso/compilation_tables.h"
#include "engine/iso/disc_source.h"
#include "engine/stream/read_ahead.h"
#include "platform/file_stream.h"

namespace stream {

inline constexpr std::uint32_t kBlockSizeCd = 55296;    // 27 sectors, CD-R and CD-RW
inline constexpr std::uint32_t kBlockSizeOther = 65536;  // 32 sectors
inline constexpr std::uint64_t kMinimumStreamBytes = 614400;  // 300 sectors

// A large file handed over whole instead of as bytes: its data goes file to
// file inside the kernel when the target is an image file.
struct FileRange {
  std::shared_ptr<platform::FileStream> Source;  // open, positioned at 0
  std::string Path;
  std::uint64_t Bytes = 0;  // recorded size; the stream holds it rounded up to sectors
};

// How urgently the producer should read, following the fill level: shown,
// not given to the scheduler (see SetLevel).
enum class CacheLevel : std::uint8_t { Idle = 0, Lowest = 1, Lower = 2, Normal = 3 };

class TCacheThread {
 public:
  struct Params {
    std::uint32_t CacheSize = 4194304;
    std::recursive_mutex* Lock = nullptr;  // the component's critical section
    std::uint32_t BlockSize = kBlockSizeOther;
    bool MinimumLength = false;
    std::string BootImagePath;
    std::uint32_t BootImageSectors = 0;
    std::uint64_t TotalBytes = 0;                      // the stream without the minimum-length padding
    const std::vector<std::uint8_t>* Header = nullptr;  // read while the producer cuts it
    const iso::CompilationTables* Tables = nullptr;
    std::uint32_t PaddingSectors = 0;
    std::string ImageFilePath;  // burning an existing image: the file is the whole stream
    // Files of at least this many bytes travel as FileRange items (0: never).
    // Only a consumer that writes a file can take them.
    std::uint64_t FileRangeMin = 0;
    // Where files copied from another disc are read (entries with a DiscDataExtent).
    std::shared_ptr<iso::DiscSource> DataDisc;
    // The files ahead of the one being read are asked for in parallel
    // (unset: DefaultReadAheadLimits of the cache size; no workers: off).
    std::optional<ReadAheadLimits> ReadAheadWindow;
  };

  // Starts the producer at the lower level.
  explicit TCacheThread(Params params);
  // Aborts a producer still running and waits for it.
  ~TCacheThread();
  TCacheThread(const TCacheThread&) = delete;
  TCacheThread& operator=(const TCacheThread&) = delete;

  // Hands the next block over by swapping buffers with `destination`: the
  // byte count, 0 at the end of the stream, -1 when no block is queued yet.
  // A FileRange item answers its stream length (rounded up to sectors) and
  // fills `range`; consumers that pass none never see such items.
  std::int64_t TakeBlock(std::vector<std::uint8_t>& destination, FileRange* range = nullptr);
  // Waits up to `timeoutMs` for a block or the end; true when TakeBlock would
  // not answer -1 now.
  bool WaitForBlock(int timeoutMs);
  // Waits up to `timeoutMs` until the cache is ready or has failed.
  bool WaitReadyOrFailed(int timeoutMs);
  void Abort();
  void Join();

  bool Ready() const { return FReady; }
  bool Finished() const { return FFinished; }
  std::string StatusText() const;
  std::string CurrentFileName() const;
  std::uint64_t CacheBytes() const;
  std::uint32_t BlockLimit() const { return FBlockLimit; }
  std::uint32_t BlockSize() const { return FParams.BlockSize; }
  CacheLevel Level() const { return FLevel; }
  // Sources that delivered fewer bytes than recorded; their sectors hold zeros.
  std::vector<std::string> DamagedFiles() const;
  // Most blocks ever queued at once, for tests of the pause rule.
  std::size_t PeakQueued() const;
  // Waits up to `timeoutMs` until the read-ahead's workers wait for the
  // stream to move on, for tests; true when they do or none run now.
  bool WaitReadAheadIdle(int timeoutMs);

 private:
  void Run();
  bool CutHeader();
  bool AddSource(const std::string& path, std::uint64_t bytes, bool last);
  bool AddRange(const std::string& path, std::uint64_t bytes);
  bool AddDiscData(const iso::TFEntry& entry);
  bool AddZeros(std::uint64_t bytes, bool last);
  bool QueueStaging();
  bool WaitWhileFull();
  std::size_t ResumePoint() const;
  void SetLevel(CacheLevel level);
  void AdjustLevel();
  void Stop(const std::string& status);
  bool AbortRequested() const { return FAbort; }

  Params FParams;
  std::uint32_t FBlockLimit = 0;
  std::recursive_mutex& FLock;
  std::condition_variable_any FChanged;  // a block queued or taken, a flag set
  std::condition_variable_any FRoom;     // a full cache has drained to the resume point
  bool FProducerWaiting = false;

  std::deque<std::vector<std::uint8_t>> FBlocks;
  std::deque<std::uint32_t> FCounts;
  std::deque<FileRange> FRanges;  // parallel to FBlocks; Source empty for byte blocks
  std::vector<std::vector<std::uint8_t>> FSpare;  // buffers given back by the consumer
  std::vector<std::uint8_t> FStaging;
  std::uint32_t FStagingFill = 0;
  std::uint64_t FCacheBytes = 0;
  std::uint64_t FRemaining = 0;
  std::uint64_t FPaddingBytes = 0;
  std::size_t FPeakQueued = 0;
  std::string FStatus;
  std::string FCurrentFile;
  std::vector<std::string> FDamaged;
  std::chrono::nanoseconds FFirstRead{0};  // AddSource's open and first read
  std::shared_ptr<ReadAhead> FAhead;        // under FLock while the files stream

  std::atomic<bool> FAbort{false};
  std::atomic<bool> FReady{false};
  std::atomic<bool> FFinished{false};
  std::atomic<CacheLevel> FLevel{CacheLevel::Lower};
  std::thread FThread;
};

}  // namespace stream
