// Crafted discs: every fault ends in a reported, bounded result.
#include <chrono>
#include <cctype>
#include <cstring>

#include "engine/iso/records.h"
#include "import_fixture.h"

namespace importtest {
namespace {

using Clock = std::chrono::steady_clock;

struct Case {
  const char* Name;
  std::vector<Rec> Root;         // records of the root directory (sector 20)
  std::vector<Rec> Sub;          // records of sector 21
  std::string Expected;          // the line reported
  std::vector<std::string> Imported;  // long names found in the root afterwards
};

class Hardening : public ImportTest, public ::testing::WithParamInterface<Case> {};

TEST_P(Hardening, ReportsAndGoesOn) {
  const Case& c = GetParam();
  Use(Craft(40, 20, 2048, {{20, c.Root}, {21, c.Sub}}));
  ASSERT_TRUE(Burner.ImportDiscSession(-1, nullptr));
  EXPECT_TRUE(Logged(c.Expected)) << c.Name << ": " << (Messages.empty() ? "" : Messages.back());
  std::vector<std::string> names;
  for (const iso::TFEntry* e = Burner.Tables().Root()->FirstChild; e != nullptr; e = e->Next)
    names.push_back(e->LongName);
  EXPECT_EQ(names, c.Imported) << c.Name;
}

const Rec kOk{"OK.TXT;1", 30, 10, 0};

INSTANTIATE_TEST_SUITE_P(
    Crafted, Hardening,
    ::testing::Values(
        Case{"self loop", {{"SELF", 20, 2048, 2}, kOk},
             {}, ">>> FOLDER \"\\SELF\" ON THE DISC POINTS AT A FOLDER ALREADY READ, NOT READ AGAIN", {"OK.TXT"}},
        Case{"ancestor loop", {{"SUB", 21, 2048, 2}, kOk}, {{"UP", 20, 2048, 2}},
             ">>> FOLDER \"\\SUB\\UP\" ON THE DISC POINTS AT A FOLDER ALREADY READ, NOT READ AGAIN", {"SUB", "OK.TXT"}},
        Case{"extent past the disc", {{"FAR.BIN;1", 39, 4097, 0}, kOk},
             {}, ">>> \"\\FAR.BIN\" POINTS PAST THE END OF THE DISC, NOT IMPORTED", {"OK.TXT"}},
        Case{"extent and length overflow", {{"WRAP.BIN;1", 0xFFFFFFF0u, 0xFFFFFFFFu, 0}, kOk},
             {}, ">>> \"\\WRAP.BIN\" POINTS PAST THE END OF THE DISC, NOT IMPORTED", {"OK.TXT"}},
        Case{"folder of gigabytes", {{"HUGE", 21, 0xFFFFFFFFu, 2}, kOk},
             {}, ">>> \"\\HUGE\" POINTS PAST THE END OF THE DISC, NOT IMPORTED", {"OK.TXT"}},
        Case{"slash", {{"A/B.TXT;1", 30, 1, 0}}, {}, ">>> INVALID FILE NAME ON THE DISC, IMPORTED AS \"\\A_B.TXT\"",
             {"A_B.TXT"}},
        Case{"backslash", {{"..\\..\\X.TXT;1", 30, 1, 0}}, {},
             ">>> INVALID FILE NAME ON THE DISC, IMPORTED AS \"\\.._.._X.TXT\"", {".._.._X.TXT"}},
        Case{"drive colon", {{"C:X.TXT;1", 30, 1, 0}}, {},
             ">>> INVALID FILE NAME ON THE DISC, IMPORTED AS \"\\C_X.TXT\"", {"C_X.TXT"}},
        Case{"NUL inside", {{std::string("A\0B.TXT;1", 9), 30, 1, 0}}, {},
             ">>> INVALID FILE NAME ON THE DISC, IMPORTED AS \"\\A_B.TXT\"", {"A_B.TXT"}},
        Case{"file in parts with a gap", {{"BIG.BIN;1", 30, 2048, 0x80}, {"BIG.BIN;1", 32, 100, 0}, kOk}, {},
             ">>> FILE \"\\BIG.BIN\" ON THE DISC IS STORED IN PARTS THAT DO NOT FIT TOGETHER, NOT IMPORTED",
             {"OK.TXT"}},
        Case{"dot dot", {{"..;1", 30, 1, 0}, {"..", 21, 2048, 2}, kOk}, {},
             ">>> INVALID FILE NAME ON THE DISC, NOT IMPORTED \"\\..\"", {"OK.TXT"}},
        Case{"ISO identifier of 221 bytes", {{std::string(217, 'L') + ".T;1", 30, 1, 0}, kOk}, {},
             ">>> NAME TOO LONG FOR ISO 9660/JOLIET, NOT ADDED \"" + std::string(217, 'L') + ".T\"", {"OK.TXT"}}),
    [](const auto& param) {
      std::string n = param.param.Name;
      for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

// A disc without bounds whose every folder claims 4 GiB and holds one more
// folder: the walk stops at its depth and read limits, quickly.
class EndlessDisc final : public iso::DiscSource {
 public:
  base::Status ReadSectors(std::uint32_t lba, std::uint32_t count, std::span<std::uint8_t> out) override {
    ++Reads;
    std::memset(out.data(), 0, std::size_t{count} * 2048);
    if (lba == 16 || lba == 17) {
      out[0] = lba == 16 ? 1 : 0xFF;
      std::memcpy(out.data() + 1, "CD001\1", 6);
      if (lba == 16) Put(out.data() + 156, {std::string(1, '\0'), 1000, 0xFFFFFFFFu, 2});
    } else if (lba >= 1000 && (lba - 1000) % 100000 == 0) {
      std::size_t at = 0;  // a folder, then records with names no one may keep
      for (int i = 0; i < 10; ++i)
        at += Put(out.data() + at, i == 0 ? Rec{"D", lba + 100000, 0xFFFFFFFFu, 2} : Rec{"..", lba, 1, 0});
    }
    return base::Ok();
  }
  bool Ready() override { return true; }
  std::uint8_t LastSession() override { return 1; }
  std::optional<iso::TrackEntry> TrackInfo(std::uint8_t) override { return iso::TrackEntry{1, 1, 0, 0}; }
  std::optional<std::pair<std::uint8_t, std::uint8_t>> TrackRange() override { return std::nullopt; }
  std::optional<std::uint32_t> TocAddress(std::uint8_t) override { return std::nullopt; }
  std::uint32_t FreeBlocks() override { return 0; }
  std::optional<std::uint32_t> NextWritableAddress() override { return std::nullopt; }
  std::uint64_t SectorCount() const override { return 0; }
  std::uint64_t Reads = 0;

 private:
  static std::size_t Put(std::uint8_t* at, const Rec& r) {
    const auto b = RecordBytes(r);
    std::memcpy(at, b.data(), b.size());
    return b.size();
  }
};

TEST_F(ImportTest, EndlessDiscStopsAtItsLimits) {
  EndlessDisc disc;
  Burner.SetDiscSource(&disc);
  const auto start = Clock::now();
  ASSERT_TRUE(Burner.ImportDiscSession(1, nullptr));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(60));
  EXPECT_LE(disc.Reads, 262144u + 40u);
  EXPECT_EQ(Burner.CompilationDirCount(), 64u);
  EXPECT_TRUE(Logged(">>> FOLDER \"\\\" ON THE DISC IS LARGER THAN 64 MB, THE REST IS NOT READ"));
  EXPECT_TRUE(Logged(">>> FOLDER \"\\D\" ON THE DISC IS LARGER THAN 64 MB, THE REST IS NOT READ"));
  std::string deep;
  for (int i = 0; i < 65; ++i) deep += "\\D";
  EXPECT_TRUE(Logged(">>> FOLDER \"" + deep + "\" ON THE DISC IS NESTED TOO DEEPLY, NOT IMPORTED"));
  // 9 x 65 bad names and the limits: the log stops after 100 lines.
  EXPECT_LE(Messages.size(), 103u);
  EXPECT_EQ(Messages.back(), ">>> FURTHER ERRORS OF THIS SESSION ARE NOT REPORTED");
}

// Millions of records meet the table limits: the walk stops at the first
// full table with one line instead of one per record.
TEST_F(ImportTest, FullTablesEndTheWalk) {
  std::vector<Rec> many;
  for (int i = 0; i < 3000; ++i) many.push_back({"F" + std::to_string(i) + ".TXT;1", 30, 1, 0});
  Use(Craft(200, 20, 180 * 2048, {{20, many}}));
  Burner.ResetCompilation(1000, 10);
  ASSERT_TRUE(Burner.ImportDiscSession(1, nullptr));
  EXPECT_EQ(Burner.CompilationEntryCount(), 1000u);
  EXPECT_EQ(Messages.size(), 2u);
  EXPECT_EQ(Messages.back(), "MAXIMUM FILES CAN BE 1000");
}

TEST_F(ImportTest, UnreadableFolderSectorIsReported) {
  Use(Craft(40, 20, 4096, {{20, {kOk}}}));
  Source->FailingSectors = {21};
  ASSERT_TRUE(Burner.ImportDiscSession(1, nullptr));
  EXPECT_NE(Entry("\\", "OK.TXT"), nullptr);
  EXPECT_TRUE(Logged(">>> FOLDER \"\\\" ON THE DISC COULD NOT BE READ COMPLETELY"));
}

}  // namespace
}  // namespace importtest
