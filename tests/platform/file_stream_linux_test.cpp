// Sparse copies where the file system keeps holes.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/file_stream.h"
#include "support/temp_dir.h"

namespace {

using platform::FileStream;
using platform::OpenMode;

TEST(FileStreamCopyLinux, AHoleOfTheSourceTakesNoSpaceInTheCopy) {
  testsupport::TempDir dir;
  const std::string source = dir.Str() + "/sparse.bin";
  const std::string target = dir.Str() + "/copy.bin";
  constexpr std::uint64_t kSize = std::uint64_t{6} << 30;
  {
    auto f = FileStream::Open(source, OpenMode::CreateWrite);
    ASSERT_TRUE(f.Ok());
    ASSERT_TRUE(f.Value().Write("data", 4).Ok());
    ASSERT_TRUE(f.Value().Truncate(kSize).Ok());
  }
  struct stat st {};
  ASSERT_EQ(stat(source.c_str(), &st), 0);
  if (st.st_blocks * 512 > (1 << 20)) GTEST_SKIP() << "this file system keeps no holes";
  auto in = FileStream::Open(source, OpenMode::Read);
  auto out = FileStream::Open(target, OpenMode::CreateWrite);
  ASSERT_TRUE(in.Ok() && out.Ok());
  const auto copied = out.Value().CopyFrom(in.Value(), kSize);
  ASSERT_TRUE(copied.Ok());
  EXPECT_EQ(copied.Value(), kSize);
  out.Value().Close();
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(static_cast<std::uint64_t>(st.st_size), kSize);
  EXPECT_LT(st.st_blocks * 512, 1 << 20);
}

}  // namespace
