// Adding folders: recursion, the handlers, masks, links, the archive-only
// flow, and measuring source sizes.
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file_find.h"
#include "tree_fixture.h"

namespace {

using treetest::TreeTest;
using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

constexpr std::uint32_t kAllAttributes = 63;

class FolderAdd : public TreeTest {
 protected:
  std::uint8_t AddSrc(const std::string& dest, std::uint32_t mask = kAllAttributes, const std::string& fileMask = "*.*",
                      bool recurse = true, bool archiveOnly = false) {
    return Burner.AddFolderToCompilation(dest, Src("src"), archiveOnly, false, recurse, mask, fileMask);
  }
  // Listing order is the file system's, so compare names as sets.
  static Strings Sorted(Strings v) {
    std::sort(v.begin(), v.end());
    return v;
  }
  Strings SortedNames(const std::string& path) const {
    const iso::TDEntry* d = Burner.FindCompilationDir(path);
    return d == nullptr ? Strings{"<missing>"} : Sorted(Names(d));
  }
};

TEST_F(FolderAdd, RecursesIntoSubfoldersAndRecordsSources) {
  Dir.Write("src/a.txt", "aa");
  Dir.Write("src/docs/b.txt", "bbb");
  Dir.Write("src/docs/deep/c", "c");
  Burner.MakeCompilationDir("\\", "Dest");
  ASSERT_EQ(AddSrc("\\Dest"), 1);
  EXPECT_EQ(SortedNames("\\Dest"), (Strings{"a.txt", "docs"}));
  EXPECT_EQ(SortedNames("\\Dest\\Docs"), (Strings{"b.txt", "deep"}));
  EXPECT_EQ(SortedNames("\\dest\\docs\\deep"), Strings{"c."});
  const iso::TFEntry* b = Entry("\\Dest\\docs", "b.txt");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->SourcePath, Src("src/docs/b.txt"));
  EXPECT_EQ(b->SourceSize, 3);
  const iso::TFEntry* deep = Entry("\\Dest\\docs", "deep");
  EXPECT_EQ(deep->IsoName, "DEEP");
  EXPECT_NE(deep->Attributes & platform::kAttrDirectory, 0u);
  EXPECT_EQ(Burner.CompilationDirCount(), 3u);
}

TEST_F(FolderAdd, WithoutRecurseOnlyTheFilesGoIn) {
  Dir.Write("src/a.txt", "a");
  Dir.Write("src/sub/b.txt", "b");
  ASSERT_EQ(AddSrc("\\", kAllAttributes, "*.*", false), 1);
  EXPECT_EQ(Names(Burner.Tables().Root()), Strings{"a.txt"});
  EXPECT_EQ(Burner.CompilationDirCount(), 0u);
}

TEST_F(FolderAdd, FoldersLeftWithoutEntriesAreRemoved) {
  Dir.Write("src/keep.txt", "k");
  Dir.Write("src/temp/x.tmp", "x");
  Dir.Write("src/temp/inner/y.tmp", "y");
  Dir.MakeDir("src/empty");
  Dir.Write("src/mixed/z.tmp", "z");
  Dir.Write("src/mixed/z.txt", "z");
  Burner.OnAddFile = [](engine::TKavoBurner&, const std::string&, std::string& longName, std::string&,
                        iso::TDateTime&, std::uint32_t, std::int64_t, bool& skip) {
    skip = longName.ends_with(".tmp");
  };
  ASSERT_EQ(AddSrc("\\"), 1);
  EXPECT_EQ(SortedNames("\\"), (Strings{"keep.txt", "mixed"}));
  EXPECT_EQ(SortedNames("\\mixed"), Strings{"z.txt"});
  for (const char* gone : {"\\temp", "\\temp\\inner", "\\empty"})
    EXPECT_EQ(Burner.FindCompilationDir(gone), nullptr) << gone;
  EXPECT_EQ(Burner.CompilationDirCount(), 1u);
  EXPECT_EQ(Burner.CompilationEntryCount(), 3u);
}

TEST_F(FolderAdd, DirHandlerSkipsAFolderAndCannotRenameIt) {
  Dir.Write("src/private/secret.txt", "s");
  Dir.Write("src/public/open.txt", "o");
  std::vector<std::string> asked;
  Burner.OnAddDir = [&asked](engine::TKavoBurner&, std::string& longName, std::string& shortName, bool& skip) {
    asked.push_back(longName + "|" + shortName + "|" + (skip ? "1" : "0"));
    skip = longName == "private";
    longName = "renamed";
    shortName = "RENAMED";
  };
  ASSERT_EQ(AddSrc("\\"), 1);
  EXPECT_EQ(Sorted(asked), (Strings{"private|PRIVATE|0", "public|PUBLIC|0"}));
  EXPECT_EQ(SortedNames("\\"), Strings{"public"});
  EXPECT_EQ(Entry("\\", "public")->IsoName, "PUBLIC");
  EXPECT_EQ(SortedNames("\\public"), Strings{"open.txt"});
}

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

TEST_F(FolderAdd, OverlongFolderNameIsLeftOutAndTheRestContinues) {
  Dir.Write("src/" + std::string(110, 'd') + "/ok.txt", "1");
  Dir.Write("src/" + std::string(111, 'd') + "/lost.txt", "2");
  Dir.Write("src/z.txt", "3");
  ASSERT_EQ(AddSrc("\\"), 1);
  EXPECT_EQ(SortedNames("\\"), (Strings{std::string(110, 'd'), "z.txt"}));
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Kind, 4);
  EXPECT_EQ(Messages[0].Text.rfind(">>> NAME TOO LONG", 0), 0u) << Messages[0].Text;
}

TEST_F(FolderAdd, SubfolderNamedLikeAnExistingFileIsLeftOut) {
  ASSERT_EQ(Burner.AddFileToCompilation("\\", Dir.Write("Data.txt", "file"), false), 1);
  Dir.Write("src/DATA.TXT/inside.txt", "i");
  Dir.Write("src/other.txt", "o");
  ASSERT_EQ(AddSrc("\\"), 1);
  EXPECT_EQ(SortedNames("\\"), (Strings{"Data.txt", "other.txt"}));
  EXPECT_EQ(Entry("\\", "data.txt")->SourcePath, Src("Data.txt"));
  EXPECT_EQ(Burner.CompilationDirCount(), 0u);
}

TEST_F(FolderAdd, FolderIsoNameIsCutAtACharacterBoundary) {
  std::string name;
  for (int i = 0; i < 80; ++i) name += "\xE2\x82\xAC";  // 240 bytes, 80 units
  Dir.Write("src/" + name + "/f.txt", "f");
  ASSERT_EQ(AddSrc("\\"), 1);
  const iso::TFEntry* e = Entry("\\", name);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->IsoName, name.substr(0, 219));  // 73 whole characters within 220 bytes
  EXPECT_EQ(e->DirEntry->IsoName, e->IsoName);
}

TEST_F(FolderAdd, FullDirectoryTableStopsTheAdd) {
  Dir.Write("src/one/a.txt", "a");
  Dir.Write("src/two/b.txt", "b");
  Burner.ResetCompilation(100, 2);
  EXPECT_EQ(AddSrc("\\"), 0);
  EXPECT_EQ(Burner.CompilationDirCount(), 1u);
  ASSERT_FALSE(Messages.empty());
  EXPECT_EQ(Messages.back().Text, ">>> MAXIMUM DIRECTORIES CAN BE 2");
  EXPECT_EQ(Messages.back().Kind, 3);
}

TEST_F(FolderAdd, MissingSourceFolderFailsAndCreatesNothing) {
  EXPECT_EQ(Burner.AddFolderToCompilation("\\", Src("absent"), false, true, true, kAllAttributes, "*.*"), 0);
  EXPECT_EQ(Burner.CompilationDirCount(), 0u);
  EXPECT_EQ(Burner.AddFolderToCompilation("\\Nope", Src("."), false, false, true, kAllAttributes, "*.*"), 0);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, "INVALID DESTINATION PATH");
  EXPECT_EQ(Messages[0].Kind, 4);
}

TEST_F(FolderAdd, DeriveMirrorsTheSourcePathBelowTheDestination) {
  Dir.Write("src/x.txt", "x");
  Burner.MakeCompilationDir("\\", "Saved");
  ASSERT_EQ(Burner.AddFolderToCompilation("\\Saved", Src("src/"), false, true, true, kAllAttributes, "*.*"), 1);
  std::string key = Src("src");
  for (auto& ch : key) ch = ch == '/' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  EXPECT_EQ(SortedNames("\\SAVED" + key), Strings{"x.txt"});
}

TEST_F(FolderAdd, ThousandsOfEntriesInOneDirectoryStayFindable) {
  const std::string src = Dir.Write("one.dat", "1");
  int n = 0;
  Burner.OnAddFile = [&n](engine::TKavoBurner&, const std::string&, std::string& longName, std::string&,
                          iso::TDateTime&, std::uint32_t, std::int64_t, bool&) {
    longName = "Entry" + std::to_string(n) + ".dat";
  };
  for (n = 0; n < 5000; ++n) ASSERT_EQ(Burner.AddFileToCompilation("\\", src, false), 1);
  EXPECT_EQ(Burner.CompilationEntryCount(), 5000u);
  const iso::TDEntry* root = Burner.Tables().Root();
  for (int i : {0, 1234, 4999}) {
    const iso::TFEntry* e = Burner.Tables().FindEntry(*root, "ENTRY" + std::to_string(i) + ".DAT");
    ASSERT_NE(e, nullptr) << i;
    EXPECT_EQ(e->LongName, "Entry" + std::to_string(i) + ".dat");
  }
  EXPECT_EQ(Burner.Tables().FindEntry(*root, "entry5000.dat"), nullptr);
  n = 77;  // a duplicate in other case is refused
  EXPECT_EQ(Burner.AddFileToCompilation("\\", src, false), 0);
  EXPECT_TRUE(Burner.RemoveCompilationEntry("\\", "entry2500.DAT"));
  EXPECT_EQ(Burner.Tables().FindEntry(*root, "entry2500.dat"), nullptr);
  n = 2500;
  EXPECT_EQ(Burner.AddFileToCompilation("\\", src, false), 1);
  EXPECT_EQ(Names(root).back(), "Entry2500.dat");
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

class MeasureSize : public TreeTest {};

TEST_F(MeasureSize, FoldersFilesAndPatterns) {
  Dir.Write("m/a.txt", std::string(100, 'a'));
  Dir.Write("m/.h", std::string(7, 'h'));
  Dir.Write("m/sub/b.bin", std::string(20, 'b'));
  Dir.Write("m/sub/deeper/c.txt", std::string(3, 'c'));
  EXPECT_EQ(Burner.MeasureSourceSize(Src("m/")), 130);
  EXPECT_EQ(Burner.MeasureSourceSize(Src("m/sub/")), 23);
  EXPECT_EQ(Burner.MeasureSourceSize(Src("m/a.txt")), 100);
  EXPECT_EQ(Burner.MeasureSourceSize(Src("m")), 0);  // a folder needs its trailing separator
  EXPECT_EQ(Burner.MeasureSourceSize(Src("m/*.txt")), 100);
  EXPECT_EQ(Burner.MeasureSourceSize(Src("m/absent.txt")), 0);
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
