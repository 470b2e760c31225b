// The parallel read-ahead: the window's bounds, that it really keeps several
// files in flight, and that the stream it serves is the same byte for byte,
// with the same report, whether it runs or not, also when files change or
// vanish while they are in the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <optional>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/kavo_burner.h"
#include "engine/stream/cache_thread.h"
#include "engine/stream/read_ahead.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using stream::ReadAhead;
using stream::ReadAheadLimits;

struct FetchLog {
  std::mutex Lock;
  std::vector<std::string> Paths;
  std::atomic<int> InFlight{0};
  std::atomic<int> MostInFlight{0};
  ReadAhead::FetchFunction Fetch(int sleepMs) {
    return [this, sleepMs](const std::string& path, std::uint64_t) {
      const int now = ++InFlight;
      int seen = MostInFlight.load();
      while (now > seen && !MostInFlight.compare_exchange_weak(seen, now)) {
      }
      // A disk's round trip: the workers overlap their waits on it.
      std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
      {
        std::lock_guard lock(Lock);
        Paths.push_back(path);
      }
      --InFlight;
    };
  }
};

TEST(ReadAheadWindow, StaysInItsBoundsAndKeepsSeveralFilesInFlight) {
  std::vector<std::string> names;
  std::vector<ReadAhead::Source> sources;
  for (std::size_t i = 0; i < 120; ++i) names.push_back("f" + std::to_string(i));
  for (std::size_t i = 0; i < 120; ++i) sources.push_back({names[i], 1000u + 500u * (i % 7)});
  FetchLog log;
  ReadAheadLimits limits{4, 10, 6000, 0};
  {
    ReadAhead ahead(sources, limits, log.Fetch(3));
    for (std::size_t i = 0; i < sources.size(); ++i) {
      ahead.Reached(i);
      // The stream's own pace, slower than the workers' fetches.
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_LE(ahead.PeakFiles(), 10u);
    EXPECT_LE(ahead.PeakBytes(), 6000u);
    EXPECT_GE(ahead.PeakFiles(), 2u);
  }
  EXPECT_GE(log.MostInFlight.load(), 2) << "the workers must overlap their waits";
  // Each file asked for once at most, and never one twice.
  std::vector<std::string> seen = log.Paths;
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());
}

TEST(ReadAheadWindow, ALargeFileGoesAloneAndIsAskedForOnlyInPart) {
  std::vector<ReadAhead::Source> sources{{"huge", 1ull << 40}, {"small", 10}};
  std::vector<std::uint64_t> asked;
  std::mutex lock;
  std::condition_variable more;
  const auto fetch = [&](const std::string&, std::uint64_t bytes) {
    std::lock_guard l(lock);
    asked.push_back(bytes);
    more.notify_all();
  };
  const auto waitFor = [&](std::size_t n) {
    std::unique_lock l(lock);
    more.wait_for(l, std::chrono::seconds(20), [&] { return asked.size() >= n; });
  };
  {
    // The huge file fills the window by itself: the next waits for the stream.
    ReadAhead ahead(sources, ReadAheadLimits{2, 8, 1000, 0}, fetch);
    waitFor(1);
    ASSERT_TRUE(ahead.WaitIdle(std::chrono::seconds(20)));
    {
      std::lock_guard l(lock);
      EXPECT_EQ(asked, (std::vector<std::uint64_t>{1000}));
    }
    ahead.Reached(1);
    waitFor(2);
  }
  EXPECT_EQ(asked, (std::vector<std::uint64_t>{1000, 10}));
  asked.clear();
  {
    // With a cap per file both fit.
    ReadAhead ahead(sources, ReadAheadLimits{2, 8, 1000, 300}, fetch);
    waitFor(2);
  }
  std::sort(asked.begin(), asked.end());
  EXPECT_EQ(asked, (std::vector<std::uint64_t>{10, 300}));
}

TEST(ReadAheadWindow, EndsPromptlyWhileWorkersWait) {
  std::vector<std::string> names(50, "x");
  std::vector<ReadAhead::Source> sources;
  for (const auto& n : names) sources.push_back({n, 100});
  FetchLog log;
  const auto start = std::chrono::steady_clock::now();
  { ReadAhead ahead(sources, ReadAheadLimits{4, 1000, 1u << 20, 0}, log.Fetch(20)); }
  // Workers finish the fetch they are in and take no more.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));  // all 50 fetches would be caught by the count below
  EXPECT_LE(log.Paths.size(), 8u);
}

// Slow files bring the workers; they stand down when their requests return
// at once (the files are in memory). Files the workers fetched come fast to
// the stream, which must not be taken for warm caches: only files no worker
// took count from the stream.
TEST(ReadAheadWindow, StandsDownWhileFilesAreInMemoryAndComesBackWhenTheyAreNot) {
  using std::chrono::microseconds;
  constexpr std::size_t kFiles = 2000;
  std::vector<std::string> names;
  std::vector<ReadAhead::Source> sources;
  for (std::size_t i = 0; i < kFiles; ++i) names.push_back("f" + std::to_string(i));
  for (const auto& n : names) sources.push_back({n, 4096});
  std::mutex lock;
  std::vector<bool> fetched(kFiles, false);
  std::size_t fetches = 0;
  std::condition_variable fetchedOne;
  std::atomic<bool> onDisk{true};
  const auto fetch = [&](const std::string& path, std::uint64_t) {
    // Well above the stand-down line everywhere: Windows sleeps in whole
    // milliseconds, and shorter sleeps may return at once there.
    if (onDisk) std::this_thread::sleep_for(std::chrono::milliseconds(2));  // the slow disk itself
    const std::size_t i = std::stoul(path.substr(1));
    std::lock_guard l(lock);
    fetched[i] = true;
    ++fetches;
    fetchedOne.notify_all();
  };
  const auto count = [&] {
    std::lock_guard l(lock);
    return fetches;
  };
  // Keeps the stream behind the workers while they run. A worker that stands
  // down says nothing: each slice looks again.
  const auto waitFetched = [&](const ReadAhead& ahead, std::size_t i) {
    std::unique_lock l(lock);
    for (int slices = 0; slices < 2000 && !fetched[i] && ahead.Active(); ++slices)
      fetchedOne.wait_for(l, std::chrono::milliseconds(1), [&] { return fetched[i]; });
  };
  ReadAhead ahead(sources, ReadAheadLimits{2, 64, 1u << 20, 0, microseconds(30), microseconds(100)}, fetch);
  std::size_t i = 0;
  for (; i < 300; ++i) {
    ahead.Reached(i);
    ahead.Served(i, microseconds(5));
  }
  EXPECT_FALSE(ahead.Active());
  EXPECT_EQ(count(), 0u) << "files from memory need no workers";
  for (; i < 300 + ReadAhead::kSamples; ++i) {
    ahead.Reached(i);
    ahead.Served(i, microseconds(400));
  }
  EXPECT_TRUE(ahead.Active());
  EXPECT_EQ(ahead.Activations(), 1u);
  for (; i < 700; ++i) {
    waitFetched(ahead, i);
    ahead.Reached(i);
    ahead.Served(i, microseconds(5));
  }
  EXPECT_TRUE(ahead.Active()) << "fetched files coming fast are the workers' doing";
  EXPECT_GE(count(), 300u);
  onDisk = false;
  for (; i < 1200 && ahead.Active(); ++i) {
    waitFetched(ahead, i);
    ahead.Reached(i);
    ahead.Served(i, microseconds(5));
  }
  EXPECT_FALSE(ahead.Active()) << "requests that return at once stand the workers down";
  ASSERT_TRUE(ahead.WaitIdle(std::chrono::seconds(20)));  // batches in hand end
  const std::size_t before = count();
  for (std::size_t stop = i + 200; i < stop; ++i) {
    ahead.Reached(i);
    ahead.Served(i, microseconds(5));
  }
  // Nothing to wait for: a fetch that must not come gets 50 ms to show.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(count(), before);
  // Slow again: back within two medians (the first may hold fast ones).
  onDisk = true;
  for (std::size_t stop = i + 2 * ReadAhead::kSamples; i < stop; ++i) {
    ahead.Reached(i);
    ahead.Served(i, microseconds(400));
  }
  EXPECT_TRUE(ahead.Active());
  EXPECT_EQ(ahead.Activations(), 2u);
}

// A whole stream through the cache thread with the read-ahead off, on, and on
// with a tiny window. The consumer takes nothing until the cache is full, so
// the producer is far behind the read-ahead when files are changed.
class StreamSame : public testing::Test {
 protected:
  struct Outcome {
    std::vector<std::uint8_t> Bytes;
    std::string Status;
    std::vector<std::string> Damaged;
  };

  void MakeTree() {
    fs::remove_all(FDir.Path() / "src");
    FBurner.ResetCompilation(1000, 100);
    for (std::uint32_t i = 0; i < 160; ++i) {
      // Sizes around the sector and block edges, and some empty files.
      const std::size_t size = i % 17 == 0 ? 0 : (i % 5 == 0 ? 70000 + i : 2048 * (i % 9) + i % 3);
      FPaths.push_back(FDir.Write("src/f" + std::to_string(i) + ".bin", testsupport::PatternContent(size, i)));
      FBurner.AddFileToCompilation("\\", FPaths.back(), false);
    }
  }

  Outcome Run(std::optional<ReadAheadLimits> window, const std::function<void()>& whileFull) {
    FPaths.clear();
    MakeTree();
    std::recursive_mutex lock;
    std::vector<std::uint8_t> header(4096, 0x5A);
    stream::TCacheThread::Params p;
    p.CacheSize = 2097152;
    p.Lock = &lock;
    p.Header = &header;
    p.Tables = &FBurner.Tables();
    p.ReadAheadWindow = window;
    std::uint64_t total = header.size();
    for (const auto& f : FBurner.Tables().Files())
      if (!f->IsDirectory()) total += (static_cast<std::uint64_t>(f->RecordedSize) + 2047) / 2048 * 2048;
    p.TotalBytes = total;
    stream::TCacheThread cache(p);
    EXPECT_TRUE(cache.WaitReadyOrFailed(20000));
    // The workers run as far ahead of the stopped producer as their window
    // lets them, as on a burn, before the files change.
    EXPECT_TRUE(cache.WaitReadAheadIdle(20000));
    if (whileFull) whileFull();
    Outcome out;
    std::vector<std::uint8_t> block;
    for (;;) {
      const std::int64_t n = cache.TakeBlock(block);
      if (n == 0) break;
      if (n < 0) {
        cache.WaitForBlock(100);
        continue;
      }
      out.Bytes.insert(out.Bytes.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
    }
    cache.Join();
    out.Status = cache.StatusText();
    out.Damaged = cache.DamagedFiles();
    return out;
  }

  // A stream that stops on a file it cannot open loses what was queued, and
  // how much the consumer took first depends on timing: then the streams
  // need only agree where both have bytes.
  static bool Agree(const Outcome& a, const Outcome& b, bool stopped) {
    if (!stopped) return a.Bytes == b.Bytes;
    const std::size_t n = std::min(a.Bytes.size(), b.Bytes.size());
    return std::equal(a.Bytes.begin(), a.Bytes.begin() + static_cast<std::ptrdiff_t>(n), b.Bytes.begin());
  }

  void ExpectSameEverywhere(const std::function<void()>& change, bool stopped = false) {
    const Outcome off = Run(ReadAheadLimits{}, change);
    const Outcome on = Run(std::nullopt, change);
    const Outcome tiny = Run(ReadAheadLimits{3, 2, 8192, 4096}, change);
    // Every read and request counts as slow: the workers come after the
    // first files and stay.
    const Outcome adaptive =
        Run(ReadAheadLimits{3, 8, 65536, 8192, std::chrono::nanoseconds(1), std::chrono::nanoseconds(1)}, change);
    EXPECT_EQ(on.Status, off.Status);
    EXPECT_EQ(tiny.Status, off.Status);
    EXPECT_EQ(adaptive.Status, off.Status);
    EXPECT_EQ(on.Damaged, off.Damaged);
    EXPECT_EQ(tiny.Damaged, off.Damaged);
    EXPECT_EQ(adaptive.Damaged, off.Damaged);
    EXPECT_TRUE(Agree(adaptive, off, stopped)) << adaptive.Bytes.size() << " vs " << off.Bytes.size();
    EXPECT_TRUE(Agree(on, off, stopped)) << on.Bytes.size() << " vs " << off.Bytes.size();
    EXPECT_TRUE(Agree(tiny, off, stopped)) << tiny.Bytes.size() << " vs " << off.Bytes.size();
    FOff = off;
  }

  testsupport::TempDir FDir;
  engine::TKavoBurner FBurner;
  std::vector<std::string> FPaths;
  Outcome FOff;
};

TEST_F(StreamSame, UnchangedFiles) {
  ExpectSameEverywhere(nullptr);
  EXPECT_TRUE(FOff.Status.empty());
  EXPECT_TRUE(FOff.Damaged.empty());
  EXPECT_GT(FOff.Bytes.size(), 2u << 20) << "the stream must outgrow the cache";
}

TEST_F(StreamSame, FilesShrunkOrGrownInTheWindowAreZeroFilledOrCutAsBefore) {
  ExpectSameEverywhere([this] {
    fs::resize_file(FPaths[150], 100);                 // shrunk: zeros and the report
    fs::resize_file(FPaths[155], 200000);              // grown: only the recorded bytes
    FDir.Write("src/f158.bin", "changed bytes");       // rewritten, shorter
  });
  EXPECT_EQ(FOff.Damaged, (std::vector<std::string>{FPaths[150], FPaths[158]}));
}

TEST_F(StreamSame, AFileDeletedInTheWindowStopsTheStreamAsBefore) {
  ExpectSameEverywhere([this] { fs::remove(FPaths[140]); }, true);
  EXPECT_EQ(FOff.Status, "CAN'T OPEN FILE \"" + FPaths[140] + "\" OR FILE IS IN USES BY OTHER SOFTWARE");
}

}  // namespace
