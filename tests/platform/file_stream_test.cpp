#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file_stream.h"
#include "support/temp_dir.h"

namespace {

using platform::FileStream;
using platform::OpenMode;

FileStream OpenOrFail(const std::string& path, OpenMode mode) {
  auto opened = FileStream::Open(path, mode);
  EXPECT_TRUE(opened.Ok()) << path << ": " << (opened.Ok() ? "" : opened.Err().Message);
  return opened.Ok() ? std::move(opened.Value()) : FileStream();
}

std::string Contents(const std::string& path) {
  const std::vector<std::uint8_t> bytes = testsupport::ReadAll(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(FileStream, WriteSeekAndReadBack) {
  testsupport::TempDir dir;
  const std::string path = dir.Write("data.bin", "old content, longer than the new");
  const std::string content = testsupport::PatternContent(100'000, 1);
  {
    FileStream out = OpenOrFail(path, OpenMode::CreateWrite);
    ASSERT_TRUE(out.Write(content.data(), 60'000).Ok());
    ASSERT_TRUE(out.Write(content.data() + 60'000, 40'000).Ok());
    EXPECT_EQ(out.Size(), 100'000);
  }
  {
    FileStream out = OpenOrFail(path, OpenMode::AppendWrite);
    EXPECT_EQ(out.Position(), 100'000u);
    ASSERT_TRUE(out.Write("END", 3).Ok());
  }
  EXPECT_EQ(Contents(path), content + "END");

  FileStream in = OpenOrFail(path, OpenMode::Read);
  std::string back(200'000, '\0');
  EXPECT_EQ(in.Read(back.data(), back.size()), 100'003) << "short only at the end";
  ASSERT_TRUE(in.Seek(99'999).Ok());
  char tail[4];
  EXPECT_EQ(in.Read(tail, sizeof tail), 4);
  EXPECT_EQ(std::string(tail, 4), content.substr(99'999) + "END");
  ASSERT_TRUE(in.Seek(1'000'000).Ok());
  EXPECT_EQ(in.Read(tail, sizeof tail), 0);

  // Closing a moved-from stream must leave the file to its new owner.
  FileStream moved = std::move(in);
  FileStream assigned = OpenOrFail(path, OpenMode::Read);
  assigned = std::move(moved);
  in.Close();     // NOLINT(bugprone-use-after-move)
  moved.Close();  // NOLINT(bugprone-use-after-move)
  ASSERT_TRUE(assigned.Seek(0).Ok());
  EXPECT_EQ(assigned.Read(tail, 1), 1);
}

TEST(FileStream, FailuresAreReportedWithTheReason) {
  testsupport::TempDir dir;
  auto missing = FileStream::Open(dir.Str() + "/missing", OpenMode::AppendWrite);
  ASSERT_FALSE(missing.Ok());
  EXPECT_EQ(missing.Err().Kind, base::ErrorKind::System);
  const std::string& why = missing.Err().Message;
  EXPECT_TRUE(why.find("No such file") != std::string::npos || why.find("not found") != std::string::npos) << why;

  FileStream closed;
  char byte = 0;
  EXPECT_FALSE(closed.Write(&byte, 1).Ok());
  EXPECT_EQ(closed.Read(&byte, 1), -1);

  // A full disk must not pass for a successful write or copy.
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  FileStream full = OpenOrFail("/dev/full", OpenMode::CreateWrite);
  const auto written = full.Write("abc", 3);
  ASSERT_FALSE(written.Ok());
  EXPECT_NE(written.Err().Message.find("No space left"), std::string::npos) << written.Err().Message;
  FileStream source = OpenOrFail(dir.Write("source", "0123456789"), OpenMode::Read);
  EXPECT_FALSE(full.CopyFrom(source, 10).Ok());
}

struct CopyCase {
  std::size_t SourceSize;
  std::uint64_t SourceStart;
  std::uint64_t TargetStart;  // bytes already written to the target
  std::uint64_t Count;
  std::uint64_t Expected;
};

void PrintTo(const CopyCase& c, std::ostream* os) {
  *os << c.Count << " of " << c.SourceSize << " bytes from " << c.SourceStart << " to " << c.TargetStart;
}

class CopyFrom : public ::testing::TestWithParam<CopyCase> {};

TEST_P(CopyFrom, CopiesFromBothPositionsAndMovesThem) {
  const CopyCase& c = GetParam();
  testsupport::TempDir dir;
  const std::string content = testsupport::PatternContent(c.SourceSize, 7);
  const std::string prefix = testsupport::PatternContent(static_cast<std::size_t>(c.TargetStart), 9);
  const std::string target = dir.Str() + "/target.bin";
  FileStream in = OpenOrFail(dir.Write("source.bin", content), OpenMode::Read);
  FileStream out = OpenOrFail(target, OpenMode::CreateWrite);
  ASSERT_TRUE(out.Write(prefix.data(), prefix.size()).Ok());
  ASSERT_TRUE(in.Seek(c.SourceStart).Ok());

  const auto copied = out.CopyFrom(in, c.Count);
  ASSERT_TRUE(copied.Ok()) << copied.Err().Message;
  EXPECT_EQ(copied.Value(), c.Expected);
  EXPECT_EQ(in.Position(), c.SourceStart + c.Expected);
  ASSERT_TRUE(out.Write("END", 3).Ok());  // lands after the copied bytes
  out.Close();
  const auto start = static_cast<std::size_t>(c.SourceStart);
  EXPECT_EQ(Contents(target), prefix + content.substr(start, static_cast<std::size_t>(c.Expected)) + "END");
}

constexpr std::size_t kFiveMiB = 5u << 20;

INSTANTIATE_TEST_SUITE_P(Cases, CopyFrom,
                         ::testing::Values(CopyCase{100, 0, 0, 1000, 100},   // source ends early
                                           CopyCase{100, 40, 3, 1000, 60},   // from the middle onto a prefix
                                           CopyCase{100, 100, 0, 10, 0},     // already at the end
                                           CopyCase{kFiveMiB, 0, 0, kFiveMiB, kFiveMiB},
                                           CopyCase{kFiveMiB, 1234, 17, 3u << 20, 3u << 20}));

TEST(FileStreamCopy, ReadsFilesTheKernelCannotCopy) {
  // /proc files report a size of zero and lie on another device: the copy
  // must still arrive, through plain reads.
  const std::string procFile = "/proc/version";
  if (!std::filesystem::exists(procFile)) GTEST_SKIP() << "no /proc";
  testsupport::TempDir dir;
  const std::string expected = Contents(procFile);
  FileStream in = OpenOrFail(procFile, OpenMode::Read);
  FileStream out = OpenOrFail(dir.Str() + "/copy", OpenMode::CreateWrite);
  const auto copied = out.CopyFrom(in, 1u << 20);
  ASSERT_TRUE(copied.Ok()) << copied.Err().Message;
  EXPECT_GT(copied.Value(), 0u);
  out.Close();
  EXPECT_EQ(Contents(dir.Str() + "/copy"), expected);
}

// A sparse source: 8 MiB with data at its start, in its middle, and a hole
// to its end.
std::string SparseSource(testsupport::TempDir& dir) {
  const std::string path = dir.Str() + "/sparse.bin";
  FileStream f = OpenOrFail(path, OpenMode::CreateWrite);
  EXPECT_TRUE(f.Write("head", 4).Ok());
  EXPECT_TRUE(f.Seek(4u << 20).Ok());
  EXPECT_TRUE(f.Write("middle", 6).Ok());
  EXPECT_TRUE(f.Truncate(8u << 20).Ok());
  return path;
}

std::string Expected8MiB() {
  std::string e(8u << 20, '\0');
  e.replace(0, 4, "head");
  e.replace(4u << 20, 6, "middle");
  return e;
}

TEST(FileStreamCopy, HolesOfASparseSourceReadBackAsZerosWhereverTheyLand) {
  testsupport::TempDir dir;
  const std::string source = SparseSource(dir);
  {
    // Appended: the trailing hole still counts in the size.
    FileStream in = OpenOrFail(source, OpenMode::Read);
    FileStream out = OpenOrFail(dir.Str() + "/appended", OpenMode::CreateWrite);
    const auto copied = out.CopyFrom(in, 8u << 20);
    ASSERT_TRUE(copied.Ok());
    EXPECT_EQ(copied.Value(), 8u << 20);
    EXPECT_EQ(out.Position(), 8u << 20);
    EXPECT_EQ(in.Position(), 8u << 20);
    out.Close();
    EXPECT_TRUE(Contents(dir.Str() + "/appended") == Expected8MiB());
  }
  {
    // Over bytes already there: they must become zeros, not stay.
    const std::string target = dir.Str() + "/over";
    const std::string old = testsupport::PatternContent(10u << 20, 3);
    FileStream out = OpenOrFail(dir.Write("over", old), OpenMode::ReadWrite);
    FileStream in = OpenOrFail(source, OpenMode::Read);
    ASSERT_TRUE(out.Seek(1000).Ok());
    const auto copied = out.CopyFrom(in, 8u << 20);
    ASSERT_TRUE(copied.Ok());
    EXPECT_EQ(copied.Value(), 8u << 20);
    out.Close();
    const std::string got = Contents(target);
    EXPECT_TRUE(got == old.substr(0, 1000) + Expected8MiB() + old.substr(1000 + (8u << 20)));
  }
}

TEST(FileOperations, RemoveAndRename) {
  testsupport::TempDir dir;
  const std::string a = dir.Write("a", "first");
  const std::string b = dir.Write("b", "second");
  ASSERT_TRUE(platform::RenameFile(a, b).Ok());
  EXPECT_EQ(Contents(b), "first");
  EXPECT_EQ(platform::RenameFile(a, b).Err().Kind, base::ErrorKind::System);
  EXPECT_TRUE(platform::RemoveFile(b));
  EXPECT_FALSE(std::filesystem::exists(b));
  EXPECT_TRUE(platform::RemoveFile(b)) << "already gone counts as removed";
  EXPECT_FALSE(platform::RemoveFile(dir.MakeDir("folder")));
}

TEST(FileStream, RandomAccessNewFilesAndTheLock) {
  testsupport::TempDir dir;
  const std::string path = dir.Str() + "/disc.bin";
  FileStream file = OpenOrFail(path, OpenMode::CreateNew);
  EXPECT_FALSE(FileStream::Open(path, OpenMode::CreateNew).Ok()) << "a new file never replaces one";
  // Far out and back, without moving the position.
  const std::uint64_t far = (std::uint64_t{5} << 30) + 3;
  file.MakeSparse();
  ASSERT_TRUE(file.WriteAt(far, "tail", 4).Ok());
  ASSERT_TRUE(file.WriteAt(0, "head", 4).Ok());
  EXPECT_EQ(file.Position(), 0u);
  EXPECT_EQ(file.Size(), static_cast<std::int64_t>(far + 4));
  char got[8] = {};
  EXPECT_EQ(file.ReadAt(far - 2, got, sizeof got), 6);  // short only at the end
  EXPECT_EQ(std::string(got, 6), std::string("\0\0tail", 6));
  ASSERT_TRUE(file.Truncate(2).Ok());
  EXPECT_EQ(file.Size(), 2);
  EXPECT_EQ(file.ReadAt(0, got, sizeof got), 2);

  // One holder of the lock at a time, across opens of the same file.
  FileStream other = OpenOrFail(path, OpenMode::ReadWrite);
  ASSERT_TRUE(file.TryLock());
  EXPECT_FALSE(other.TryLock());
  EXPECT_EQ(other.ReadAt(0, got, 2), 2) << "the lock keeps the data readable";
  file.Close();
  EXPECT_TRUE(other.TryLock());
}

}  // namespace
