#pragma once
// ReadAhead: a few workers that ask the system for the next files of the
// stream while the stream is still reading earlier ones. A cold file costs a
// round trip to the disk; one reader pays them one after another, the
// workers keep several in flight. The workers only warm the system's file
// cache: the stream still opens and reads every file itself, so what it
// writes, and what it does with a file that changed, do not depend on them.
//
// When the files are already in memory the workers only cost time: they
// stand down when asking for files returns at once (nothing to read), and
// come back when the files the stream then reads alone keep it waiting.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace stream {

struct ReadAheadLimits {
  unsigned Workers = 0;       // 0: no read-ahead
  std::size_t Files = 0;      // files ahead of the stream, at most
  std::uint64_t Bytes = 0;    // bytes asked for ahead of the stream, at most
  std::uint64_t FileBytes = 0;  // bytes asked for from one file, at most
  // A file the stream opened and began to read within this time came from
  // memory; while such files are the rule the workers are not needed
  // (0: they always run).
  std::chrono::nanoseconds Fast{0};
  // Asking for a file in memory returns within this time: the workers stand
  // down while their requests do.
  std::chrono::nanoseconds FastFetch{0};
};

// From the cache size and the machine's cores: the window holds 32 caches'
// worth of bytes (32-256 MiB), 256 files per worker (eight workers a core,
// 8-32), and each file is asked for up to a quarter of the window (the
// system reads further along a file by itself once the stream reads it).
// These bytes sit in the system's file cache, not in the process. A file
// from memory opens and reads in a few microseconds, one from the disk takes
// a round trip of 60 us or more: 30 us tells them apart. Asking for a file
// in memory takes about 6 us, for one on the disk 10-30 us as the reads are
// queued: 10 us.
ReadAheadLimits DefaultReadAheadLimits(std::uint64_t cacheSize);

class ReadAhead {
 public:
  struct Source {
    std::string_view Path;  // kept alive by the caller while the read-ahead runs
    std::uint64_t Bytes = 0;
  };
  using FetchFunction = std::function<void(const std::string& path, std::uint64_t bytes)>;

  // With a `Fast` limit the workers start standing down and come when the
  // stream's first files are slow; without, they start at once and stay. `fetch`
  // defaults to platform::PrefetchFile.
  ReadAhead(std::vector<Source> sources, ReadAheadLimits limits, FetchFunction fetch = nullptr);
  // Stops asking for more and waits for the workers.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The stream starts reading source `index`: the window moves past the
  // sources before it.
  void Reached(std::size_t index);
  // The stream opened source `index` and read its first bytes in `waited`.
  // Only files no worker asked for tell whether the workers are needed: the
  // stream reports every file, the read-ahead picks those.
  void Served(std::size_t index, std::chrono::nanoseconds waited);

  // Waits judged together by their median: a busy machine now and then
  // delays a read from memory too.
  static constexpr std::size_t kSamples = 9;
  static constexpr std::size_t kFetchSamples = 32;

  // Most files and bytes ever in the window at once, for tests of the bound.
  std::size_t PeakFiles() const;
  std::uint64_t PeakBytes() const;
  // Whether the workers ask for files now, and how often they came back
  // after standing down or starting idle.
  bool Active() const;
  std::size_t Activations() const;
  // Whether every worker waits for the window to move, no file in hand.
  bool Idle() const;
  // Waits up to `bound` until Idle; true when it is.
  bool WaitIdle(std::chrono::milliseconds bound) const;

 private:
  void Work();
  std::uint64_t Asked(std::size_t index) const;
  bool CanDispatch() const;
  static bool Judge(std::vector<std::chrono::nanoseconds>& samples, std::chrono::nanoseconds fast);
  void StartWorkers();

  std::vector<Source> FSources;
  ReadAheadLimits FLimits;
  FetchFunction FFetch;

  mutable std::mutex FLock;
  std::condition_variable FMoved;  // the window moved or the read-ahead stops
  mutable std::condition_variable FSettled;  // a worker began to wait for the window
  std::size_t FConsumed = 0;       // the stream reads this source or a later one
  std::size_t FNext = 0;           // the next source to hand to a worker
  std::uint64_t FWindowBytes = 0;  // asked for over [FConsumed, FNext)
  std::size_t FPeakFiles = 0;
  std::uint64_t FPeakBytes = 0;
  bool FStop = false;
  std::atomic<bool> FStopFlag{false};  // read outside the lock between fetches
  std::atomic<std::size_t> FConsumedNow{0};
  bool FActive = true;
  std::size_t FActivations = 0;
  std::size_t FSampleIndex = SIZE_MAX;  // the source Served may count, if any
  std::vector<std::chrono::nanoseconds> FSamples;       // the stream's, for files no worker took
  std::vector<std::chrono::nanoseconds> FFetchSamples;  // the workers' requests
  unsigned FIdle = 0;  // workers waiting for the window to move
  unsigned FStarted = 0;  // workers started, counted under the lock
  std::vector<std::thread> FWorkers;
};

}  // namespace stream
