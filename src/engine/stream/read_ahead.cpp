#include "engine/stream/read_ahead.h"

#include <algorithm>
#include <tuple>

#include "platform/file_stream.h"

namespace stream {

ReadAheadLimits DefaultReadAheadLimits(std::uint64_t cacheSize) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  ReadAheadLimits l;
  // The workers wait on the disk, not on the processor: several per core
  // keep its queue filled.
  l.Workers = std::clamp(8 * cores, 8u, 32u);
  l.Files = std::size_t{256} * l.Workers;
  l.Bytes = std::clamp<std::uint64_t>(cacheSize * 32, std::uint64_t{32} << 20, std::uint64_t{256} << 20);
  l.FileBytes = l.Bytes / 4;
  l.Fast = std::chrono::microseconds(30);
  l.FastFetch = std::chrono::microseconds(10);
  return l;
}

ReadAhead::ReadAhead(std::vector<Source> sources, ReadAheadLimits limits, FetchFunction fetch)
    : FSources(std::move(sources)), FLimits(limits), FFetch(std::move(fetch)) {
  if (!FFetch) FFetch = [](const std::string& path, std::uint64_t bytes) { platform::PrefetchFile(path, bytes); };
  // Adaptive: idle until the stream's first files show they come from the disk.
  FActive = FLimits.Fast.count() <= 0;
  if (FActive) StartWorkers();
}

void ReadAhead::StartWorkers() {
  if (FLimits.Files == 0 || FLimits.Bytes == 0 || FSources.empty()) return;
  const unsigned workers = static_cast<unsigned>(std::min<std::size_t>(FLimits.Workers, FSources.size()));
  {
    // Counted first: the read-ahead is not idle until every one of them waits.
    std::lock_guard lock(FLock);
    FStarted = workers;
  }
  FWorkers.reserve(workers);
  for (unsigned i = 0; i < workers; ++i) FWorkers.emplace_back([this] { Work(); });
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(FLock);
    FStop = true;
  }
  FStopFlag = true;
  FMoved.notify_all();
  for (auto& w : FWorkers) w.join();
}

std::uint64_t ReadAhead::Asked(std::size_t index) const {
  const std::uint64_t cap = FLimits.FileBytes != 0 ? FLimits.FileBytes : FLimits.Bytes;
  return std::min(FSources[index].Bytes, cap);
}

bool ReadAhead::CanDispatch() const {
  if (!FActive) return false;
  if (FNext >= FSources.size() || FNext >= FConsumed + FLimits.Files) return false;
  // An empty window always takes one file, however large.
  return FNext == FConsumed || FWindowBytes + Asked(FNext) <= FLimits.Bytes;
}

void ReadAhead::Reached(std::size_t index) {
  bool wake = false;
  {
    std::lock_guard lock(FLock);
    // Only a file no worker took tells what the stream would wait alone.
    if (index >= FConsumed) FSampleIndex = index >= FNext ? index : SIZE_MAX;
    if (index <= FConsumed) return;
    const std::size_t asked = std::min(index, FNext);
    for (std::size_t i = FConsumed; i < asked; ++i) FWindowBytes -= Asked(i);
    FConsumed = index;
    // The stream got there first: nothing behind it is worth asking for.
    FNext = std::max(FNext, FConsumed);
    // Workers are woken once a quarter of the window is free, not for every
    // file: with warm caches the wake-ups would cost more than the reads.
    wake = FIdle > 0 && CanDispatch() &&
           (FNext - FConsumed <= FLimits.Files * 3 / 4 || FWindowBytes <= FLimits.Bytes * 3 / 4);
    FConsumedNow.store(FConsumed, std::memory_order_relaxed);
  }
  if (wake) FMoved.notify_one();
}

// True when the median of the samples is within `fast`; empties them.
bool ReadAhead::Judge(std::vector<std::chrono::nanoseconds>& samples, std::chrono::nanoseconds fast) {
  auto middle = samples.begin() + static_cast<std::ptrdiff_t>(samples.size() / 2);
  std::nth_element(samples.begin(), middle, samples.end());
  const bool within = *middle <= fast;
  samples.clear();
  return within;
}

void ReadAhead::Served(std::size_t index, std::chrono::nanoseconds waited) {
  if (FLimits.Fast.count() <= 0) return;
  bool start = false;
  {
    std::lock_guard lock(FLock);
    if (index != FSampleIndex) return;
    FSampleIndex = SIZE_MAX;
    FSamples.push_back(waited);
    if (FSamples.size() < kSamples) return;
    const bool slow = !Judge(FSamples, FLimits.Fast);
    if (slow == FActive) return;
    FActive = slow;
    if (!FActive) return;
    ++FActivations;
    FFetchSamples.clear();
    FNext = std::max(FNext, FConsumed);
    start = FWorkers.empty();
  }
  if (start)
    StartWorkers();
  else
    FMoved.notify_all();
}

void ReadAhead::Work() {
  constexpr std::size_t kBatch = 16;  // files taken under one lock
  std::vector<std::tuple<std::size_t, std::string, std::uint64_t>> batch;
  std::vector<std::chrono::nanoseconds> times;
  std::unique_lock lock(FLock);
  for (;;) {
    ++FIdle;
    FSettled.notify_all();
    FMoved.wait(lock, [this] { return FStop || CanDispatch(); });
    --FIdle;
    if (FStop) return;
    batch.clear();
    while (batch.size() < kBatch && CanDispatch()) {
      const std::size_t index = FNext++;
      const std::uint64_t bytes = Asked(index);
      FWindowBytes += bytes;
      batch.emplace_back(index, std::string(FSources[index].Path), bytes);
    }
    // More work than this worker takes: pass it on.
    if (FIdle > 0 && CanDispatch()) FMoved.notify_one();
    FPeakFiles = std::max(FPeakFiles, FNext - FConsumed);
    FPeakBytes = std::max(FPeakBytes, FWindowBytes);
    lock.unlock();
    const bool adaptive = FLimits.Fast.count() > 0 && FLimits.FastFetch.count() > 0;
    times.clear();
    for (const auto& [index, path, bytes] : batch) {
      if (FStopFlag.load(std::memory_order_relaxed)) break;
      // Warm files: the stream is already past this one.
      if (index < FConsumedNow.load(std::memory_order_relaxed)) continue;
      const auto started = std::chrono::steady_clock::now();
      FFetch(path, bytes);
      if (adaptive) times.push_back(std::chrono::steady_clock::now() - started);
    }
    lock.lock();
    if (FActive && !times.empty()) {
      FFetchSamples.insert(FFetchSamples.end(), times.begin(), times.end());
      // Requests that return at once found the files in memory.
      if (FFetchSamples.size() >= kFetchSamples && Judge(FFetchSamples, FLimits.FastFetch)) {
        FActive = false;
        FSamples.clear();
      }
    }
  }
}

std::size_t ReadAhead::PeakFiles() const {
  std::lock_guard lock(FLock);
  return FPeakFiles;
}

std::uint64_t ReadAhead::PeakBytes() const {
  std::lock_guard lock(FLock);
  return FPeakBytes;
}

bool ReadAhead::Idle() const {
  std::lock_guard lock(FLock);
  return FIdle == FStarted;
}

bool ReadAhead::WaitIdle(std::chrono::milliseconds bound) const {
  std::unique_lock lock(FLock);
  return FSettled.wait_for(lock, bound, [this] { return FIdle == FStarted; });
}

bool ReadAhead::Active() const {
  std::lock_guard lock(FLock);
  return FActive;
}

std::size_t ReadAhead::Activations() const {
  std::lock_guard lock(FLock);
  return FActivations;
}

}  // namespace stream
