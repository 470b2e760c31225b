// WaitForReady through each of its loops, with pauses recorded instead of waited.
#include "engine/device/device_fixture.h"

namespace devicetest {
namespace {

using testsupport::Failing;
using testsupport::FixedSense;
using testsupport::TScriptStep;

const std::vector<std::uint8_t> kTur{0, 0, 0, 0, 0, 0};
const std::vector<std::uint8_t> kDiscInfo{0x51, 0, 0, 0, 0, 0, 0, 0, 0x38, 0};
const std::vector<std::uint8_t> kRequestSense{0x03, 0, 0, 0, 40, 0};

TScriptStep Good(std::vector<std::uint8_t> cdb, std::vector<std::uint8_t> data = {}) {
  TScriptStep s;
  s.Cdb = std::move(cdb);
  s.Data = std::move(data);
  return s;
}

std::vector<std::uint8_t> Ops(const testsupport::TScriptedTransport& t) {
  std::vector<std::uint8_t> ops;
  for (const auto& c : t.Sent) ops.push_back(c.Srb.CDBByte[0]);
  return ops;
}

TEST_F(DeviceFixture, SlowReadyDrivesArePolledWithTestUnitReadyFirst) {
  Device.SetSlowReadyQuirk(true);
  Transport->Expect(Failing(kTur, FixedSense(2, 0x04, 0x01)), 2);
  Transport->Expect(Good(kTur));
  Transport->Expect(Good(kDiscInfo));
  Transport->Expect(Good(kTur));
  EXPECT_TRUE(Device.WaitForReady(60000, 500));
  EXPECT_EQ(Sleeper.Sleeps, (std::vector<std::uint32_t>{1500, 1500, 1500}));
  EXPECT_EQ(Transport->Remaining(), 0u);
}

TEST_F(DeviceFixture, DvdRamSkipsTheDiscInformationLoopAndEndsWithRequestSense) {
  Device.SetMediumCode(device::kMediumDvdRam);
  Transport->Expect(Good(kTur));
  Transport->Expect(Good(kTur));
  Transport->Expect(Good(kRequestSense));  // no sense: ready
  EXPECT_TRUE(Device.WaitForReady(60000, 250));
  EXPECT_EQ(Ops(*Transport), (std::vector<std::uint8_t>{0x00, 0x00, 0x03}));
  EXPECT_EQ(Sleeper.Sleeps, std::vector<std::uint32_t>{250});
}

TEST_F(DeviceFixture, RequestSenseLoopWaitsOutBecomingReady) {
  Transport->Expect(Failing(kDiscInfo, FixedSense(2, 0x04, 0x01)));
  Transport->Expect(Good(kDiscInfo));
  Transport->Expect(Failing(kTur, FixedSense(6, 0x28, 0x00)));  // unit attention: not 04h
  Transport->Expect(Failing(kTur, FixedSense(6, 0x28, 0x00)));
  Transport->Expect(Good(kRequestSense, FixedSense(2, 0x04, 0x01)));
  Transport->Expect(Good(kRequestSense, FixedSense(2, 0x00, 0x00, 0xF0)));  // F0h counts as not ready
  Transport->Expect(Good(kRequestSense, FixedSense(0, 0x00, 0x00)));
  EXPECT_TRUE(Device.WaitForReady(60000, 100));
  EXPECT_EQ(Transport->Remaining(), 0u);
  EXPECT_EQ(Sleeper.Sleeps, (std::vector<std::uint32_t>{100, 100, 100, 100}));
}

TEST_F(DeviceFixture, RunningOutOfBudgetGivesUp) {
  Transport->Expect(Failing(kDiscInfo, FixedSense(2, 0x04, 0x04)), 10);
  EXPECT_FALSE(Device.WaitForReady(1000, 100));
  EXPECT_EQ(Transport->Sent.size(), 10u);
  EXPECT_EQ(Sleeper.Sleeps, std::vector<std::uint32_t>(10, 100));
}

TEST_F(DeviceFixture, ADriveWithoutADiscDoesNotHoldTheWaitForever) {
  Transport->Expect(Good(kDiscInfo));
  Transport->Expect(Failing(kTur, FixedSense(2, 0x3A, 0x00)), 2);
  Transport->Expect(Good(kRequestSense, FixedSense(2, 0x3A, 0x00)), 100);
  EXPECT_FALSE(Device.WaitForReady(1000, 100));
  std::uint64_t waited = 0;
  for (auto ms : Sleeper.Sleeps) waited += ms;
  EXPECT_EQ(waited, 1000u);
}

TEST_F(DeviceFixture, AStepLongerThanTheBudgetWaitsOnlyTheBudget) {
  Transport->Expect(Failing(kDiscInfo, FixedSense(2, 0x04, 0x01)), 2);
  EXPECT_FALSE(Device.WaitForReady(3000, 5000));
  EXPECT_EQ(Sleeper.Sleeps, std::vector<std::uint32_t>{3000});
}

TEST_F(DeviceFixture, DiscInformationOfAnEmptyDriveDoesNotWait) {
  Transport->Expect(Failing(kTur, FixedSense(2, 0x3A, 0x00)));
  device::TDisc disc;
  disc.TotalBlocks = 77;
  Device.GetDiscInfo(disc);
  EXPECT_TRUE(Sleeper.Sleeps.empty());
  EXPECT_EQ(Transport->Sent.size(), 1u);
  EXPECT_EQ(disc.TotalBlocks, 77u);  // the caller's record is left as it was
}

}  // namespace
}  // namespace devicetest
