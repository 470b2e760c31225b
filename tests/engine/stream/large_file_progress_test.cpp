// A large source goes file to file into an image: its progress must move
// while it is copied, not jump once at its end.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/dispatch/dispatcher.h"
#include "engine/kavo_burner.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

TEST(LargeFileProgress, BytesWrittenGrowWhileALargeFileIsCopied) {
  testsupport::TempDir dir;
  const std::string source = dir.Str() + "/large.bin";
  {
    // Written out: the holes of a sparse file are passed over, not copied.
    std::ofstream out(source, std::ios::binary);
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7 + 1);
    for (int i = 0; i < 1536; ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
    ASSERT_TRUE(out.good());
  }
  const std::string target = dir.Str() + "/out.iso";

  dispatch::QueueDispatcher queue;
  engine::TKavoBurner burner;
  burner.SetDispatcher(&queue);
  std::string result = "not ended";
  bool ended = false;
  burner.OnWriteDone = [&](engine::TKavoBurner&, const std::string& e) {
    result = e;
    ended = true;
  };
  ASSERT_EQ(burner.AddFileToCompilation("\\", source, false), 1);
  burner.WriteImageFile(target, engine::SaveMode::Threaded);

  // Counted, not timed: a loaded machine may stall a write for seconds, but
  // progress that moves only at the file's end shows no step inside it.
  std::uint64_t last = 0;
  int stepsInside = 0;
  bool sawFile = false, sawSpeed = false;
  const auto until = Clock::now() + std::chrono::minutes(4);
  while (!ended && Clock::now() < until) {
    queue.RunPending(std::chrono::milliseconds(100));
    const engine::ProgressSnapshot p = burner.ProgressNow();
    if (ended) break;
    if (p.BytesWritten > last) {
      last = p.BytesWritten;
      if (p.CurrentFile == source && p.BytesWritten < p.BytesTotal) ++stepsInside;
    }
    sawFile = sawFile || p.CurrentFile == source;
    sawSpeed = sawSpeed || p.SpeedKBps > 0;
    EXPECT_LE(p.BytesWritten, p.BytesTotal);
  }
  burner.WaitForOperation();
  EXPECT_TRUE(ended);
  EXPECT_EQ(result, "");
  EXPECT_GE(stepsInside, 3) << "bytes written moved only at the file's end";
  EXPECT_GT(last, 0u);
  EXPECT_TRUE(sawFile);
  EXPECT_TRUE(sawSpeed);
  EXPECT_EQ(std::filesystem::file_size(target), std::uint64_t{burner.ImageSectors()} * 2048);
  std::filesystem::remove(target);
  std::filesystem::remove(source);
}

}  // namespace
