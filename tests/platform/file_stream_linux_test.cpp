// Sparse copies where the file system keeps holes; temporaries and reads
// of kept files when links and FIFOs stand where they are expected.
#include <sys/stat.h>

#include <filesystem>
#include <string>

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

std::string Contents(const std::string& path) {
  const auto bytes = testsupport::ReadAll(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(FileStreamLinux, ATemporaryBesideAFileNeverGoesThroughWhatHasItsName) {
  testsupport::TempDir dir;
  const std::string victim = dir.Write("victim.txt", "precious");
  const std::string path = dir.Str() + "/list.ini";
  std::filesystem::create_symlink(victim, path + ".tmp");
  std::string temp;
  {
    auto created = FileStream::CreateTempBeside(path, temp);
    ASSERT_TRUE(created.Ok()) << created.Err().Message;
    ASSERT_TRUE(created.Value().Write("new", 3).Ok());
  }
  EXPECT_EQ(temp, path + ".tmp");
  EXPECT_EQ(Contents(victim), "precious");
  EXPECT_FALSE(std::filesystem::is_symlink(temp));
  EXPECT_EQ(Contents(temp), "new");
  // A leftover of a crash is replaced; a folder of that name is not removed.
  ASSERT_TRUE(FileStream::CreateTempBeside(path, temp, ".new").Ok());
  dir.MakeDir("list.ini.tmp2");
  EXPECT_FALSE(FileStream::CreateTempBeside(path, temp, ".tmp2").Ok());
  EXPECT_TRUE(std::filesystem::is_directory(path + ".tmp2"));
}

TEST(FileStreamLinux, OnlyRegularFilesOpenAsKeptFilesOrTakeAppends) {
  testsupport::TempDir dir;
  const std::string fifo = dir.Str() + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Both return at once: neither waits for the FIFO's other end.
  auto opened = FileStream::OpenRegular(fifo);
  ASSERT_FALSE(opened.Ok());
  EXPECT_NE(opened.Err().Message.find("not a regular file"), std::string::npos);
  EXPECT_FALSE(FileStream::OpenRegular(dir.Str()).Ok());
  EXPECT_FALSE(platform::AppendToFile(fifo, "line\n").Ok());
  const std::string file = dir.Write("log.txt", "one\n");
  ASSERT_TRUE(platform::AppendToFile(file, "two\n").Ok());
  EXPECT_EQ(Contents(file), "one\ntwo\n");
  EXPECT_TRUE(FileStream::OpenRegular(file).Ok());
}

}  // namespace
