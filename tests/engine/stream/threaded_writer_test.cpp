// The read-ahead cache and the writer thread: the threaded .iso build against
// the direct one, aborts, open failures, and the cache's pause rule.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/dispatch/dispatcher.h"
#include "engine/kavo_burner.h"
#include "engine/stream/cache_thread.h"
#include "support/temp_dir.h"
#ifdef __linux__
#include <algorithm>
#include <cstdlib>

#include "support/priority.h"
#endif

namespace {

namespace fs = std::filesystem;
using engine::SaveMode;
using engine::TKavoBurner;

class Threaded : public testing::Test {
 protected:
  Threaded() {
    FBurner.SetDispatcher(&FQueue);
    FBurner.OnWriteDone = [this](TKavoBurner&, const std::string& error) { FDone.push_back(error); };
  }
  void AddTree(std::size_t files, std::size_t size) {
    for (std::size_t i = 0; i < files; ++i)
      FBurner.AddFileToCompilation(
          "\\", FDir.Write("src/f" + std::to_string(i) + ".bin", testsupport::PatternContent(size + i, std::uint32_t(i))),
          false);
  }
  // Runs the threaded build to its end; the events arrive through the queue.
  void WriteThreaded(const std::string& target) {
    FBurner.WriteImageFile(target, SaveMode::Threaded);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (FDone.empty() && std::chrono::steady_clock::now() < deadline)
      FQueue.RunPending(std::chrono::milliseconds(50));
    FBurner.WaitForOperation();
    FQueue.RunPending(std::chrono::milliseconds(0));
  }

  testsupport::TempDir FDir;
  dispatch::QueueDispatcher FQueue;
  TKavoBurner FBurner;
  std::vector<std::string> FDone;
};

// Descriptor dates aside (bytes 813-846 of each descriptor, and the dates of
// "." and ".."), both paths write the same image; the threaded one is padded
// to 300 sectors.
TEST_F(Threaded, MatchesTheDirectWriterByteForByte) {
  AddTree(40, 3000);
  // Large enough to go file to file, and not a whole number of sectors.
  FBurner.AddFileToCompilation("\\", FDir.Write("src/large.bin", testsupport::PatternContent(2500001, 99)), false);
  FBurner.AddFileToCompilation("\\", FDir.Write("src/tail.txt", "tail"), false);
  const std::string direct = FDir.Str() + "/direct.iso";
  const std::string threaded = FDir.Str() + "/threaded.iso";
  FBurner.WriteImageFile(direct, SaveMode::Quick);
  WriteThreaded(threaded);
  ASSERT_EQ(FDone, (std::vector<std::string>{"", ""}));
  auto a = testsupport::ReadAll(direct);
  auto b = testsupport::ReadAll(threaded);
  ASSERT_EQ(a.size(), b.size()) << "past 300 sectors nothing is added";
  // The clock moved between the two builds: only date bytes may differ.
  std::size_t differing = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) {
      ++differing;
      const std::size_t inSector = i % 2048;
      const bool descriptorDate = i / 2048 >= 16 && i / 2048 <= 18 && inSector >= 813 && inSector < 847;
      const bool dirRecordDate = i / 2048 > 18;  // "." and ".." carry the current time
      EXPECT_TRUE(descriptorDate || dirRecordDate) << "byte " << i;
    }
  EXPECT_LT(differing, 200u);
}

// An abort at any point ends in exactly one OnWriteDone with the abort text
// and leaves no file behind.
TEST_F(Threaded, AbortAtRandomPointsEndsOnceAndLeavesNothing) {
  AddTree(30, 200000);
  std::mt19937 gen(7);
  for (int round = 0; round < 8; ++round) {
    FDone.clear();
    const std::string target = FDir.Str() + "/abort.iso";
    const int afterMs = static_cast<int>(gen() % 20);
    std::thread canceller([this, afterMs] {
      // The abort's moment is what varies: wherever the build is then.
      std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
      FBurner.CancelOperation();
    });
    WriteThreaded(target);
    canceller.join();
    ASSERT_EQ(FDone.size(), 1u) << "round " << round;
    if (FDone[0].empty()) {
      // The build finished before the request: then the image is whole.
      EXPECT_TRUE(fs::exists(target));
      fs::remove(target);
    } else {
      EXPECT_EQ(FDone[0], "OPERATION ABORTED BY USER");
      EXPECT_FALSE(fs::exists(target));
    }
    for (const auto& e : fs::directory_iterator(FDir.Path()))
      EXPECT_EQ(e.path().string().find(".part-"), std::string::npos) << e.path();
  }
}

// A large source that shrank after it was added: zeros keep the next file in
// its sector, the file is named, and the build does not claim success.
TEST_F(Threaded, ShrunkLargeSourceIsZeroFilledAndReported) {
  const std::string large = FDir.Write("src/large.bin", testsupport::PatternContent(3u << 20, 5));
  FBurner.AddFileToCompilation("\\", large, false);
  const std::string after = FDir.Write("src/after.txt", "after");
  FBurner.AddFileToCompilation("\\", after, false);
  std::vector<std::string> messages;
  FBurner.OnDebugMessage = [&](device::TSCSIDevice&, const std::string& m, std::uint8_t) { messages.push_back(m); };
  fs::resize_file(large, 1u << 20);
  const std::string target = FDir.Str() + "/out.iso";
  WriteThreaded(target);
  ASSERT_EQ(FDone, (std::vector<std::string>{"IMAGE WRITTEN, BUT 1 FILE(S) COULD NOT BE READ COMPLETELY"}));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find(large), std::string::npos);
  const auto image = testsupport::ReadAll(target);
  // Files start at sector 150: the large one takes 1,536 sectors, zeros after 1 MiB.
  const std::size_t largeAt = 150u * 2048;
  EXPECT_TRUE(std::all_of(image.begin() + static_cast<std::ptrdiff_t>(largeAt + (1u << 20)),
                          image.begin() + static_cast<std::ptrdiff_t>(largeAt + (3u << 20)), [](auto c) { return c == 0; }));
  EXPECT_EQ(std::string(image.begin() + static_cast<std::ptrdiff_t>(largeAt + (3u << 20)),
                        image.begin() + static_cast<std::ptrdiff_t>(largeAt + (3u << 20) + 5)),
            "after");
}

TEST_F(Threaded, UnopenableSourceEndsBeforeTheWriterStarts) {
  AddTree(3, 100);
  const std::string gone = FDir.Write("src/f1.bin", "");  // the path as the tree holds it
  fs::remove(gone);
  const std::string target = FDir.Str() + "/out.iso";
  // The start returns at once; the end comes through the queue, from the
  // cache's first fill, with no writer started.
  WriteThreaded(target);
  ASSERT_EQ(FDone.size(), 1u);
  EXPECT_EQ(FDone[0], "CAN'T OPEN FILE \"" + gone + "\" OR FILE IS IN USES BY OTHER SOFTWARE");
  EXPECT_FALSE(FBurner.Writing());
  EXPECT_EQ(FBurner.CacheFillPercent(), 0);
  EXPECT_FALSE(fs::exists(target));
}

// The producer pauses one block short of the limit: 63 blocks of 64 KiB or 74
// of 55,296 bytes in a 4 MiB cache. TakeBlock answers -1 while nothing is
// queued and 0 once the stream is over.
TEST(CacheThread, PausesAtLimitMinusOneAndEndsWithZero) {
  for (const std::uint32_t blockSize : {stream::kBlockSizeOther, stream::kBlockSizeCd}) {
    std::recursive_mutex lock;
    std::vector<std::uint8_t> header(blockSize * 100ull, 0xAB);  // more than the cache holds
    stream::TCacheThread::Params p;
    p.CacheSize = 4194304;
    p.Lock = &lock;
    p.BlockSize = blockSize;
    p.TotalBytes = header.size();
    p.Header = &header;
    stream::TCacheThread cache(p);
    ASSERT_TRUE(cache.WaitReadyOrFailed(10000));
    const std::size_t limit = 4194304 / blockSize;
    EXPECT_EQ(cache.PeakQueued(), limit - 1);
    std::vector<std::uint8_t> block;
    std::uint64_t taken = 0;
    for (;;) {
      const std::int64_t n = cache.TakeBlock(block);
      if (n == 0) break;
      if (n < 0) {
        cache.WaitForBlock(100);
        continue;
      }
      EXPECT_EQ(block[0], 0xAB);
      taken += static_cast<std::uint64_t>(n);
    }
    EXPECT_EQ(taken, header.size());
    EXPECT_EQ(cache.PeakQueued(), limit - 1) << "never more than the pause allows";
    EXPECT_EQ(cache.TakeBlock(block), 0);
    EXPECT_TRUE(cache.StatusText().empty());
  }
}

#ifdef __linux__
// Fills a small cache, drains it, lets it refill and drains it to the end,
// looking at every thread's priority as it goes: the highest nice value seen.
int HighestNiceWhileTheCacheCycles() {
  std::recursive_mutex lock;
  std::vector<std::uint8_t> header(stream::kBlockSizeOther * 200ull, 0xAB);
  stream::TCacheThread::Params p;
  p.CacheSize = 2097152;
  p.Lock = &lock;
  p.TotalBytes = header.size();
  p.Header = &header;
  stream::TCacheThread cache(p);
  if (!cache.WaitReadyOrFailed(10000)) return 100;
  int worst = 0;
  std::vector<std::uint8_t> block;
  for (int taken = 0;;) {
    const std::int64_t n = cache.TakeBlock(block);
    if (n == 0) break;
    if (n < 0) {
      cache.WaitForBlock(100);
      continue;
    }
    if (++taken % 8 == 0) {
      const auto nices = testsupport::ThreadNices();
      worst = std::max(worst, *std::max_element(nices.begin(), nices.end()));
    }
  }
  return worst;
}

// A reader that lowers its priority has to run to raise it again: under load
// it waits behind every busy program while the drive drains, and a person's
// process on Linux may not raise a thread again at all. The reader keeps the
// priority it started with, whatever the fill.
TEST(CacheThread, TheReaderKeepsItsPriorityWhateverTheFill) {
  ASSERT_EQ(testsupport::CurrentThreadNice(), 0);
  EXPECT_EQ(HighestNiceWhileTheCacheCycles(), 0);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        testsupport::DropPriorityPrivileges();
        const int worst = HighestNiceWhileTheCacheCycles();
        std::_Exit(worst == 0 ? 0 : 10 + worst);
      },
      testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
