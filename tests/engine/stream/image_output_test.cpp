#include "engine/stream/image_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_stream.h"
#include "support/temp_dir.h"

namespace {

using platform::FileStream;
using platform::OpenMode;

FileStream Open(const std::string& path, OpenMode mode) {
  auto opened = FileStream::Open(path, mode);
  if (!opened) throw std::runtime_error("cannot open " + path + ": " + opened.Err().Message);
  return std::move(opened.Value());
}

std::uint64_t RoundUp(std::uint64_t n) { return (n + 2047) / 2048 * 2048; }

struct CopyCase {
  std::size_t Buffer;
  std::size_t SourceBytes;  // what the file holds now
  std::uint64_t Count;      // what the layout recorded
};

class ImageOutputCopy : public testing::TestWithParam<CopyCase> {};

// A sector of header, then one source: exactly Count bytes taken, missing
// bytes as zeros, the last sector zero-filled.
TEST_P(ImageOutputCopy, TakesTheRecordedCountAndEndsOnASector) {
  const CopyCase& c = GetParam();
  testsupport::TempDir dir;
  const std::string content = testsupport::PatternContent(c.SourceBytes, 7);
  const std::string srcPath = dir.Write("src.bin", content);
  const std::string outPath = dir.Str() + "/out.img";
  std::uint64_t copied = 12345;
  {
    FileStream out = Open(outPath, OpenMode::CreateWrite);
    FileStream src = Open(srcPath, OpenMode::Read);
    stream::ImageOutput image(out, c.Buffer);
    const std::vector<std::uint8_t> header(2048, 0xAA);
    ASSERT_TRUE(image.Append(header).Ok());
    ASSERT_TRUE(image.AppendFile(src, c.Count, copied, nullptr).Ok());
    EXPECT_EQ(image.Position(), 2048 + RoundUp(c.Count));
    ASSERT_TRUE(image.Flush().Ok());
  }
  const std::uint64_t delivered = std::min<std::uint64_t>(c.SourceBytes, c.Count);
  EXPECT_EQ(copied, delivered);
  std::vector<std::uint8_t> want(2048, 0xAA);
  want.insert(want.end(), content.begin(), content.begin() + static_cast<std::ptrdiff_t>(delivered));
  want.resize(static_cast<std::size_t>(2048 + RoundUp(c.Count)), 0);
  const auto got = testsupport::ReadAll(outPath);
  ASSERT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want) << "content differs";
}

INSTANTIATE_TEST_SUITE_P(ImageOutput, ImageOutputCopy,
                         testing::Values(CopyCase{4096, 10000, 10000},  // several buffer fills
                                         CopyCase{3000, 10000, 10000},  // buffer not a sector multiple
                                         CopyCase{3000, 10000, 6000},   // the source grew
                                         CopyCase{3000, 3000, 10000},   // the source shrank
                                         CopyCase{3000, 0, 5000},       // the source is empty now
                                         CopyCase{4096, 4096, 4096},    // ends on a buffer and a sector
                                         CopyCase{1 << 20, 1, 1},       // one byte takes a sector
                                         CopyCase{3000, 0, 0}));

TEST(ImageOutput, CancelStopsBetweenPiecesAndTellsHowFar) {
  testsupport::TempDir dir;
  const std::string srcPath = dir.Write("src.bin", testsupport::PatternContent(100000, 3));
  FileStream out = Open(dir.Str() + "/out.img", OpenMode::CreateWrite);
  FileStream src = Open(srcPath, OpenMode::Read);
  stream::ImageOutput image(out, 4096);
  int asked = 0;
  std::uint64_t copied = 0;
  ASSERT_TRUE(image.AppendFile(src, 100000, copied, [&asked] { return ++asked > 1; }).Ok());
  EXPECT_GT(copied, 0u);
  EXPECT_LT(copied, 100000u);
}

TEST(ImageOutput, AFullDiskIsReportedNotSwallowed) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  auto opened = FileStream::Open("/dev/full", OpenMode::AppendWrite);
  if (!opened) GTEST_SKIP() << "cannot open /dev/full";
  stream::ImageOutput image(opened.Value(), 4096);
  const std::vector<std::uint8_t> bytes(10000, 1);
  // The first buffer fill has to reach the device within this append.
  EXPECT_FALSE(image.Append(bytes).Ok());
}

}  // namespace
