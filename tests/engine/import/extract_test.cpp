// Copying imported files back to local files.
#include <sys/stat.h>

#include <filesystem>

#include "engine/iso/date_time.h"
#include "import_fixture.h"

namespace importtest {
namespace {

class Extract : public ImportTest {
 protected:
  void SetUp() override {
    Content = testsupport::PatternContent(63489, 7);
    std::vector<std::uint8_t> img = Craft(80, 20, 2048, {{20, {{"DATA.BIN;1", 40, 63489, 0}, {"SUB", 21, 2048, 2}}},
                                                        {21, {{"NOEXT;1", 30, 3, 0}}}});
    std::copy(Content.begin(), Content.end(), img.begin() + 40 * 2048);
    std::copy_n("abc", 3, img.begin() + 30 * 2048);
    Use(img);
    Source->RecordReads = true;
    ASSERT_TRUE(Burner.ImportDiscSession(1, nullptr));
    File = Entry("\\", "DATA.BIN");
    ASSERT_NE(File, nullptr);
    Source->Reads.clear();
  }
  std::string Content;
  const iso::TFEntry* File = nullptr;
};

TEST_F(Extract, ReadsInChunksAndKeepsTheDate) {
  const std::string dest = Dir.Str() + "/out.bin";
  ASSERT_EQ(Burner.ExtractDiscFile(*File, dest), 1);
  using Reads = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
  EXPECT_EQ(Source->Reads, (Reads{{40, 31}, {71, 1}}));
  const auto bytes = testsupport::ReadAll(dest);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), Content);
  struct stat st {};
  ASSERT_EQ(::stat(dest.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, iso::LocalDateToFileTime(File->DateTime).value());
  EXPECT_EQ(Messages.back(), ">>> EXTRACTING FILE DATA.BIN TO " + dest);
}

TEST_F(Extract, FailedReadLeavesNoFileUnderTheName) {
  const std::string dest = Dir.Str() + "/out.bin";
  Source->FailingSectors = {71};
  EXPECT_EQ(Burner.ExtractDiscFile(*File, dest), 0);
  EXPECT_EQ(Messages.back(), ">>> ERROR READING THE DISC, FILE NOT EXTRACTED \"" + dest + "\"");
  EXPECT_TRUE(std::filesystem::is_empty(Dir.Path()));
  // A file that was there before stays as it was.
  Dir.Write("out.bin", "earlier");
  EXPECT_EQ(Burner.ExtractDiscFile(*File, dest), 0);
  const auto bytes = testsupport::ReadAll(dest);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "earlier");
}

TEST_F(Extract, FolderGoesUnderTheChosenFolderOnly) {
  const std::string into = Dir.Str() + "/chosen";
  Dir.Write("chosen/DATA.BIN.part", "a file of its own");
  ASSERT_EQ(Burner.ExtractDiscFolder(*Burner.Tables().Root(), into), 1);
  const auto own = testsupport::ReadAll(into + "/DATA.BIN.part");
  EXPECT_EQ(std::string(own.begin(), own.end()), "a file of its own");
  EXPECT_EQ(testsupport::ReadAll(into + "/DATA.BIN").size(), 63489u);
  const auto noext = testsupport::ReadAll(into + "/SUB/NOEXT");
  EXPECT_EQ(std::string(noext.begin(), noext.end()), "abc");
  std::size_t count = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(Dir.Path())) count += e.is_regular_file() ? 1u : 0u;
  EXPECT_EQ(count, 3u);
}


TEST_F(Extract, ReplacesAnExistingFileOnlyWhenAsked) {
  const std::string dest = Dir.Write("out.bin", "mine");
  EXPECT_EQ(Burner.ExtractDiscFile(*File, dest), 0);
  EXPECT_EQ(Messages.back(), ">>> FILE \"" + dest + "\" ALREADY EXISTS, NOT REPLACED");
  auto bytes = testsupport::ReadAll(dest);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "mine");

  std::vector<std::string> asked;
  Burner.OnOverwriteFile = [&](engine::TKavoBurner&, const std::string& path) {
    asked.push_back(path);
    return engine::OverwriteAnswer::Overwrite;
  };
  EXPECT_EQ(Burner.ExtractDiscFile(*File, dest), 1);
  EXPECT_EQ(asked, std::vector<std::string>{dest});
  EXPECT_EQ(testsupport::ReadAll(dest).size(), 63489u);
  // A folder of that name is never replaced, whatever the answer.
  Dir.MakeDir("folder.bin");
  EXPECT_EQ(Burner.ExtractDiscFile(*File, Dir.Str() + "/folder.bin"), 0);
  EXPECT_TRUE(std::filesystem::is_directory(Dir.Path() / "folder.bin"));
}

TEST_F(Extract, NeverFollowsALinkInsideTheDestination) {
  const std::string outside = Dir.MakeDir("outside");
  const std::string into = Dir.MakeDir("chosen");
  std::error_code ec;
  std::filesystem::create_directory_symlink(outside, Dir.Path() / "chosen" / "SUB", ec);
  if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
  EXPECT_EQ(Burner.ExtractDiscFolder(*Burner.Tables().Root(), into), 0);
  EXPECT_TRUE(std::filesystem::is_empty(outside));
  EXPECT_EQ(testsupport::ReadAll(into + "/DATA.BIN").size(), 63489u);  // the rest still comes out
}

using LeftOut = ImportTest;

TEST_F(LeftOut, EntriesLeftOutAreKnownByWhere) {
  // A file pointing past the disc in SUB; OTHER is whole.
  Use(Craft(40, 20, 2048, {{20, {{"SUB", 21, 2048, 2}, {"OTHER", 22, 2048, 2}}},
                           {21, {{"GOOD.TXT;1", 30, 3, 0}, {"BAD.TXT;1", 39, 1 << 20, 0}}},
                           {22, {{"FINE.TXT;1", 30, 3, 0}}}}));
  ASSERT_TRUE(Burner.ImportDiscSession(1, nullptr));
  EXPECT_TRUE(Burner.ImportLeftOutBelow("\\"));
  EXPECT_TRUE(Burner.ImportLeftOutBelow("\\sub"));
  EXPECT_TRUE(Burner.ImportLeftOutBelow("\\SUB\\BAD.TXT"));
  EXPECT_FALSE(Burner.ImportLeftOutBelow("\\OTHER"));
  EXPECT_FALSE(Burner.ImportLeftOutBelow("\\SU"));

  // A full table ends the walk: everything counts as incomplete; a new import starts afresh.
  Burner.ResetCompilation(1, 100);
  ASSERT_TRUE(Burner.ImportDiscSession(1, nullptr));
  EXPECT_TRUE(Burner.ImportLeftOutBelow("\\OTHER"));
  Use(Craft(40, 20, 2048, {{20, {{"FINE.TXT;1", 30, 3, 0}}}}));
  Burner.ResetCompilation(100, 100);
  ASSERT_TRUE(Burner.ImportDiscSession(1, nullptr));
  EXPECT_FALSE(Burner.ImportLeftOutBelow("\\"));
}

}  // namespace
}  // namespace importtest
