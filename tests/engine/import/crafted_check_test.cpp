// Checking crafted sessions: whatever the file tree cannot take in fails the
// check, as it fails a listing.
#include "engine/health/disc_check.h"
#include "engine/texts.h"
#include "import_fixture.h"

namespace importtest {
namespace {

const Rec kOk{"OK.TXT;1", 30, 10, 0};

// The image, with its track recorded only up to `recordedEnd`, as a drive
// reports a session whose burn stopped.
class StoppedBurn final : public iso::DiscSource {
 public:
  StoppedBurn(std::vector<std::uint8_t> bytes, std::uint32_t end) : FImage(std::move(bytes)), FEnd(end) {}
  base::Status ReadSectors(std::uint32_t l, std::uint32_t n, std::span<std::uint8_t> o) override { return FImage.ReadSectors(l, n, o); }
  bool Ready() override { return true; }
  std::uint8_t LastSession() override { return 1; }
  std::optional<iso::TrackEntry> TrackInfo(std::uint8_t track) override {
    auto t = FImage.TrackInfo(track);
    if (t) t->RecordedEnd = FEnd;
    return t;
  }
  std::optional<std::pair<std::uint8_t, std::uint8_t>> TrackRange() override { return std::nullopt; }
  std::optional<std::uint32_t> TocAddress(std::uint8_t) override { return std::nullopt; }
  std::uint32_t FreeBlocks() override { return 0; }
  std::optional<std::uint32_t> NextWritableAddress() override { return std::nullopt; }
  std::uint64_t SectorCount() const override { return FImage.SectorCount(); }

 private:
  iso::ImageSource FImage;
  std::uint32_t FEnd;
};

struct Case {
  const char* Name;
  std::vector<Rec> Root;
};

class LeftOutRecords : public ::testing::TestWithParam<Case> {};

TEST_P(LeftOutRecords, FailTheCheck) {
  iso::ImageSource disc(Craft(40, 20, 2048, {{20, GetParam().Root}, {21, {}}}));
  const auto r = health::CheckSession(disc, 1, {}, {});
  ASSERT_TRUE(r.Ok()) << r.Err().Message;
  EXPECT_FALSE(r.Value().LeftOut.empty()) << GetParam().Name;
  EXPECT_GE(r.Value().Faults(), 1u);
  ASSERT_FALSE(r.Value().Files.empty());
  EXPECT_EQ(r.Value().Files.back().Path, "OK.TXT");  // the rest is still checked
}

INSTANTIATE_TEST_SUITE_P(
    Crafted, LeftOutRecords,
    ::testing::Values(Case{"gap", {{"BIG.BIN;1", 30, 2048, 0x80}, {"BIG.BIN;1", 32, 100, 0}, kOk}},
                      Case{"overlap", {{"BIG.BIN;1", 30, 4096, 0x80}, {"BIG.BIN;1", 31, 100, 0}, kOk}},
                      Case{"part past the end", {{"BIG.BIN;1", 38, 4096, 0x80}, {"BIG.BIN;1", 40, 100, 0}, kOk}},
                      Case{"file past the end", {{"FAR.BIN;1", 39, 8192, 0}, kOk}},
                      Case{"directory loop", {{"SUB", 20, 2048, 2}, kOk}}));

TEST(CraftedCheck, ASessionWhoseBurnStoppedFailsTheCheck) {
  const auto bytes = Craft(40, 20, 2048, {{20, {kOk}}});
  for (const std::uint32_t recorded : {40u, 25u}) {
    StoppedBurn disc(bytes, recorded);
    const auto r = health::CheckSession(disc, 1, {}, {});
    ASSERT_TRUE(r.Ok()) << r.Err().Message;
    EXPECT_EQ(r.Value().Incomplete, recorded < 40) << recorded;
    EXPECT_EQ(r.Value().Faults(), recorded < 40 ? 1u : 0u) << recorded;
  }
}

TEST_F(ImportTest, AFileListedTwiceIsNamedWhenLeftOut) {
  const std::vector<Rec> twice = {{"BIG.BIN;1", 30, 2048, 0x80}, {"BIG.BIN;1", 31, 100, 0},
                                  {"BIG.BIN;1", 30, 2048, 0x80}, {"BIG.BIN;1", 31, 100, 0}, kOk};
  Use(Craft(40, 20, 2048, {{20, twice}}));
  ASSERT_TRUE(Burner.ImportDiscSession(-1, nullptr));
  EXPECT_TRUE(Burner.ImportLeftOutBelow("\\"));
  EXPECT_TRUE(Logged(">>> " + engine::texts::Format(engine::texts::kNameTaken, "\\BIG.BIN")))
      << (Messages.empty() ? "" : Messages.back());
}

}  // namespace
}  // namespace importtest
