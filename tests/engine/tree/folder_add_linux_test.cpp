// Adding folders where Linux decides: attributes derived from names and
// file types, symbolic links, and the archive attribute kept in an extended
// attribute.
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/file_find.h"
#include "tree_fixture.h"

namespace {

using treetest::FolderAdd;
using treetest::kAllAttributes;
using treetest::MeasureSize;
using treetest::Strings;
using treetest::TreeTest;
namespace fs = std::filesystem;

TEST_F(FolderAdd, AttributeAndFileMasksSelectFiles) {
  Dir.Write("src/.hidden.txt", "h");
  Dir.Write("src/note.txt", "n");
  Dir.Write("src/data.bin", "d");
  Dir.Write("src/sub/inner.TXT", "i");
  Dir.Write("src/sub/inner.dat", "i");
  ASSERT_EQ(mkfifo(Src("src/pipe.txt").c_str(), 0600), 0);  // system: never read by a plain mask

  ASSERT_EQ(AddSrc("\\", platform::kAttrReadOnly | platform::kAttrArchive, "*.txt"), 1);
  EXPECT_EQ(SortedNames("\\"), (Strings{"note.txt", "sub"}));
  EXPECT_EQ(SortedNames("\\sub"), Strings{"inner.TXT"});

  Burner.ResetCompilation(100, 100);
  ASSERT_EQ(AddSrc("\\", platform::kAttrHidden | platform::kAttrArchive, ""), 1);  // empty mask: every file
  EXPECT_EQ(SortedNames("\\"), (Strings{".hidden.txt", "data.bin", "note.txt", "sub"}));
}

TEST_F(FolderAdd, FolderThatContainsItselfIsLeftOut) {
  Dir.Write("src/a.txt", "a");
  Dir.Write("src/sub/b.txt", "b");
  fs::create_directory_symlink("..", Src("src/sub/up"));
  fs::create_symlink(Src("src/a.txt"), Src("src/sub/link.txt"));
  ASSERT_EQ(AddSrc("\\"), 1);
  EXPECT_EQ(SortedNames("\\sub"), (Strings{"b.txt", "link.txt"}));
  EXPECT_EQ(Entry("\\sub", "link.txt")->SourceSize, 1);  // the link is followed
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Kind, 4);
  EXPECT_NE(Messages[0].Text.find("CONTAINS ITSELF"), std::string::npos) << Messages[0].Text;
  EXPECT_NE(Messages[0].Text.find(Src("src/sub/up")), std::string::npos) << Messages[0].Text;
}

// The archive attribute lives in an extended attribute on Linux.
class ArchiveOnly : public FolderAdd {
 protected:
  void SetUp() override {
    const std::string probe = Dir.Write("probe", "");
    if (setxattr(probe.c_str(), "user.zantic.probe", "1", 1, 0) != 0 && errno == ENOTSUP)
      GTEST_SKIP() << "the scratch file system keeps no user extended attributes";
    fs::remove(probe);
  }
  bool Archived(const std::string& relative) {
    platform::FindData fd;
    EXPECT_TRUE(platform::GetFileInfo(Src(relative), fd));
    return (fd.Attributes & platform::kAttrArchive) != 0;
  }
};

TEST_F(ArchiveOnly, OnlyChangedFilesGoInAndOnlyTheyAreCleared) {
  for (const char* f : {"src/new.txt", "src/old.txt", "src/sub/new2.txt", "src/skipped.txt"}) {
    Dir.Write(f, "content");
    ASSERT_TRUE(Archived(f)) << f;  // never burnt
  }
  ASSERT_TRUE(platform::ClearArchiveAttribute(Src("src/old.txt")));
  Burner.OnAddFile = [](engine::TKavoBurner&, const std::string&, std::string& longName, std::string&,
                        iso::TDateTime&, std::uint32_t, std::int64_t, bool& skip) { skip = longName == "skipped.txt"; };

  ASSERT_EQ(AddSrc("\\", kAllAttributes, "*.*", true, true), 1);
  EXPECT_EQ(SortedNames("\\"), (Strings{"new.txt", "sub"}));
  EXPECT_TRUE(Entry("\\", "new.txt")->ClearArchive);
  EXPECT_TRUE(Entry("\\sub", "new2.txt")->ClearArchive);
  // Files added without archive-only are not cleared.
  const std::string plain = Dir.Write("plain.txt", "p");
  ASSERT_EQ(Burner.AddFileToCompilation("\\", plain, false), 1);

  EXPECT_TRUE(Burner.ClearArchiveFlags());
  EXPECT_FALSE(Archived("src/new.txt"));
  EXPECT_FALSE(Archived("src/sub/new2.txt"));
  EXPECT_TRUE(Archived("src/skipped.txt"));
  EXPECT_TRUE(Archived("plain.txt"));

  std::ofstream(Src("src/new.txt"), std::ios::app) << "more";
  EXPECT_TRUE(Archived("src/new.txt"));
  Burner.OnAddFile = nullptr;
  Burner.ResetCompilation(100, 100);
  ASSERT_EQ(AddSrc("\\", kAllAttributes, "*.*", true, true), 1);
  EXPECT_EQ(SortedNames("\\"), (Strings{"new.txt", "skipped.txt"}));
}

TEST_F(MeasureSize, SizesAreSixtyFourBitAndLoopsCountOnce) {
  const std::string big = Dir.Write("m/big.bin", "");
  fs::resize_file(big, 0x140000000ull);  // 5 GiB, sparse
  Dir.Write("m/sub/s.txt", "12345");
  fs::create_directory_symlink("..", Src("m/sub/up"));
  EXPECT_EQ(Burner.MeasureSourceSize(big), 0x140000000ll);
  EXPECT_EQ(Burner.MeasureSourceSize(Src("m/")), 0x140000000ll + 5);
}

}  // namespace

namespace {

// With Rock Ridge, links are recorded as links (unless followed on request),
// names up to 255 bytes are taken, and the POSIX attributes come along.
TEST_F(FolderAdd, RockRidgeKeepsLinksLongNamesAndModes) {
  const std::string longName = std::string(200, 'w') + ".txt";
  Dir.Write("src/" + longName, "long");
  Dir.Write("src/target.txt", "target");
  ASSERT_EQ(chmod(Src("src/target.txt").c_str(), 0640), 0);
  fs::create_symlink("target.txt", Src("src/link.txt"));
  fs::create_symlink("/nowhere/at/all", Src("src/dangling"));
  fs::create_directory_symlink(".", Src("src/up"));  // followed: a folder inside itself

  struct Case {
    bool RockRidge, Follow;
    Strings Names;
  };
  for (const Case& c : {Case{true, false, {"dangling.", "link.txt", "target.txt", "up.", longName}},
                        Case{true, true, {"link.txt", "target.txt", longName}},
                        Case{false, false, {"link.txt", "target.txt"}}}) {
    Burner.ResetCompilation(100, 100);
    Burner.SetRockRidge(c.RockRidge);
    Burner.SetFollowLinks(c.Follow);
    AddSrc("\\");
    EXPECT_EQ(SortedNames("\\"), c.Names) << c.RockRidge << c.Follow;
    const iso::TFEntry* link = Entry("\\", "link.txt");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->IsSymlink(), c.RockRidge && !c.Follow);
    EXPECT_EQ(link->SourceSize, link->IsSymlink() ? 0 : 6);
    if (link->IsSymlink()) {
      EXPECT_EQ(link->Extra->SymlinkTarget, "target.txt");
    }
    EXPECT_EQ(Entry("\\", "target.txt")->Mode & 07777, 0640u);
  }
}

}  // namespace
