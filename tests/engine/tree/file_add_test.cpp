// The add rules for single files: names, replacement, the add handler, and
// what a directory record cannot describe.
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/iso/date_time.h"
#include "platform/file_find.h"
#include "tree_fixture.h"

namespace {

using treetest::TreeTest;
using Strings = std::vector<std::string>;

class FileAdd : public TreeTest {
 protected:
  // Sets a handler that records the values it was given and applies the
  // changes the test asks for.
  struct Seen {
    int Calls = 0;
    std::string FullPath, LongName, ShortName;
    std::uint32_t Attr = 0;
    std::int64_t Size = -1;
    bool Skip = false;
  };
  void Handler(Seen& seen, std::string newLong = {}, std::string newShort = {}, int clearSkip = 0) {
    Burner.OnAddFile = [&seen, newLong, newShort, clearSkip](engine::TKavoBurner&, const std::string& fullPath,
                                                             std::string& longName, std::string& shortName,
                                                             iso::TDateTime&, std::uint32_t attr,
                                                             std::int64_t size, bool& skip) {
      seen = {seen.Calls + 1, fullPath, longName, shortName, attr, size, skip};
      if (!newLong.empty()) longName = newLong;
      if (!newShort.empty()) shortName = newShort;
      if (clearSkip != 0) skip = false;
    };
  }
};

TEST_F(FileAdd, NameWithoutDotGetsOneInBothNames) {
  const std::string src = Dir.Write("readme", "hello");
  ASSERT_EQ(Burner.AddFileToCompilation("\\", src, false), 1);
  const iso::TFEntry* e = Entry("\\", "readme.");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->LongName, "readme.");
  EXPECT_EQ(e->IsoName, "README.");
  EXPECT_EQ(e->SourcePath, src);
  EXPECT_EQ(e->SourceSize, 5);
  EXPECT_EQ(e->RecordedSize, 5);
  EXPECT_FALSE(e->Imported);
  EXPECT_FALSE(e->ClearArchive);
  EXPECT_EQ(e->DirEntry, nullptr);
}

TEST_F(FileAdd, MissingSourceGives255WithoutAMessage) {
  EXPECT_EQ(Burner.AddFileToCompilation("\\", Src("absent.txt"), false), 255);
  EXPECT_TRUE(Messages.empty());
  EXPECT_EQ(Burner.CompilationEntryCount(), 0u);
}

TEST_F(FileAdd, WildcardCharactersInANameAreNotAPattern) {
  // "?" is an ordinary character in a Linux file name: the lookup must not
  // pick a different file that the name would match as a pattern.
  Dir.Write("notesX.txt", "other file");
  EXPECT_EQ(Burner.AddFileToCompilation("\\", Src("notes?.txt"), false), 255);
  EXPECT_EQ(Burner.CompilationEntryCount(), 0u);

  if (!platform::IsValidFileName("notes?.txt")) return;  // Windows allows no such name
  const std::string literal = Dir.Write("notes?.txt", "mine");
  ASSERT_EQ(Burner.AddFileToCompilation("\\", literal, false), 1);
  ASSERT_EQ(Names(Burner.Tables().Root()), Strings{"notes?.txt"});
  EXPECT_EQ(Burner.Tables().Root()->FirstChild->SourceSize, 4);
}

TEST_F(FileAdd, MissingDestinationIsReported) {
  EXPECT_EQ(Burner.AddFileToCompilation("\\No\\Such", Dir.Write("a.txt", "x"), false), 0);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, "INVALID DESTINATION PATH");
  EXPECT_EQ(Messages[0].Kind, 4);
  EXPECT_EQ(Burner.CompilationEntryCount(), 0u);
}

TEST_F(FileAdd, SameNameInOtherCaseIsRefusedWithoutReplace) {
  Burner.AddFileToCompilation("\\", Dir.Write("one/Data.TXT", "first"), false);
  Burner.AddFileToCompilation("\\", Dir.Write("x.txt", "x"), false);
  EXPECT_EQ(Burner.AddFileToCompilation("\\", Dir.Write("two/data.txt", "second!"), false), 0);
  EXPECT_EQ(Names(Burner.Tables().Root()), (Strings{"Data.TXT", "x.txt"}));
  EXPECT_EQ(Entry("\\", "data.txt")->SourcePath, Src("one/Data.TXT"));
  EXPECT_EQ(Entry("\\", "data.txt")->SourceSize, 5);
}

TEST_F(FileAdd, ReplaceUpdatesTheEntryInPlace) {
  Burner.SetReplaceFile(true);
  Burner.AddFileToCompilation("\\", Dir.Write("one/Data.TXT", "first"), false);
  Burner.AddFileToCompilation("\\", Dir.Write("x.txt", "x"), false);
  const iso::TFEntry* before = Entry("\\", "data.txt");
  ASSERT_EQ(Burner.AddFileToCompilation("\\", Dir.Write("two/data.txt", "second!"), false), 1);
  EXPECT_EQ(Names(Burner.Tables().Root()), (Strings{"data.txt", "x.txt"}));
  EXPECT_EQ(Burner.CompilationEntryCount(), 2u);
  const iso::TFEntry* after = Entry("\\", "DATA.TXT");
  EXPECT_EQ(after, before);
  EXPECT_EQ(after->SourcePath, Src("two/data.txt"));
  EXPECT_EQ(after->SourceSize, 7);
  EXPECT_EQ(after->IsoName, "DATA.TXT");
}

TEST_F(FileAdd, FileNeverReplacesADirectory) {
  Burner.SetReplaceFile(true);
  iso::TDEntry* dir = Burner.MakeCompilationDir("\\", "notes.txt");
  EXPECT_EQ(Burner.AddFileToCompilation("\\", Dir.Write("notes.txt", "x"), false), 0);
  const iso::TFEntry* e = Entry("\\", "notes.txt");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->DirEntry, dir);
  EXPECT_EQ(e->SourcePath, "");
  EXPECT_EQ(Burner.CompilationEntryCount(), 1u);
}

TEST_F(FileAdd, HandlerSeesTheEntryAndItsChangesAreKept) {
  const std::string src = Dir.Write("photo.jpeg", "12345678");
  Seen seen;
  Handler(seen, "Holiday.jpeg", "hol.jpg");
  const iso::TDateTime when = *iso::EncodeDateTime({2001, 2, 3, 4, 5, 6, 0});
  auto inner = Burner.OnAddFile;
  Burner.OnAddFile = [&](engine::TKavoBurner& b, const std::string& p, std::string& l, std::string& s,
                         iso::TDateTime& d, std::uint32_t a, std::int64_t z, bool& k) {
    inner(b, p, l, s, d, a, z, k);
    d = when;
  };
  ASSERT_EQ(Burner.AddFileToCompilation("\\", src, false), 1);
  EXPECT_EQ(seen.Calls, 1);
  EXPECT_EQ(seen.FullPath, src);
  EXPECT_EQ(seen.LongName, "photo.jpeg");
  // The file system's 8.3 alias; where it gives none, the long name uppercased.
  platform::FindData found;
  ASSERT_TRUE(platform::GetFileInfo(src, found));
  EXPECT_EQ(seen.ShortName, found.AlternateName.empty() ? "PHOTO.JPEG" : found.AlternateName);
  EXPECT_EQ(seen.Size, 8);
  EXPECT_NE(seen.Attr & platform::kAttrArchive, 0u);
  EXPECT_FALSE(seen.Skip);
  const iso::TFEntry* e = Entry("\\", "holiday.jpeg");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->IsoName, "HOL.JPG");
  EXPECT_EQ(e->DateTime, when);
}

TEST_F(FileAdd, NameIsLookedUpAgainAfterTheHandlerRenames) {
  Burner.AddFileToCompilation("\\", Dir.Write("a.txt", "a"), false);
  Seen seen;
  Handler(seen, "A.TXT");
  EXPECT_EQ(Burner.AddFileToCompilation("\\", Dir.Write("b.txt", "b"), false), 0);
  EXPECT_EQ(Names(Burner.Tables().Root()), Strings{"a.txt"});
  EXPECT_EQ(Entry("\\", "a.txt")->SourcePath, Src("a.txt"));
}

// A Joliet record holds 110 UTF-16 units: names up to 108 keep ";1", 109 and
// 110 go without it, longer ones cannot be recorded. Names over 109 are
// skipped before the handler is asked, and reported unless the handler
// clears Skip.
struct LengthCase {
  int Units;        // UTF-16 units of the name, ".txt" included
  bool FourByte;    // build it from characters outside the BMP
  int ClearSkip;    // the handler clears Skip
  bool SkipBefore;  // Skip as the handler receives it
  bool Added;
  bool Reported;
};

class NameLength : public FileAdd, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(NameLength, DecidesByUtf16Units) {
  const LengthCase& c = GetParam();
  const int stem = c.Units - 4;
  std::string name;
  if (c.FourByte)
    for (int i = 0; i < stem / 2; ++i) name += "\xF0\x9F\x8E\xB5";  // one character, two units
  else
    name.assign(static_cast<std::size_t>(stem), 'n');
  name += ".txt";
  Seen seen;
  Handler(seen, {}, {}, c.ClearSkip);
  const auto result = Burner.AddFileToCompilation("\\", Dir.Write(name, "x"), false);
  EXPECT_EQ(seen.Skip, c.SkipBefore);
  EXPECT_EQ(result, c.Added ? 1 : 0);
  EXPECT_EQ(Burner.CompilationEntryCount(), c.Added ? 1u : 0u);
  ASSERT_EQ(Messages.size(), c.Reported ? 1u : 0u);
  if (c.Reported) {
    EXPECT_EQ(Messages[0].Kind, 4);
    EXPECT_EQ(Messages[0].Text.rfind(">>> NAME TOO LONG", 0), 0u) << Messages[0].Text;
  }
}

INSTANTIATE_TEST_SUITE_P(Units, NameLength,
                         ::testing::Values(LengthCase{108, false, 0, false, true, false},
                                           LengthCase{109, false, 0, false, true, false},
                                           LengthCase{110, false, 0, true, false, true},
                                           LengthCase{110, false, 1, true, true, false},
                                           LengthCase{112, false, 1, true, false, true},
                                           LengthCase{108, true, 0, false, true, false},
                                           LengthCase{110, true, 0, true, false, true}),
                         [](const ::testing::TestParamInfo<LengthCase>& p) {
                           return std::to_string(p.param.Units) + (p.param.FourByte ? "Wide" : "Ascii") +
                                  (p.param.ClearSkip != 0 ? "Cleared" : "");
                         });

TEST_F(FileAdd, HandlerCanRescueALongNameByShorteningIt) {
  Seen seen;
  Handler(seen, "short.txt", {}, 1);
  ASSERT_EQ(Burner.AddFileToCompilation("\\", Dir.Write(std::string(120, 'q') + ".txt", "x"), false), 1);
  EXPECT_TRUE(seen.Skip);
  EXPECT_EQ(Names(Burner.Tables().Root()), Strings{"short.txt"});
}

TEST_F(FileAdd, IsoNameIsCutAtACharacterBoundary) {
  std::string euros;
  for (int i = 0; i < 90; ++i) euros += "\xE2\x82\xAC";  // 270 bytes
  Seen seen;
  Handler(seen, {}, euros);
  ASSERT_EQ(Burner.AddFileToCompilation("\\", Dir.Write("e.txt", "x"), false), 1);
  // 218 bytes leave room for ";1"; 72 whole characters are 216 bytes.
  EXPECT_EQ(Entry("\\", "e.txt")->IsoName, euros.substr(0, 216));
}

class LargeFile : public FileAdd, public ::testing::WithParamInterface<std::uint64_t> {};

// Files of 4 GiB and more go in as one entry of their whole size; only the
// fit check may refuse them.
TEST_P(LargeFile, IsAddedWithItsWholeSize) {
  const std::uint64_t size = GetParam();
  const std::string src = Dir.Write("big.bin", "");
  std::filesystem::resize_file(src, size);  // sparse: costs no space
  EXPECT_EQ(Burner.AddFileToCompilation("\\", src, false), 1);
  ASSERT_EQ(Burner.CompilationEntryCount(), 1u);
  EXPECT_EQ(Burner.Tables().Root()->FirstChild->SourceSize, static_cast<std::int64_t>(size));
  EXPECT_EQ(Burner.Tables().Root()->FirstChild->RecordedSize, static_cast<std::int64_t>(size));
  EXPECT_TRUE(Messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Sizes, LargeFile,
                         ::testing::Values(0xFFFFFFFFull, 0x100000000ull, 0x100000001ull, 0x280000000ull));

TEST_F(FileAdd, DeriveBuildsTheDestinationFromTheSourceFolder) {
  const std::string src = Dir.Write("a/b/c.txt", "x");
  ASSERT_EQ(Burner.AddFileToCompilation("\\Backup\\", src, true), 1);
  // "/tmp/zantic-test-x/a/b" becomes "\BACKUP\TMP\ZANTIC-TEST-X\A\B".
  std::string key = Src("a/b");
  if (key.size() >= 2 && key[1] == ':') key.erase(0, 2);  // a drive letter stays out
  for (auto& ch : key) ch = ch == '/' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  const iso::TDEntry* dest = Burner.FindCompilationDir("\\BACKUP" + key);
  ASSERT_NE(dest, nullptr);
  EXPECT_EQ(Names(dest), Strings{"c.txt"});
  EXPECT_EQ(Names(dest->Parent), Strings{"b"});  // long names keep their case
}

TEST_F(FileAdd, FolderGivenAsAFileIsAddedWithItsContents) {
  // A folder whose name looks like a file name reaches the file add; it must
  // not become an empty file.
  Dir.Write("photos.2020/img1.jpg", "111");
  Dir.Write("photos.2020/trip/img2.jpg", "2222");
  ASSERT_EQ(Burner.AddFileToCompilation("\\", Src("photos.2020"), false), 1);
  const iso::TDEntry* d = Burner.FindCompilationDir("\\PHOTOS.2020");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->Self->LongName, "photos.2020");  // no dot appended to a folder
  EXPECT_EQ(Entry("\\photos.2020", "img1.jpg")->SourceSize, 3);
  EXPECT_EQ(Entry("\\photos.2020\\trip", "img2.jpg")->SourceSize, 4);
  EXPECT_EQ(Burner.CompilationEntryCount(), 4u);
}

}  // namespace
