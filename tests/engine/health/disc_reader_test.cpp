// Copying a disc into an image around sectors that fail.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/health/disc_reader.h"
#include "support/temp_dir.h"

namespace {

using health::SectorRange;

std::vector<std::uint8_t> Pattern(std::uint32_t sectors) {
  const std::string s = testsupport::PatternContent(std::size_t{sectors} * 2048, 7);
  return {s.begin(), s.end()};
}

// Fails each read that covers a weak sector until that sector has failed `Tries` times.
class WeakSource final : public iso::DiscSource {
 public:
  explicit WeakSource(std::vector<std::uint8_t> bytes) : FImage(std::move(bytes)) {}
  base::Status ReadSectors(std::uint32_t lba, std::uint32_t count, std::span<std::uint8_t> out) override {
    ++ReadCount;
    bool fail = false;
    for (auto& [sector, failed] : Weak)
      if (sector >= lba && sector < lba + count && failed < Tries) {
        ++failed;
        fail = true;
      }
    if (fail) return base::MakeError(base::ErrorKind::Device, "weak");
    return FImage.ReadSectors(lba, count, out);
  }
  bool Ready() override { return true; }
  std::uint8_t LastSession() override { return 1; }
  std::optional<iso::TrackEntry> TrackInfo(std::uint8_t) override { return std::nullopt; }
  std::optional<std::pair<std::uint8_t, std::uint8_t>> TrackRange() override { return std::nullopt; }
  std::optional<std::uint32_t> TocAddress(std::uint8_t) override { return std::nullopt; }
  std::uint32_t FreeBlocks() override { return 0; }
  std::optional<std::uint32_t> NextWritableAddress() override { return std::nullopt; }
  std::uint64_t SectorCount() const override { return FImage.SectorCount(); }

  std::vector<std::pair<std::uint32_t, int>> Weak;
  int Tries = 0;
  int ReadCount = 0;

 private:
  iso::ImageSource FImage;
};

class DiscReader : public ::testing::Test {
 protected:
  base::Result<health::ReadOutcome> Copy(iso::DiscSource& disc, const std::vector<SectorRange>& ranges,
                                         const health::ReadCallbacks& callbacks = {}) {
    auto file = platform::FileStream::Open(Path, platform::OpenMode::CreateWrite);
    EXPECT_TRUE(file.Ok());
    EXPECT_TRUE(file.Value().Truncate(std::uint64_t{kSectors} * 2048).Ok());
    return health::ReadIntoImage(disc, file.Value(), ranges, Settings, callbacks);
  }
  static constexpr std::uint32_t kSectors = 300;
  testsupport::TempDir Dir;
  std::string Path = Dir.Str() + "/out.iso";
  std::vector<std::uint8_t> Bytes = Pattern(kSectors);
  health::ReadSettings Settings;
};

TEST_F(DiscReader, LeavesZerosAndListsExactlyTheSectorsThatStayUnreadable) {
  iso::ImageSource disc(Bytes);
  disc.FailingSectors = {5, 6, 7, 40, 299};
  auto r = Copy(disc, {{0, kSectors}});
  ASSERT_TRUE(r.Ok());
  EXPECT_EQ(r.Value().Unreadable, (std::vector<SectorRange>{{5, 3}, {40, 1}, {299, 1}}));
  EXPECT_FALSE(r.Value().Cancelled);
  auto expected = Bytes;
  for (std::uint32_t bad : disc.FailingSectors) std::memset(expected.data() + std::size_t{bad} * 2048, 0, 2048);
  EXPECT_EQ(testsupport::ReadAll(Path), expected);
}

TEST_F(DiscReader, ResumingFillsInOnlyTheListedSectors) {
  iso::ImageSource damaged(Bytes);
  damaged.FailingSectors = {100, 101};
  ASSERT_TRUE(Copy(damaged, {{0, kSectors}}).Ok());
  iso::ImageSource healed(Bytes);
  healed.RecordReads = true;
  auto file = platform::FileStream::Open(Path, platform::OpenMode::ReadWrite);
  ASSERT_TRUE(file.Ok());
  auto r = health::ReadIntoImage(healed, file.Value(), {{100, 2}}, Settings, {});
  file.Value().Close();
  ASSERT_TRUE(r.Ok());
  EXPECT_TRUE(r.Value().Unreadable.empty());
  EXPECT_EQ(healed.Reads, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{100, 2}}));
  EXPECT_EQ(testsupport::ReadAll(Path), Bytes);
}

TEST_F(DiscReader, WeakSectorsReadAfterRetriesAndTheRetriesAreBounded) {
  WeakSource weak(Bytes);
  weak.Weak = {{50, 0}};
  weak.Tries = 6;  // 32, 16, 8, 4, 2, 1 sectors fail; one retry of the sector reads
  Settings.SectorRetries = 1;
  auto r = Copy(weak, {{0, 64}});
  ASSERT_TRUE(r.Ok());
  EXPECT_TRUE(r.Value().Unreadable.empty());
  EXPECT_EQ(testsupport::ReadAll(Path).size(), std::size_t{kSectors} * 2048);

  WeakSource hopeless(Bytes);
  hopeless.Weak = {{10, 0}};
  hopeless.Tries = 1000;
  Settings.SectorRetries = 3;
  r = Copy(hopeless, {{0, 32}});
  ASSERT_TRUE(r.Ok());
  EXPECT_EQ(r.Value().Unreadable, (std::vector<SectorRange>{{10, 1}}));
  // Halving 32 sectors takes 2 reads per level; the bad sector gets 3 more.
  EXPECT_LE(hopeless.ReadCount, 2 * 6 + 3);
}

TEST_F(DiscReader, CancellingStopsAndReportsWhatIsLeft) {
  iso::ImageSource disc(Bytes);
  int progress = 0;
  health::ReadCallbacks callbacks;
  callbacks.Progress = [&](std::uint64_t done, std::uint64_t total, std::uint64_t) {
    EXPECT_LE(done, total);
    ++progress;
  };
  callbacks.Cancelled = [&progress] { return progress >= 2; };
  auto r = Copy(disc, {{0, 100}, {200, 50}}, callbacks);
  ASSERT_TRUE(r.Ok());
  EXPECT_TRUE(r.Value().Cancelled);
  EXPECT_EQ(r.Value().NotDone, (std::vector<SectorRange>{{64, 36}, {200, 50}}));
}

}  // namespace

namespace {

TEST(SectorRanges, WithoutCutsRangesApart) {
  using R = std::vector<SectorRange>;
  EXPECT_EQ(health::Without(R{{0, 10}, {20, 5}}, R{{2, 2}, {8, 14}, {24, 1}}), (R{{0, 2}, {4, 4}, {22, 2}}));
  EXPECT_EQ(health::Without(R{{5, 5}}, R{}), (R{{5, 5}}));
  EXPECT_EQ(health::Without(R{{5, 5}}, R{{0, 100}}), R{});
  EXPECT_EQ(health::Without(R{{5, 1}, {7, 1}}, R{{6, 1}}), (R{{5, 1}, {7, 1}}));
}

}  // namespace
