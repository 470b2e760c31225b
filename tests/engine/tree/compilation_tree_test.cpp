// Directory operations of the compilation tree: making, finding, forcing and
// removing directories, and the table capacities.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file_find.h"
#include "tree_fixture.h"

namespace {

using treetest::TreeTest;
using Strings = std::vector<std::string>;

class DirOps : public TreeTest {};

TEST_F(DirOps, ResetLeavesOnlyTheRoot) {
  Burner.MakeCompilationDir("\\", "Work");
  Burner.AddFileToCompilation("\\Work", Dir.Write("a.txt", "abc"), false);
  ASSERT_EQ(Burner.CompilationEntryCount(), 2u);

  EXPECT_TRUE(Burner.ResetCompilation(600000, 20000));
  EXPECT_EQ(Burner.CompilationDirCount(), 0u);
  EXPECT_EQ(Burner.CompilationEntryCount(), 0u);
  EXPECT_EQ(Burner.FindCompilationDir("\\Work"), nullptr);
  const iso::TDEntry* root = Burner.FindCompilationDir("\\");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->IsoName, "CD_ROOT");
  EXPECT_EQ(root->LongName, "CD Root Directory");
  EXPECT_EQ(root->PathKey, "\\");
  EXPECT_EQ(root->Parent, root);
  EXPECT_EQ(root->FirstChild, nullptr);
  // A name used before the reset can be made again.
  EXPECT_NE(Burner.MakeCompilationDir("\\", "Work"), nullptr);
}

TEST_F(DirOps, DirectoryCapacityIsClampedToSixteenBitParentNumbers) {
  Burner.ResetCompilation(100, 70000);
  EXPECT_EQ(Burner.Tables().MaxDirs(), 65535u);
  Burner.ResetCompilation(100, 20000);
  EXPECT_EQ(Burner.Tables().MaxDirs(), 20000u);
}

TEST_F(DirOps, MakeDirBuildsKeysAndBothRecords) {
  iso::TDEntry* work = Burner.MakeCompilationDir("\\", "Work");
  ASSERT_NE(work, nullptr);
  iso::TDEntry* docs = Burner.MakeCompilationDir("\\Work", "\\Docs\\");  // one leading and trailing "\" go
  ASSERT_NE(docs, nullptr);
  EXPECT_EQ(work->PathKey, "\\WORK");
  EXPECT_EQ(docs->PathKey, "\\WORK\\DOCS");
  EXPECT_EQ(docs->Parent, work);
  EXPECT_EQ(docs->LongName, "Docs");
  EXPECT_EQ(Burner.CompilationDirCount(), 2u);
  EXPECT_EQ(Burner.CompilationEntryCount(), 2u);

  const iso::TFEntry* e = Entry("\\Work", "docs");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->DirEntry, docs);
  EXPECT_EQ(e->LongName, "Docs");
  EXPECT_EQ(e->IsoName, "DOCS");
  EXPECT_EQ(e->Attributes, platform::kAttrDirectory);
  EXPECT_EQ(e->SourcePath, "");
  EXPECT_GT(e->DateTime, 36526.0);  // made now, well after 2000
}

TEST_F(DirOps, MakeDirWithExistingNameReturnsTheExistingDirectory) {
  iso::TDEntry* first = Burner.MakeCompilationDir("\\", "Music");
  EXPECT_EQ(Burner.MakeCompilationDir("\\", "Music"), first);
  EXPECT_EQ(Burner.MakeCompilationDir("\\", "MUSIC"), first);
  EXPECT_EQ(first->LongName, "Music");
  EXPECT_EQ(Burner.CompilationDirCount(), 1u);
  EXPECT_EQ(Burner.CompilationEntryCount(), 1u);
}

TEST_F(DirOps, MakeDirRefusesNamesThatCannotBeWritten) {
  Burner.MakeCompilationDir("\\", "Sub");
  for (const char* name : {"", "\\", "\\\\"}) {
    EXPECT_EQ(Burner.MakeCompilationDir("\\", name), nullptr) << name;
    EXPECT_EQ(Burner.MakeCompilationDir("\\Sub", name), nullptr) << name;
  }
  // A name taken by a file in the same directory would appear twice on the disc.
  ASSERT_EQ(Burner.AddFileToCompilation("\\Sub", Dir.Write("x.txt", "x"), false), 1);
  EXPECT_EQ(Burner.MakeCompilationDir("\\Sub", "X.TXT"), nullptr);
  EXPECT_EQ(Names(Burner.FindCompilationDir("\\Sub")), Strings{"x.txt"});
  EXPECT_EQ(Burner.CompilationDirCount(), 1u);
}

TEST_F(DirOps, MakeDirInMissingDestinationIsReported) {
  EXPECT_EQ(Burner.MakeCompilationDir("\\Nowhere", "x"), nullptr);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, "INVALID DESTINATION PATH");
  EXPECT_EQ(Messages[0].Kind, 4);
  EXPECT_EQ(Burner.CompilationEntryCount(), 0u);
}

TEST_F(DirOps, FindIgnoresCaseAndOneTrailingBackslash) {
  iso::TDEntry* docs = Burner.ForceCompilationPath("\\Work\\Docs");
  ASSERT_NE(docs, nullptr);
  EXPECT_EQ(Burner.FindCompilationDir(""), Burner.Tables().Root());
  EXPECT_EQ(Burner.FindCompilationDir("\\"), Burner.Tables().Root());
  EXPECT_EQ(Burner.FindCompilationDir("\\work\\docs"), docs);
  EXPECT_EQ(Burner.FindCompilationDir("\\WORK\\Docs\\"), docs);
  EXPECT_EQ(Burner.FindCompilationDir("\\Work\\Doc"), nullptr);
  EXPECT_EQ(Burner.FindCompilationDir("Work\\Docs"), nullptr);  // keys start with "\"
}

TEST_F(DirOps, ForceCreatesOnlyWhatIsMissing) {
  iso::TDEntry* a = Burner.MakeCompilationDir("\\", "Alpha");
  iso::TDEntry* c = Burner.ForceCompilationPath("\\ALPHA\\beta\\Gamma\\");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->PathKey, "\\ALPHA\\BETA\\GAMMA");
  EXPECT_EQ(c->Parent->Parent, a);
  EXPECT_EQ(Names(a), Strings{"beta"});
  EXPECT_EQ(Burner.CompilationDirCount(), 3u);
  EXPECT_EQ(Burner.ForceCompilationPath("\\alpha\\BETA\\gamma"), c);
  EXPECT_EQ(Burner.CompilationDirCount(), 3u);
}

TEST_F(DirOps, RemovingTheRootIsRefused) {
  Burner.MakeCompilationDir("\\", "Keep");
  EXPECT_FALSE(Burner.RemoveCompilationDir(Burner.Tables().Root()));
  EXPECT_EQ(Burner.CompilationDirCount(), 1u);
}

TEST_F(DirOps, RemovingADirectoryRemovesItsWholeSubtreeFromEveryTable) {
  Burner.ForceCompilationPath("\\A\\B\\C");
  Burner.ForceCompilationPath("\\A\\B2");
  Burner.ForceCompilationPath("\\Z");
  const std::string file = Dir.Write("f.txt", "data");
  ASSERT_EQ(Burner.AddFileToCompilation("\\A\\B\\C", file, false), 1);
  ASSERT_EQ(Burner.AddFileToCompilation("\\A", file, false), 1);
  ASSERT_EQ(Burner.AddFileToCompilation("\\Z", file, false), 1);
  ASSERT_EQ(Burner.CompilationDirCount(), 5u);
  ASSERT_EQ(Burner.CompilationEntryCount(), 8u);

  ASSERT_TRUE(Burner.RemoveCompilationDir(Burner.FindCompilationDir("\\A\\B")));
  for (const char* gone : {"\\A\\B", "\\A\\B\\C"}) EXPECT_EQ(Burner.FindCompilationDir(gone), nullptr) << gone;
  EXPECT_EQ(Burner.CompilationDirCount(), 3u);   // A, B2, Z
  EXPECT_EQ(Burner.CompilationEntryCount(), 5u);  // A, B2, A\f.txt, Z, Z\f.txt
  EXPECT_EQ(Names(Burner.FindCompilationDir("\\A")), (Strings{"B2", "f.txt"}));

  // What is left stays consistent: every directory is referred to by its own
  // entry, and table positions follow the directory table.
  const auto& dirs = Burner.Tables().Dirs();
  for (std::size_t i = 0; i < dirs.size(); ++i) {
    EXPECT_EQ(dirs[i]->TableIndex, i);
    if (i > 0) {
      EXPECT_EQ(dirs[i]->Self->DirEntry, dirs[i].get());
    }
  }
  for (const auto& f : Burner.Tables().Files()) EXPECT_NE(f->Owner->PathKey.rfind("\\A\\B\\", 0), 0u);

  // The removed names are free again.
  EXPECT_NE(Burner.ForceCompilationPath("\\A\\B\\C"), nullptr);
  EXPECT_EQ(Names(Burner.FindCompilationDir("\\A")), (Strings{"B2", "f.txt", "B"}));
}

TEST_F(DirOps, RemoveEntryFindsTheNameWithoutCase) {
  const std::string file = Dir.Write("Report.txt", "x");
  Burner.MakeCompilationDir("\\", "D");
  ASSERT_EQ(Burner.AddFileToCompilation("\\D", file, false), 1);
  EXPECT_FALSE(Burner.RemoveCompilationEntry("\\D", "other.txt"));
  EXPECT_FALSE(Burner.RemoveCompilationEntry("\\Missing", "report.txt"));
  EXPECT_TRUE(Burner.RemoveCompilationEntry("\\d", "REPORT.TXT"));
  EXPECT_EQ(Burner.CompilationEntryCount(), 1u);
  EXPECT_EQ(Burner.FindCompilationDir("\\D")->FirstChild, nullptr);
  // Removing a subdirectory by name takes its directory record with it.
  EXPECT_TRUE(Burner.RemoveCompilationEntry("\\", "d"));
  EXPECT_EQ(Burner.CompilationDirCount(), 0u);
}

class FullTables : public TreeTest {
 protected:
  void SetUp() override { Burner.ResetCompilation(5, 3); }
};

TEST_F(FullTables, DirectoryTableCountsTheRoot) {
  ASSERT_NE(Burner.MakeCompilationDir("\\", "one"), nullptr);
  ASSERT_NE(Burner.MakeCompilationDir("\\", "two"), nullptr);
  EXPECT_TRUE(Messages.empty());
  EXPECT_EQ(Burner.MakeCompilationDir("\\", "three"), nullptr);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, ">>> MAXIMUM DIRECTORIES CAN BE 3");
  EXPECT_EQ(Messages[0].Kind, 3);
  EXPECT_EQ(Burner.CompilationDirCount(), 2u);
  EXPECT_EQ(Burner.CompilationEntryCount(), 2u);
  EXPECT_EQ(Names(Burner.Tables().Root()), (Strings{"one", "two"}));
  // An existing directory is still found when the table is full.
  EXPECT_NE(Burner.MakeCompilationDir("\\", "ONE"), nullptr);
}

TEST_F(FullTables, FileTableFullRefusesFilesAndDirectories) {
  const std::string file = Dir.Write("f.txt", "x");
  ASSERT_NE(Burner.MakeCompilationDir("\\", "d"), nullptr);
  for (int i = 0; i < 4; ++i) {
    Burner.OnAddFile = [i](engine::TKavoBurner&, const std::string&, std::string& longName, std::string&,
                           iso::TDateTime&, std::uint32_t, std::int64_t, bool&) {
      longName = "f" + std::to_string(i) + ".txt";
    };
    ASSERT_EQ(Burner.AddFileToCompilation("\\d", file, false), 1);
  }
  ASSERT_EQ(Burner.CompilationEntryCount(), 5u);
  Burner.OnAddFile = nullptr;

  EXPECT_EQ(Burner.AddFileToCompilation("\\", file, false), 0);
  EXPECT_EQ(Burner.MakeCompilationDir("\\", "e"), nullptr);
  ASSERT_EQ(Messages.size(), 2u);
  for (const auto& m : Messages) {
    EXPECT_EQ(m.Text, "MAXIMUM FILES CAN BE 5");
    EXPECT_EQ(m.Kind, 3);
  }
  EXPECT_EQ(Burner.CompilationEntryCount(), 5u);
  EXPECT_EQ(Burner.CompilationDirCount(), 1u);
  EXPECT_EQ(Burner.Tables().Root()->FirstChild->Next, nullptr);

  // Replacing an entry in place needs no new slot.
  Burner.SetReplaceFile(true);
  Burner.OnAddFile = [](engine::TKavoBurner&, const std::string&, std::string& longName, std::string&,
                        iso::TDateTime&, std::uint32_t, std::int64_t, bool&) { longName = "F0.TXT"; };
  EXPECT_EQ(Burner.AddFileToCompilation("\\d", file, false), 1);
  EXPECT_EQ(Names(Burner.FindCompilationDir("\\d")).front(), "F0.TXT");
}

// Directories made by name get their ISO name from the short-name rule.
struct ShortNameCase {
  const char* Name;
  const char* Iso;
};

class MadeDirIsoName : public TreeTest, public ::testing::WithParamInterface<ShortNameCase> {};

TEST_P(MadeDirIsoName, FollowsTheShortNameRule) {
  const iso::TDEntry* d = Burner.MakeCompilationDir("\\", GetParam().Name);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->IsoName, GetParam().Iso);
  EXPECT_EQ(d->Self->IsoName, GetParam().Iso);
  EXPECT_EQ(d->LongName, GetParam().Name);
}

INSTANTIATE_TEST_SUITE_P(Names, MadeDirIsoName,
                         ::testing::Values(ShortNameCase{"My {Docs}", "MY__DOCS_"},
                                           ShortNameCase{"abcdefghijklmnopqrst", "ABCDEFGHIJKLM"},
                                           ShortNameCase{"!az{x}|~\x7F", "!AZ_X____"},  // ends of the kept range
                                           ShortNameCase{"a\tb", "A_B"},
                                           ShortNameCase{"Photos 2020!#", "PHOTOS_2020!#"},
                                           // characters count, not bytes
                                           ShortNameCase{"caf\xC3\xA9 menu \xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9",
                                                         "CAF__MENU____"}));

}  // namespace
