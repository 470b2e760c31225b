// Adding folders: recursion, the handlers, folder names, and measuring
// source sizes. Masks over Linux attributes, links and the archive-only flow
// are in folder_add_linux_test.cpp.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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
  // The file system's alias where it gives one, else 73 whole characters within 220 bytes.
  platform::FindData found;
  ASSERT_TRUE(platform::GetFileInfo(Src("src/" + name), found));
  EXPECT_EQ(e->IsoName, found.AlternateName.empty() ? name.substr(0, 219) : found.AlternateName);
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
  if (key.size() >= 2 && key[1] == ':') key.erase(0, 2);  // a drive letter stays out
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

}  // namespace
