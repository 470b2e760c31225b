// Importing sessions from images we wrote and from images peer tools wrote,
// the session-number rules and the merge before a new session.
#include <filesystem>

#include "engine/iso/layout.h"
#include "import_fixture.h"
#include "support/iso_reader.h"

namespace importtest {
namespace {

class SessionImport : public ImportTest {
 protected:
  // Our own image of `files` (names relative to one source folder).
  std::string OwnImage(const std::vector<std::pair<std::string, std::string>>& files, bool joliet = true) {
    engine::TKavoBurner writer;
    writer.SetJolietFileSystem(joliet);
    for (const auto& [name, content] : files) Dir.Write("src/" + name, content);
    writer.AddFolderToCompilation("\\", Dir.Str() + "/src", false, false, true, 0x3F, "*.*");
    const std::string path = Dir.Str() + "/own.iso";
    writer.WriteImageFile(path, engine::SaveMode::Quick);
    return path;
  }
  // Two sessions appended to one image file by xorriso.
  std::string XorrisoTwoSessions() {
    Dir.Write("a/README.txt", "hello\n");
    Dir.Write("a/Long Name Document.txt", "joliet\n");
    // Large enough that the first session's volume size, counted from its
    // own start, lies past that start.
    Dir.Write("a/big.bin", testsupport::PatternContent(100000, 5));
    Dir.Write("b/second.txt", "two\n");
    const std::string img = Dir.Str() + "/xo.iso";
    const std::string x = " && xorriso -dev stdio:" + img + " -joliet on -add ";
    Run("cd " + Dir.Str() + "/a" + x + "README.txt big.bin 'Long Name Document.txt' -- >/dev/null 2>&1");
    Run("cd " + Dir.Str() + "/b" + x + "second.txt -- >/dev/null 2>&1");
    return img;
  }
};

TEST_F(SessionImport, OwnImageKeepsNamesSizesAndSectors) {
  const std::string big = testsupport::PatternContent(63489, 3);
  UseFile(OwnImage({{"README.txt", "hi"}, {"sub/Deep File.bin", big}}));
  ASSERT_TRUE(Burner.ImportDiscSession(1, nullptr));
  EXPECT_EQ(Messages.front(), ">>> IMPORTING SESSION # 1");
  const iso::TFEntry* e = Entry("\\SUB", "Deep File.bin");
  ASSERT_NE(e, nullptr);
  EXPECT_TRUE(e->Imported);
  EXPECT_TRUE(e->SourcePath.empty());
  EXPECT_EQ(e->RecordedSize, 63489);
  // The extent read back is where the bytes are.
  testsupport::isoread::Image img = testsupport::isoread::Image::FromFile(Dir.Str() + "/own.iso");
  const auto bytes = img.At(static_cast<std::uint32_t>(e->Extent), 63489);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), big);
  // Importing again adds nothing new.
  const auto count = Burner.CompilationEntryCount();
  ASSERT_TRUE(Burner.ImportDiscSession(1, nullptr));
  EXPECT_EQ(Burner.CompilationEntryCount(), count);
}

TEST_F(SessionImport, IsoNamesWithoutJolietTree) {
  UseFile(OwnImage({{"readme.txt", "hi"}}, false));
  ASSERT_TRUE(Burner.ImportDiscSession(-1, nullptr));
  EXPECT_NE(Entry("\\", "README.TXT"), nullptr);
}

// 107 UCS-2 characters with ";1" are 214 bytes; one more character is 216.
TEST_F(SessionImport, JolietIdentifierLimit) {
  const std::string fits = std::string(101, 'a') + ".txt";
  const std::string over = std::string(102, 'b') + ".txt";
  UseFile(OwnImage({{fits, "1"}, {over, "2"}}));
  ASSERT_TRUE(Burner.ImportDiscSession(1, nullptr));
  EXPECT_NE(Entry("\\", fits), nullptr);
  EXPECT_EQ(Entry("\\", over), nullptr);
  EXPECT_TRUE(Logged("ERROR IMPORTING SESSION, FILE NAME LENGTH EXCEEDS 120 CHARS\n\r" + over + ";1"));
}

TEST_F(SessionImport, XorrisoSessionsAndNumberRules) {
  if (!Have("xorriso")) GTEST_SKIP() << "xorriso not installed";
  UseFile(XorrisoTwoSessions());
  ASSERT_EQ(Source->SessionStarts().size(), 2u);
  EXPECT_EQ(Source->SessionStarts()[0], 32u);
  ASSERT_TRUE(Burner.ImportDiscSession(1, nullptr));
  EXPECT_NE(Entry("\\", "Long Name Document.txt"), nullptr);
  EXPECT_EQ(Entry("\\", "second.txt"), nullptr);
  for (const std::int8_t n : {std::int8_t{5}, std::int8_t{-1}}) {
    Burner.ResetCompilation(65535, 8191);
    Messages.clear();
    ASSERT_TRUE(Burner.ImportDiscSession(n, nullptr));
    EXPECT_EQ(Messages.front(), ">>> IMPORTING SESSION # 2");
    EXPECT_NE(Entry("\\", "second.txt"), nullptr);
    EXPECT_NE(Entry("\\", "README.txt"), nullptr);
  }
  EXPECT_FALSE(Burner.ImportDiscSession(0, nullptr));
}

TEST_F(SessionImport, GenisoimageMultiSession) {
  if (!Have("genisoimage")) GTEST_SKIP() << "genisoimage not installed";
  Dir.Write("a/readme.txt", "one\n");
  Dir.Write("b/Second Session.txt", "two\n");
  const std::string d = Dir.Str();
  Run("cd " + d + " && genisoimage -quiet -o s1.iso a/");
  const auto s1 = std::filesystem::file_size(d + "/s1.iso") / 2048;
  Run("cd " + d + " && genisoimage -quiet -J -C 0," + std::to_string(s1) + " -M s1.iso -o s2.bin b/ && cat s1.iso s2.bin > m.iso");
  UseFile(d + "/m.iso");
  ASSERT_TRUE(Burner.ImportDiscSession(-1, nullptr));
  EXPECT_NE(Entry("\\", "Second Session.txt"), nullptr);
  const iso::TFEntry* old = Entry("\\", "README.TXT");
  ASSERT_NE(old, nullptr);
  Burner.ResetCompilation(65535, 8191);
  ASSERT_TRUE(Burner.ImportDiscSession(1, nullptr));
  EXPECT_NE(Entry("\\", "README.TXT"), nullptr) << "no Joliet tree in session 1";
}

TEST_F(SessionImport, FailuresReportTheirTexts) {
  // The descriptor in the 22nd sector after 16 is out of reach.
  auto far = Craft(60, 50, 2048, {{50, {}}});
  std::copy_n(far.begin() + 16 * 2048, 2048, far.begin() + 37 * 2048);
  std::fill_n(far.begin() + 16 * 2048, 4096, 0);
  Use(far);
  Source->SetSessionStarts({0});
  EXPECT_FALSE(Burner.ImportDiscSession(1, nullptr));
  EXPECT_TRUE(Logged(">>> ERROR IMPORTING SESSION 1 (ISO IMAGE NOT FOUND)"));
  // In the 21st it is found.
  auto near = Craft(60, 50, 2048, {{50, {{"A.TXT;1", 40, 5, 0}}}});
  std::copy_n(near.begin() + 16 * 2048, 2048, near.begin() + 36 * 2048);
  std::fill_n(near.begin() + 16 * 2048, 4096, 0);
  Use(near);
  Source->SetSessionStarts({0});
  EXPECT_TRUE(Burner.ImportDiscSession(1, nullptr));
  // A track the disc cannot describe.
  Use(Craft(60, 50, 2048, {{50, {}}}));
  Source->SetSessionStarts({0, 0, 0});
  Source->FailingTracks = {2};
  EXPECT_FALSE(Burner.ImportDiscSession(2, nullptr));
  EXPECT_EQ(Messages.back(), ">>> ERROR IMPORTING SESSION # 2");
  EXPECT_EQ(Kinds.back(), 4);
  // A blank disc: nothing imported, nothing said.
  Use(std::vector<std::uint8_t>(40 * 2048));
  Messages.clear();
  EXPECT_FALSE(Burner.ImportDiscSession(-1, nullptr));
  EXPECT_TRUE(Messages.empty());
}

// A new session after the import writes records only: the imported files
// keep their sectors and none of their data is in the new session.
TEST_F(SessionImport, MergedIntoTheNextSession) {
  const std::string old = OwnImage({{"keep.bin", testsupport::PatternContent(10000, 4)}});
  UseFile(old);
  const std::string fresh = Dir.Write("new.txt", "new");
  Burner.AddFileToCompilation("\\", fresh, false);
  Burner.SetSessionToImport(-1);
  Burner.PrepareLayout(engine::LayoutTarget::Disc);
  ASSERT_TRUE(Burner.BuildHeader());
  const iso::SessionLayout& l = Burner.CurrentLayout();
  const auto oldSectors = std::filesystem::file_size(old) / 2048;
  EXPECT_EQ(l.SessionStart, (oldSectors + 31) / 32 * 32);
  EXPECT_EQ(l.FileSectors, 1u) << "only new.txt is written";

  std::vector<std::uint8_t> disc = testsupport::ReadAll(old);
  disc.resize(std::size_t{l.SessionStart} * 2048);
  disc.insert(disc.end(), Burner.Header().Bytes.begin(), Burner.Header().Bytes.end());
  disc.resize(static_cast<std::size_t>(l.VolumeSpaceSize) * 2048);
  testsupport::isoread::Image img(disc);
  const iso::TFEntry* kept = Entry("\\", "keep.bin");
  ASSERT_NE(kept, nullptr);
  bool seen = false;
  for (std::uint32_t s : {l.PrimarySector, l.JolietSector})
    if (const auto vd = testsupport::isoread::ParseVolumeDescriptor(img.Sector(s)); true)
    for (const auto& e : img.Tree(vd.Root, vd.Type == 2))
      if (e.Path.rfind("keep.bin", 0) == 0 || e.Path.rfind("KEEP.BIN", 0) == 0) {
        EXPECT_EQ(e.Record.Extent, static_cast<std::uint32_t>(kept->Extent));
        EXPECT_LT(e.Record.Extent, l.SessionStart);
        seen = true;
      }
  EXPECT_TRUE(seen);
}

// Burns with the earlier session imported first: a person's file that
// changed since takes the old copy's place; an unchanged one is not written
// again.
TEST_F(SessionImport, AChangedFileReplacesItsImportedCopy) {
  UseFile(OwnImage({{"edited.txt", "before"}, {"same.bin", testsupport::PatternContent(5000, 2)}}));
  ASSERT_TRUE(Burner.ImportDiscSession(1, nullptr));
  const std::string edited = Dir.Write("src/edited.txt", "after, and longer");
  Burner.AddFileToCompilation("\\", edited, false);
  Burner.AddFileToCompilation("\\", Dir.Str() + "/src/same.bin", false);
  const iso::TFEntry* e = Entry("\\", "edited.txt");
  ASSERT_NE(e, nullptr);
  EXPECT_FALSE(e->Imported);
  EXPECT_EQ(e->SourcePath, edited);
  EXPECT_EQ(e->RecordedSize, 17);
  const iso::TFEntry* same = Entry("\\", "same.bin");
  ASSERT_NE(same, nullptr);
  EXPECT_TRUE(same->Imported);
}

}  // namespace
}  // namespace importtest
