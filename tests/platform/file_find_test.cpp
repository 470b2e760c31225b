#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <map>
#include <ostream>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "platform/file_find.h"
#include "support/temp_dir.h"

namespace {

using namespace platform;  // NOLINT(google-build-using-namespace): the attribute constants

constexpr std::uint64_t kBigSize = (std::uint64_t{5} << 30) + 7;  // past every 32-bit boundary

// A folder with each kind of entry a search has to tell apart.
class FindTree : public ::testing::Test {
 protected:
  void SetUp() override {
    FRoot = FDir.Str();
    for (const char* name : {"a.txt", "B.TXT", ".hidden", "ro.txt"}) FDir.Write(name, "hello");
    FDir.MakeDir("sub");
    FDir.MakeDir(".hiddendir");
    ASSERT_EQ(chmod(At("ro.txt").c_str(), 0444), 0);
    ASSERT_EQ(symlink("missing-target", At("dangling").c_str()), 0);
    ASSERT_EQ(symlink("a.txt", At("link_to_a").c_str()), 0);
    ASSERT_EQ(mkfifo(At("pipe").c_str(), 0644), 0);
    ASSERT_EQ(truncate(FDir.Write("big.bin", "").c_str(), static_cast<off_t>(kBigSize)), 0);  // sparse
  }

  std::string At(const std::string& name) const { return FRoot + "/" + name; }

  std::map<std::string, FindData> List(const std::string& mask, std::uint32_t attrMask) {
    std::map<std::string, FindData> found;
    FileFinder finder;
    FindData data;
    for (bool more = finder.FindFirst(At(mask), attrMask, data); more; more = finder.FindNext(data)) {
      EXPECT_TRUE(found.emplace(data.Name, data).second) << "listed twice: " << data.Name;
    }
    return found;
  }

  std::set<std::string> Names(const std::string& mask, std::uint32_t attrMask) {
    std::set<std::string> names;
    for (const auto& entry : List(mask, attrMask)) names.insert(entry.first);
    return names;
  }

  testsupport::TempDir FDir;
  std::string FRoot;
};

struct AttrMaskCase {
  std::uint32_t AttrMask;
  std::set<std::string> Extra;  // besides the plain files
};

void PrintTo(const AttrMaskCase& c, std::ostream* os) { *os << "mask 0x" << std::hex << c.AttrMask; }

class FindByAttributeMask : public FindTree, public ::testing::WithParamInterface<AttrMaskCase> {};

TEST_P(FindByAttributeMask, PassesOverWhatWasNotAskedFor) {
  std::set<std::string> expected = GetParam().Extra;
  expected.insert({"a.txt", "B.TXT", "ro.txt", "big.bin", "link_to_a"});
  // The dangling link never shows.
  EXPECT_EQ(Names("*.*", GetParam().AttrMask), expected);
  EXPECT_EQ(Names("*", GetParam().AttrMask), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, FindByAttributeMask,
    ::testing::Values(AttrMaskCase{kAttrReadOnly | kAttrArchive, {}},
                      AttrMaskCase{kAttrDirectory, {".", "..", "sub"}}, AttrMaskCase{kAttrHidden, {".hidden"}},
                      AttrMaskCase{kAttrSystem, {"pipe"}},
                      AttrMaskCase{kAttrAnyFile, {".", "..", "sub", ".hidden", ".hiddendir", "pipe"}}));

TEST_F(FindTree, ReportsSizeTimeAttributesAndIdentity) {
  const timespec times[2] = {{1'000'000'000, 0}, {1'000'000'000, 123'456'789}};
  ASSERT_EQ(utimensat(AT_FDCWD, At("a.txt").c_str(), times, 0), 0);
  auto found = List("*", kAttrAnyFile);
  const FindData& a = found["a.txt"];
  EXPECT_EQ(a.Size, 5u);
  EXPECT_EQ(a.WriteTimeSec, 1'000'000'000);
  EXPECT_EQ(a.WriteTimeNsec, 123'456'789);
  EXPECT_EQ(a.Attributes, kAttrArchive);  // never burnt, writable, visible
  EXPECT_EQ(found["big.bin"].Size, kBigSize);
  EXPECT_EQ(found["ro.txt"].Attributes, kAttrReadOnly | kAttrArchive);
  EXPECT_EQ(found[".hidden"].Attributes, kAttrHidden | kAttrArchive);
  EXPECT_EQ(found[".hiddendir"].Attributes, kAttrHidden | kAttrDirectory);
  EXPECT_EQ(found[".."].Attributes, kAttrDirectory);
  EXPECT_EQ(found["sub"].Size, 0u);
  // Links are followed, and "." is the folder itself: a walk can recognise
  // an object it has already seen.
  EXPECT_EQ(found["link_to_a"].Size, 5u);
  EXPECT_EQ(found["link_to_a"].Inode, a.Inode);
  struct stat root {};
  ASSERT_EQ(stat(FRoot.c_str(), &root), 0);
  EXPECT_EQ(found["."].Inode, static_cast<std::uint64_t>(root.st_ino));
  EXPECT_EQ(found["."].Device, static_cast<std::uint64_t>(root.st_dev));
}

TEST_F(FindTree, MaskedSearchAndPlainName) {
  EXPECT_EQ(Names("*.txt", kAttrAnyFile), (std::set<std::string>{"a.txt", "B.TXT", "ro.txt"}));
  FileFinder finder;
  FindData data;
  ASSERT_TRUE(finder.FindFirst(At("big.bin"), 0, data));
  EXPECT_EQ(data.Name, "big.bin");
  EXPECT_EQ(data.Size, kBigSize);
  EXPECT_FALSE(finder.FindNext(data));
  for (const char* absent : {"missing.txt", "dangling", "no-folder/*", ""}) {
    EXPECT_FALSE(finder.FindFirst(At(absent), kAttrAnyFile, data)) << absent;
  }
  // The attribute rule holds for a named entry too.
  EXPECT_FALSE(finder.FindFirst(At("sub"), 0, data));
  EXPECT_TRUE(finder.FindFirst(At("sub"), kAttrDirectory, data));
  EXPECT_FALSE(finder.FindFirst(At(".hidden"), 0, data));
}

TEST_F(FindTree, SinglePathQueries) {
  FindData data;
  ASSERT_TRUE(GetFileInfo(At("sub/"), data));
  EXPECT_EQ(data.Name, "sub");
  EXPECT_EQ(data.Attributes, kAttrDirectory);
  ASSERT_TRUE(GetFileInfo(At("link_to_a"), data));
  EXPECT_EQ(data.Name, "link_to_a");
  EXPECT_EQ(data.Size, 5u);
  EXPECT_FALSE(GetFileInfo(At("dangling"), data));
  for (const char* name : {"sub", "a.txt", "link_to_a", "pipe", "dangling", "missing"}) {
    const std::string n = name;
    EXPECT_EQ(IsDirectory(At(n)), n == "sub") << n;
    EXPECT_EQ(FileExists(At(n)), n == "a.txt" || n == "link_to_a") << n;
  }
}

class ArchiveAttribute : public ::testing::Test {
 protected:
  void SetUp() override {
    FPath = FDir.Write("doc.txt", "some content");
    if (setxattr(FPath.c_str(), "user.probe", "1", 1, 0) != 0 && errno == ENOTSUP) GTEST_SKIP() << "no xattrs";
  }

  // GetFileInfo and a search must agree, so each check asks both.
  bool Archived() {
    FindData byInfo;
    FindData byFind;
    FileFinder finder;
    EXPECT_TRUE(GetFileInfo(FPath, byInfo));
    EXPECT_TRUE(finder.FindFirst(FDir.Str() + "/*.txt", kAttrAnyFile, byFind));
    EXPECT_EQ(byInfo.Attributes, byFind.Attributes);
    return (byInfo.Attributes & kAttrArchive) != 0;
  }

  // A record as stored for the file as it is now; the placeholders let a
  // test break one field at a time.
  void Forge(std::string value, std::int64_t boundFromCtime = 100) {
    struct stat st {};
    ASSERT_EQ(stat(FPath.c_str(), &st), 0);
    const std::pair<const char*, std::int64_t> fields[] = {{"SIZE", st.st_size},
                                                           {"MNSEC", st.st_mtim.tv_nsec},
                                                           {"MSEC", st.st_mtim.tv_sec},
                                                           {"BOUND", st.st_ctim.tv_sec + boundFromCtime}};
    for (const auto& [key, number] : fields) {
      const std::size_t at = value.find(key);
      if (at != std::string::npos) value.replace(at, std::string(key).size(), std::to_string(number));
    }
    ASSERT_EQ(setxattr(FPath.c_str(), "user.zantic.archive", value.data(), value.size(), 0), 0);
  }

  testsupport::TempDir FDir;
  std::string FPath;
};

TEST_F(ArchiveAttribute, FollowsTheFileThroughChanges) {
  EXPECT_TRUE(Archived());
  ASSERT_TRUE(ClearArchiveAttribute(FPath));
  EXPECT_FALSE(Archived());
  std::ofstream(FPath, std::ios::app) << '!';
  EXPECT_TRUE(Archived());

  ASSERT_TRUE(SetFileAttributes(FPath, 0));
  EXPECT_FALSE(Archived());
  const timespec sameSizeNewTime[2] = {{0, UTIME_OMIT}, {12345, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, FPath.c_str(), sameSizeNewTime, 0), 0);
  EXPECT_TRUE(Archived());

  ASSERT_TRUE(ClearArchiveAttribute(FPath));
  ASSERT_TRUE(SetFileAttributes(FPath, kAttrArchive));
  EXPECT_TRUE(Archived());
  EXPECT_TRUE(SetFileAttributes(FPath, kAttrArchive)) << "nothing to forget is no failure";
  EXPECT_FALSE(ClearArchiveAttribute(FDir.Str() + "/missing"));
}

TEST_F(ArchiveAttribute, RestoredMtimeIsCaughtByTheChangeTime) {
  // Putting size and mtime back still moves ctime past the recorded bound;
  // forging an old bound stands in for waiting.
  Forge("1 SIZE MSEC MNSEC BOUND 0", 100);
  EXPECT_FALSE(Archived()) << "the forged layout must be the stored one";
  Forge("1 SIZE MSEC MNSEC BOUND 0", -100);
  EXPECT_TRUE(Archived());
}

// Anyone who can write the file can write the attribute: every malformed
// value must read as "changed" and nothing worse.
class ForgedRecord : public ArchiveAttribute, public ::testing::WithParamInterface<std::string> {};

TEST_P(ForgedRecord, ReadsAsChanged) {
  Forge(GetParam());
  EXPECT_TRUE(Archived()) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    Values, ForgedRecord,
    ::testing::Values(std::string(), "garbage", "1 SIZE MSEC MNSEC BOUND", "1 SIZE MSEC MNSEC BOUND 0 0",
                      "2 SIZE MSEC MNSEC BOUND 0", "1  SIZE MSEC MNSEC BOUND 0", "1 SIZE MSEC MNSEC BOUND 0\n",
                      "1 +SIZE MSEC MNSEC BOUND 0", "1 SIZE MSEC 1000000000 BOUND 0", "1 SIZE MSEC -1 BOUND 0",
                      "1 99999999999999999999999 MSEC MNSEC BOUND 0", std::string("1 SIZE MSEC MNSEC BOUND 0\0", 26),
                      "1 SIZE MSEC MNSEC BOUND 0" + std::string(300, ' ')));

}  // namespace
