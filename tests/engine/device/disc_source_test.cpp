// Sessions read from a drive: the commands sent and their answers decoded.
#include "device_fixture.h"
#include "engine/device_disc_source.h"

namespace devicetest {
namespace {

using testsupport::TScriptStep;

class DriveDiscSource : public DeviceFixture {
 protected:
  void DiscInfo(std::uint8_t status, std::uint8_t sessions) {
    TScriptStep s;
    s.Cdb = {0x51, 0, 0, 0, 0, 0, 0, 0, 0x38, 0};
    s.Data.assign(56, 0);
    s.Data[2] = status;
    s.Data[4] = sessions;
    Transport->Expect(s);
  }
  engine::DeviceDiscSource Source{Device};
};

TEST_F(DriveDiscSource, LastSessionLeavesOutTheEmptyOne) {
  DiscInfo(0x01, 3);  // appendable, last session empty
  EXPECT_EQ(Source.LastSession(), 2);
  DiscInfo(0x0E, 3);  // complete, last session complete
  EXPECT_EQ(Source.LastSession(), 3);
  DiscInfo(0x00, 1);  // blank
  EXPECT_EQ(Source.LastSession(), 0);
}

TEST_F(DriveDiscSource, TrackTableAndReads) {
  TScriptStep track;
  track.Cdb = {0x52, 1, 0, 0, 0, 2, 0, 0, 0x28, 0};
  track.Data.assign(40, 0);
  track.Data[1] = 0x26;
  track.Data[10] = 0x2C;  // start 0x2C00
  track.Data[26] = 0x01;  // size 0x100
  Transport->Expect(track);
  const auto t = Source.TrackInfo(2);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->Start, 0x2C00u);
  EXPECT_EQ(t->Size, 0x100u);

  TScriptStep toc;
  toc.Cdb = {0x43, 2, 0, 0, 0, 0, 0xAA, 0, 12, 0};
  toc.Data = {0, 10, 1, 2, 0, 0x14, 0xAA, 0, 0, 70, 3, 4};
  Transport->Expect(toc);
  EXPECT_EQ(Source.TocAddress(0xAA), 70u * 4500 + 3 * 75 + 4);

  // 40 sectors go as 32 and 8.
  TScriptStep first;
  first.Cdb = {0x28, 0, 0, 0, 0, 100, 0, 0, 32, 0};
  first.Data.assign(32 * 2048, 0xAB);
  TScriptStep second;
  second.Cdb = {0x28, 0, 0, 0, 0, 132, 0, 0, 8, 0};
  second.Data.assign(8 * 2048, 0xCD);
  Transport->Expect(first);
  Transport->Expect(second);
  std::vector<std::uint8_t> out(40 * 2048);
  ASSERT_TRUE(Source.ReadSectors(100, 40, out).Ok());
  EXPECT_EQ(out[32 * 2048 - 1], 0xAB);
  EXPECT_EQ(out[32 * 2048], 0xCD);
  // A failed read is a failure, not zeros.
  Transport->Expect(testsupport::Failing({0x28, 0, 0, 0, 0, 5, 0, 0, 1, 0}, testsupport::FixedSense(3, 0x11, 0)));
  EXPECT_FALSE(Source.ReadSectors(5, 1, out).Ok());
}

}  // namespace
}  // namespace devicetest

namespace devicetest {
namespace {

using testsupport::Failing;
using testsupport::FixedSense;

const auto kInvalidOpcode = FixedSense(5, 0x20, 0);

TScriptStep Answer(std::vector<std::uint8_t> cdb, std::vector<std::uint8_t> data) {
  TScriptStep s;
  s.Cdb = std::move(cdb);
  s.Data = std::move(data);
  return s;
}

// A TOC answer in LBA form: header with its length, then (track, start) pairs.
std::vector<std::uint8_t> Toc(std::size_t allocation, std::vector<std::pair<std::uint8_t, std::uint32_t>> entries) {
  std::vector<std::uint8_t> d(4, 0);
  d[2] = 1;
  d[3] = 1;
  for (const auto& [track, start] : entries) {
    d.insert(d.end(), {0, 0x14, track, 0, static_cast<std::uint8_t>(start >> 24), static_cast<std::uint8_t>(start >> 16),
                       static_cast<std::uint8_t>(start >> 8), static_cast<std::uint8_t>(start)});
  }
  const std::size_t length = d.size() - 2;
  d[0] = static_cast<std::uint8_t>(length >> 8);
  d[1] = static_cast<std::uint8_t>(length);
  d.resize(allocation, 0);
  return d;
}

std::vector<std::uint8_t> Capacity(std::uint32_t lastLba) {
  return {static_cast<std::uint8_t>(lastLba >> 24), static_cast<std::uint8_t>(lastLba >> 16),
          static_cast<std::uint8_t>(lastLba >> 8), static_cast<std::uint8_t>(lastLba), 0, 0, 8, 0};
}

const std::vector<std::uint8_t> kTrackInfo1 = {0x52, 1, 0, 0, 0, 1, 0, 0, 0x28, 0};
const std::vector<std::uint8_t> kTocFrom1 = {0x43, 0, 0, 0, 0, 0, 1, 0, 20, 0};
const std::vector<std::uint8_t> kReadCapacity = {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const std::vector<std::uint8_t> kTocLeadOut = {0x43, 0, 0, 0, 0, 0, 0xAA, 0, 12, 0};

TEST_F(DriveDiscSource, WithoutTrackInformationTheTocGivesStartAndSize) {
  // Track 1 and the lead-out: the size runs to the lead-out.
  Transport->Expect(Failing(kTrackInfo1, kInvalidOpcode));
  Transport->Expect(Answer(kTocFrom1, Toc(20, {{1, 0}, {0xAA, 1650}})));
  auto t = Source.TrackInfo(1);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->Start, 0u);
  EXPECT_EQ(t->Size, 1650u);

  // Only the track's own entry came back: READ CAPACITY ends it.
  Transport->Expect(Failing(kTrackInfo1, kInvalidOpcode));
  Transport->Expect(Answer(kTocFrom1, Toc(20, {{1, 16}})));
  Transport->Expect(Answer(kReadCapacity, Capacity(1649)));
  t = Source.TrackInfo(1);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->Start, 16u);
  EXPECT_EQ(t->Size, 1634u);

  // An entry for another track is not this track's.
  Transport->Expect(Failing({0x52, 1, 0, 0, 0, 3, 0, 0, 0x28, 0}, kInvalidOpcode));
  Transport->Expect(Answer({0x43, 0, 0, 0, 0, 0, 3, 0, 20, 0}, Toc(20, {{4, 500}, {0xAA, 900}})));
  EXPECT_FALSE(Source.TrackInfo(3));

  // A TOC whose length field holds no descriptor gives nothing.
  Transport->Expect(Failing(kTrackInfo1, kInvalidOpcode));
  Transport->Expect(Answer(kTocFrom1, std::vector<std::uint8_t>(20, 0)));
  EXPECT_FALSE(Source.TrackInfo(1));
  EXPECT_EQ(Transport->Remaining(), 0u);
}

TEST_F(DriveDiscSource, TheDiscIsBoundedByItsReadableEnd) {
  // The larger of READ CAPACITY's count and the lead-out, asked once per disc.
  Transport->Expect(Answer(kReadCapacity, Capacity(1649)));
  Transport->Expect(Answer(kTocLeadOut, Toc(12, {{0xAA, 1700}})));
  EXPECT_EQ(Source.SectorCount(), 1700u);
  EXPECT_EQ(Source.SectorCount(), 1700u);
  EXPECT_EQ(Transport->Remaining(), 0u);

  // A new disc is asked again; a drive that tells only its capacity.
  DiscInfo(0x0E, 1);
  Source.LastSession();
  Transport->Expect(Answer(kReadCapacity, Capacity(1649)));
  Transport->Expect(Failing(kTocLeadOut, kInvalidOpcode));
  EXPECT_EQ(Source.SectorCount(), 1650u);

  // Neither answers: unknown, so no record is refused for it.
  DiscInfo(0x0E, 1);
  Source.Ready();
  Transport->Expect(Failing(kReadCapacity, kInvalidOpcode));
  Transport->Expect(Failing(kTocLeadOut, kInvalidOpcode));
  EXPECT_EQ(Source.SectorCount(), 0u);
}

}  // namespace
}  // namespace devicetest
