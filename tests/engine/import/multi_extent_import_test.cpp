// Files recorded in several extents: taken as one file only when the parts
// follow one another in the directory and on the disc.
#include <cctype>
#include <fstream>
#include <iterator>

#include "engine/health/session_files.h"
#include "import_fixture.h"

namespace importtest {
namespace {

const Rec kOk{"OK.TXT;1", 30, 10, 0};
const std::string kRefused =
    ">>> FILE \"\\BIG.BIN\" ON THE DISC IS STORED IN PARTS THAT DO NOT FIT TOGETHER, NOT IMPORTED";
const std::string kPast = ">>> \"\\BIG.BIN\" POINTS PAST THE END OF THE DISC, NOT IMPORTED";

struct Case {
  const char* Name;
  std::vector<Rec> Root;
  std::string Expected;  // the line reported
  std::vector<std::string> Imported;
};

class BrokenParts : public ImportTest, public ::testing::WithParamInterface<Case> {};

TEST_P(BrokenParts, AreReportedAndLeftOut) {
  const Case& c = GetParam();
  Use(Craft(40, 20, 2048, {{20, c.Root}, {21, {}}}));
  ASSERT_TRUE(Burner.ImportDiscSession(-1, nullptr));
  EXPECT_TRUE(Logged(c.Expected)) << c.Name << ": " << (Messages.empty() ? "" : Messages.back());
  std::vector<std::string> names;
  for (const iso::TFEntry* e = Burner.Tables().Root()->FirstChild; e != nullptr; e = e->Next)
    names.push_back(e->LongName);
  EXPECT_EQ(names, c.Imported) << c.Name;
  // A refused file is left out, so a burn on top must not claim to keep it.
  EXPECT_TRUE(Burner.ImportLeftOutBelow("\\"));
}

INSTANTIATE_TEST_SUITE_P(
    Crafted, BrokenParts,
    ::testing::Values(
        Case{"overlap", {{"BIG.BIN;1", 30, 4096, 0x80}, {"BIG.BIN;1", 31, 100, 0}, kOk}, kRefused, {"OK.TXT"}},
        Case{"gap before the last", {{"BIG.BIN;1", 30, 2048, 0x80}, {"BIG.BIN;1", 31, 2048, 0x80},
                                     {"BIG.BIN;1", 33, 100, 0}, kOk},
             kRefused, {"OK.TXT"}},
        Case{"backwards", {{"BIG.BIN;1", 31, 2048, 0x80}, {"BIG.BIN;1", 30, 100, 0}, kOk}, kRefused, {"OK.TXT"}},
        Case{"part not whole sectors", {{"BIG.BIN;1", 30, 2000, 0x80}, {"BIG.BIN;1", 31, 100, 0}, kOk}, kRefused,
             {"OK.TXT"}},
        Case{"last part missing", {{"BIG.BIN;1", 30, 2048, 0x80}, kOk}, kRefused, {"OK.TXT"}},
        Case{"last part missing at the end", {kOk, {"BIG.BIN;1", 30, 2048, 0x80}}, kRefused, {"OK.TXT"}},
        // The last part after another name is not taken as a cut file of its own.
        Case{"second name mid-file", {{"BIG.BIN;1", 30, 2048, 0x80}, {"ODD.BIN;1", 35, 5, 0},
                                      {"BIG.BIN;1", 31, 100, 0}, kOk},
             kRefused, {"ODD.BIN", "OK.TXT"}},
        Case{"folder mid-file", {{"BIG.BIN;1", 30, 2048, 0x80}, {"SUB", 21, 2048, 2}, {"BIG.BIN;1", 31, 100, 0}},
             kRefused, {"SUB"}},
        Case{"part past the disc", {{"BIG.BIN;1", 38, 4096, 0x80}, {"BIG.BIN;1", 40, 100, 0}, kOk}, kPast,
             {"OK.TXT"}},
        Case{"first part past the disc", {{"BIG.BIN;1", 100, 2048, 0x80}, {"BIG.BIN;1", 30, 100, 0}, kOk}, kPast,
             {"OK.TXT"}}),
    [](const auto& param) {
      std::string n = param.param.Name;
      for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

// Sectors 30-32 hold "A", "B" and "C" bytes; the file takes two whole sectors
// and 100 bytes of the third.
std::vector<std::uint8_t> ThreeParts() {
  auto img = Craft(40, 20, 2048,
                   {{20, {{"BIG.BIN;1", 30, 2048, 0x81}, {"BIG.BIN;1", 31, 2048, 0x80}, {"BIG.BIN;1", 32, 100, 0}, kOk}}});
  for (int s = 0; s < 3; ++s)
    std::fill_n(img.begin() + (30 + s) * 2048, 2048, static_cast<std::uint8_t>('A' + s));
  return img;
}

TEST_F(ImportTest, AdjacentPartsComeInAsOneFileAndExtractWhole) {
  Use(ThreeParts());
  ASSERT_TRUE(Burner.ImportDiscSession(-1, nullptr));
  const iso::TFEntry* big = Entry("\\", "BIG.BIN");
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(big->RecordedSize, 2048 * 2 + 100);
  EXPECT_EQ(big->Extent, 30);
  EXPECT_EQ(big->Attributes & 0x02u, 0x02u);  // hidden, from the first part
  EXPECT_FALSE(Burner.ImportLeftOutBelow("\\"));
  const std::string out = (Dir.Path() / "big.bin").string();
  ASSERT_EQ(Burner.ExtractDiscFile(*big, out), 1);
  std::ifstream in(out, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, std::string(2048, 'A') + std::string(2048, 'B') + std::string(100, 'C'));
}

TEST_F(ImportTest, SessionFilesCoverEveryPart) {
  Use(ThreeParts());
  const auto tree = health::ReadSessionTree(*Source, 1);
  ASSERT_TRUE(tree.Ok());
  bool found = false;
  for (const auto& f : tree.Value().Files)
    if (f.Path == "BIG.BIN") {
      found = true;
      EXPECT_EQ(f.Extent, 30u);
      EXPECT_EQ(f.Size, 2048u * 2 + 100);
      EXPECT_EQ(f.Sectors(), 3u);
    }
  EXPECT_TRUE(found);
  // A bad sector in the last part is the big file's, not nobody's.
  const auto damage = health::DamagedFiles(tree.Value(), {{32, 1}});
  ASSERT_EQ(damage.Files.size(), 1u);
  EXPECT_EQ(damage.Files[0].Path, "BIG.BIN");
  EXPECT_TRUE(damage.NoFile.empty());
}

TEST_F(ImportTest, ZeroRunsOfAnExtractedFileReadBackAsZeros) {
  // Read in chunks of 31 sectors: data, zeros (left a hole), data, and a
  // last chunk of zeros, so the size comes from the end, not from a write.
  constexpr std::size_t kChunk = 31 * 2048;
  constexpr std::size_t kSize = 3 * kChunk + 7;
  auto img = Craft(130, 20, 2048, {{20, {{"Z.BIN;1", 30, static_cast<std::uint32_t>(kSize), 0}}}});
  std::fill_n(img.begin() + 30 * 2048, 2048, std::uint8_t{'x'});
  std::fill_n(img.begin() + 92 * 2048 + 5, 100, std::uint8_t{'y'});
  const std::string expected(img.begin() + 30 * 2048, img.begin() + 30 * 2048 + kSize);
  Use(std::move(img));
  ASSERT_TRUE(Burner.ImportDiscSession(-1, nullptr));
  const iso::TFEntry* z = Entry("\\", "Z.BIN");
  ASSERT_NE(z, nullptr);
  const std::string out = (Dir.Path() / "z.bin").string();
  ASSERT_EQ(Burner.ExtractDiscFile(*z, out), 1);
  std::ifstream in(out, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.size(), kSize);
  EXPECT_TRUE(bytes == expected);
}

}  // namespace
}  // namespace importtest
