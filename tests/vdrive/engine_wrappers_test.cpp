// The engine's command wrappers and readiness wait, through the built-in
// layer, against the virtual recorder: the two sides were written from the
// standard apart, so each keeps the other honest.
#include "engine/device/scsi_device.h"
#include "engine/device/transport.h"
#include "vdrive/recorder_fixture.h"
#include "vdrive/registration.h"

namespace vdrivetest {
namespace {

using vdrive::TMedia;

class EngineOnRecorder : public RecorderTest {
 protected:
  void Attach(TMedia media, std::uint32_t blocks) {
    Make(media, blocks);
    device::FinalizeTransport();
    Shared = std::make_shared<vdrive::TVirtualRecorder>(Path, &Clock);
    Shared->SetLogFile("");
    device::RegisterDriveProvider("vdrive-test", [this] {
      std::vector<std::unique_ptr<device::TPassThroughDrive>> drives;
      drives.push_back(vdrive::MakePassThroughDrive(Shared));
      return drives;
    });
    Device.SetSleeper(Sleeper);
    ASSERT_TRUE(Device.InitASPI(true, ""));
    std::string line;
    for (const auto& l : Device.DeviceList())
      if (l.find("ZANTIC  VIRTUAL RECORDER1.00") != std::string::npos) line = l;
    ASSERT_FALSE(line.empty());
    Device.SelectDevice(line);
    ASSERT_EQ(Device.DeviceType(), 5);
    EXPECT_NE(Device.DriveLocation().find("disc.zvd"), std::string::npos);
  }
  void TearDown() override {
    device::FinalizeTransport();
    device::UnregisterDriveProvider("vdrive-test");
  }

  std::shared_ptr<vdrive::TVirtualRecorder> Shared;
  TClockSleeper Sleeper{Clock};
  device::TSCSIDevice Device;
};

TEST_F(EngineOnRecorder, QuickBlankIsWaitedForAndLeavesABlankDisc) {
  Attach(TMedia::CdRw, 20000);
  std::vector<std::uint8_t> block(32 * 2048, 0x77);
  ASSERT_TRUE(Device.Write10(0, 32, block));
  ASSERT_TRUE(Device.CloseTrackSession(device::TImmediate::Yes, false, false));
  ASSERT_TRUE(Device.WaitForReady(30000, 500));
  ASSERT_TRUE(Device.Blank(1));
  EXPECT_FALSE(Device.TestUnitReady(5000));
  EXPECT_EQ(Device.LastSense()[12], 0x04);
  EXPECT_NE(Device.LastErrorText().find("NOT READY"), std::string::npos) << Device.LastErrorText();
  const std::int64_t started = Clock.Now;
  ASSERT_TRUE(Device.WaitForReady(30000, 500));
  EXPECT_GE(Clock.Now - started, 1500);  // most of the two simulated seconds
  ASSERT_TRUE(Device.ReadDiscInformation());
  EXPECT_EQ(Device.LastDiscInfo().DiscStatus(), 0);
  EXPECT_TRUE(Device.LastDiscInfo().Erasable());
}

TEST_F(EngineOnRecorder, QueriesDecodeWhatTheRecorderAnswers) {
  Attach(TMedia::DvdPlusRw, 8192);
  ASSERT_TRUE(Device.GetConfiguration(0x2A));
  EXPECT_EQ(Device.Configuration().CurrentProfile, 0x001A);
  EXPECT_EQ(Device.Configuration().Feature, 0x002A);
  EXPECT_EQ(Device.Configuration().FeatureFlags & 0x01, 1);
  std::array<std::uint8_t, 12> list = {0, 0x82, 0, 8, 0x00, 0x23, 0x05, 0x40, 0x98, 0, 0, 0};
  ASSERT_TRUE(Device.FormatUnit(list));
  ASSERT_TRUE(Device.WaitForReady(30000, 1000));
  ASSERT_TRUE(Device.ReadTrackInformation(1));
  EXPECT_EQ(Device.LastTrackInfo().TrackSize, 8192u);
  std::uint32_t last = 0, length = 0;
  ASSERT_TRUE(Device.ReadCapacity(last, length));
  EXPECT_EQ(last, 8191u);
  EXPECT_EQ(length, 2048u);
  ASSERT_TRUE(Device.SetCdSpeed(0xFFFF, 6000));
  ASSERT_TRUE(Device.ReadBufferCapacity());
  EXPECT_EQ(Device.DeviceBufferSize(), vdrive::kBufferSize);
}

}  // namespace
}  // namespace vdrivetest
