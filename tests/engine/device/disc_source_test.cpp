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
