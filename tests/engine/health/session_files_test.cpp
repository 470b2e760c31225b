// Which files of a session own the bad sectors.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/health/disc_reader.h"
#include "engine/health/session_files.h"
#include "engine/kavo_burner.h"
#include "support/temp_dir.h"

namespace {

using health::SectorRange;

class SessionFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir.Write("src/big.bin", testsupport::PatternContent(10 * 2048 + 5, 1));
    Dir.Write("src/docs/note.txt", "note");
    Dir.Write("src/docs/empty.txt", "");
    engine::TKavoBurner writer;
    writer.AddFolderToCompilation("\\", Dir.Str() + "/src", false, false, true, 0x3F, "*.*");
    Image = Dir.Str() + "/disc.iso";
    writer.WriteImageFile(Image, engine::SaveMode::Quick);
    auto opened = iso::ImageSource::OpenFile(Image);
    ASSERT_TRUE(opened.Ok());
    Disc = std::move(opened.Value());
    auto tree = health::ReadSessionTree(*Disc, 1);
    ASSERT_TRUE(tree.Ok()) << tree.Err().Message;
    Tree = tree.Value();
  }
  const health::SessionFile& File(const std::string& path) {
    const auto it = std::find_if(Tree.Files.begin(), Tree.Files.end(), [&](const auto& f) { return f.Path == path; });
    EXPECT_NE(it, Tree.Files.end()) << path;
    return *it;
  }
  testsupport::TempDir Dir;
  std::string Image;
  std::unique_ptr<iso::ImageSource> Disc;
  health::SessionTree Tree;
};

TEST_F(SessionFiles, ListsEveryFileAndDirectoryWithItsSectors) {
  EXPECT_EQ(File("big.bin").Size, 10u * 2048 + 5);
  EXPECT_EQ(File("big.bin").Sectors(), 11u);
  EXPECT_TRUE(File("docs").Directory);
  EXPECT_EQ(File("docs/note.txt").Size, 4u);
  EXPECT_EQ(File("docs/empty.txt").Sectors(), 0u);
  EXPECT_TRUE(Tree.UnreadDirectories.empty());
  const auto end = health::SessionEnd(*Disc, 1);
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(std::uint64_t{*end} * 2048, std::filesystem::file_size(Image));
}

TEST_F(SessionFiles, NamesTheFilesDirectoriesAndUnownedSectorsHit) {
  const auto& big = File("big.bin");
  const auto& note = File("docs/note.txt");
  const auto& docs = File("docs");
  std::vector<SectorRange> bad = {{0, 2}, {big.Extent + 3, 2}, {big.Extent + 10, 1}, {note.Extent, 1}, {docs.Extent, 1}};
  std::sort(bad.begin(), bad.end(), [](auto& a, auto& b) { return a.Start < b.Start; });
  const auto damage = health::DamagedFiles(Tree, bad);
  ASSERT_EQ(damage.Files.size(), 3u);
  std::vector<std::string> paths;
  for (const auto& f : damage.Files) paths.push_back(f.Path);
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (std::vector<std::string>{"big.bin", "docs", "docs/note.txt"}));
  for (const auto& f : damage.Files) {
    if (f.Path != "big.bin") continue;
    EXPECT_EQ(health::RangesText(f.Sectors), std::to_string(big.Extent + 3) + "-" + std::to_string(big.Extent + 4) +
                                                 ", " + std::to_string(big.Extent + 10));
  }
  EXPECT_EQ(damage.Directories, (std::vector<std::string>{"", "docs"}));
  EXPECT_EQ(damage.NoFile, (std::vector<SectorRange>{{0, 2}}));
  // A sector just past a file's last one is not the file's.
  const auto past = health::DamagedFiles(Tree, {{big.Extent + 11, 1}});
  for (const auto& f : past.Files) EXPECT_NE(f.Path, "big.bin");
  EXPECT_TRUE(health::DamagedFiles(Tree, {}).Files.empty());
}

TEST_F(SessionFiles, AnUnreadableDirectoryIsReportedNotFatal) {
  iso::ImageSource damaged(testsupport::ReadAll(Image));
  damaged.FailingSectors = {File("docs").Extent};
  auto tree = health::ReadSessionTree(damaged, 1);
  ASSERT_TRUE(tree.Ok());
  EXPECT_EQ(tree.Value().UnreadDirectories, (std::vector<std::string>{"docs"}));
  damaged.FailingSectors = {16, 17, 18};
  EXPECT_FALSE(health::ReadSessionTree(damaged, 1).Ok());
}

}  // namespace
