// The drive and medium queries against the virtual recorder, medium by
// medium, blank, with a session and closed.
#include "engine/device/media_types.h"
#include "engine/device/scsi_device.h"
#include "engine/device/transport.h"
#include "engine/device/write_params.h"
#include "vdrive/recorder_fixture.h"
#include "vdrive/registration.h"

namespace vdrivetest {
namespace {

using vdrive::TMedia;

struct TMediumRow {
  const char* Name;
  TMedia Media;
  std::uint8_t Code;
  const char* ProfileName;
  bool Erasable;
  bool Sequential;  // recorded at the next writable address, closes into sessions
};

const TMediumRow kRows[] = {
    {"CdR", TMedia::CdR, 2, "CD-R", false, true},
    {"CdRw", TMedia::CdRw, 3, "CD-RW", true, true},
    {"DvdR", TMedia::DvdR, 5, "DVD-R", false, true},
    {"DvdRwSequential", TMedia::DvdRw, 9, "DVD-RW Sequential Recording", true, true},
    {"DvdRwRestricted", TMedia::DvdRwRo, 8, "DVD-RW Restricted Overwrite", true, false},
    {"DvdPlusR", TMedia::DvdPlusR, 11, "DVD+R", false, true},
    {"DvdPlusRDl", TMedia::DvdPlusRDl, 12, "???????", false, true},
    {"DvdPlusRw", TMedia::DvdPlusRw, 10, "DVD+RW", true, false},
    {"DvdRam", TMedia::DvdRam, 6, "DVD-RAM", true, false},
};

class MediaQueries : public RecorderTest, public ::testing::WithParamInterface<TMediumRow> {
 protected:
  void SetUp() override {
    const TMediumRow& row = GetParam();
    Make(row.Media, 30000);
    Recorder.reset();
    device::FinalizeTransport();
    Shared = std::make_shared<vdrive::TVirtualRecorder>(Path, &Clock);
    Shared->SetLogFile("");
    device::RegisterDriveProvider("vdrive-queries", [this] {
      std::vector<std::unique_ptr<device::TPassThroughDrive>> drives;
      drives.push_back(vdrive::MakePassThroughDrive(Shared));
      return drives;
    });
    Device.SetSleeper(Sleeper);
    ASSERT_TRUE(Device.InitASPI(true, ""));
    for (const auto& line : Device.DeviceList())
      if (line.find("VIRTUAL RECORDER") != std::string::npos) Device.SelectDevice(line);
    ASSERT_EQ(Device.DeviceType(), 5);
    Device.SetCurrentMediaType(Device.DetectMediaType());
  }
  void TearDown() override {
    device::FinalizeTransport();
    device::UnregisterDriveProvider("vdrive-queries");
  }
  // One session of `blocks` blocks written the way the writer does it.
  void WriteSession(std::uint32_t blocks, bool finalize) {
    const std::uint8_t code = GetParam().Code;
    Device.SetFinalizeDisc(finalize);
    if (GetParam().Sequential) {
      ASSERT_TRUE(Device.SetWriteParameters(false, false, code, finalize));
    }
    if (code == device::kMediumDvdprw) {  // a blank DVD+RW takes no data before its format
      ASSERT_TRUE(Device.FormatUnit(device::kFormatDvdPlusRw));
      Device.WaitForReady(600000, 2000);
    }
    const std::uint32_t start = GetParam().Sequential ? NextWritable() : 0;
    std::vector<std::uint8_t> data(32 * 2048, 0);
    for (std::uint32_t lba = 0; lba < blocks; lba += 32) {
      ASSERT_TRUE(Device.Write10(start + lba, 32, data)) << lba << " " << Device.LastErrorText();
    }
    ASSERT_TRUE(Device.SynchronizeCache(device::TImmediate::No, 120000));
    if (GetParam().Sequential) {
      const std::uint8_t track = static_cast<std::uint8_t>(Device.SessionCount() + 1);
      if (code != device::kMediumCdr && code != device::kMediumCdrw)
        Device.CloseTrackSession(device::TImmediate::No, 1, 0, 0, track);
      ASSERT_TRUE(Device.CloseTrackSession(device::TImmediate::No, finalize ? 5 : 2, 0, 0, 0))
          << Device.LastErrorText();
    }
    Device.SetFinalizeDisc(false);
  }
  std::uint32_t NextWritable() {
    Device.ReadDiscInformation();
    EXPECT_TRUE(Device.ReadTrackInformation(static_cast<std::uint8_t>(Device.LastDiscInfo().Sessions)));
    return Device.LastTrackInfo().NextWritableAddress;
  }

  std::shared_ptr<vdrive::TVirtualRecorder> Shared;
  TClockSleeper Sleeper{Clock};
  device::TSCSIDevice Device;
};

TEST_P(MediaQueries, BlankDisc) {
  const TMediumRow& row = GetParam();
  EXPECT_EQ(Device.DetectMediaType(), row.Code);
  device::TDisc disc;
  Device.GetDiscInfo(disc);
  EXPECT_EQ(disc.Ready, 1);
  EXPECT_EQ(disc.MediaName, row.ProfileName);
  EXPECT_EQ(Device.IsRewritable(), row.Erasable);
  if (row.Sequential) {
    EXPECT_EQ(Device.SessionCount(), 0u);
    EXPECT_EQ(Device.DiscState(), 0);
    EXPECT_EQ(disc.DiscStatus, 0);
    EXPECT_EQ(Device.DiscUsedBlocks(), 0u);
    // CD totals count the lead-out time from 00:00:00, 150 blocks more than
    // can be recorded.
    EXPECT_EQ(Device.DiscFreeBlocks() + (row.Code < 4 ? 150u : 0u), Device.DiscTotalBlocks());
  }
  EXPECT_GT(Device.DiscTotalBlocks(), 20000u);
}

TEST_P(MediaQueries, SessionThenClosed) {
  const TMediumRow& row = GetParam();
  WriteSession(320, false);
  if (row.Sequential) {
    EXPECT_EQ(Device.DiscState(), 1) << "appendable";
    EXPECT_EQ(Device.SessionCount(), 1u);
    const std::uint32_t used = Device.DiscUsedBlocks(), free = Device.DiscFreeBlocks();
    // A sequential DVD-RW counts the empty track of the open session only.
    if (row.Code != device::kMediumDvdrwSequential) {
      EXPECT_GE(used, 320u);
    }
    EXPECT_GT(free, 0u);
    EXPECT_LE(used + free, Device.DiscTotalBlocks() + 1);
    WriteSession(64, true);
    EXPECT_EQ(Device.DiscState(), 2) << "closed";
    EXPECT_EQ(Device.SessionCount(), 2u);
    EXPECT_EQ(Device.DiscFreeBlocks(), 0u);
  } else {
    device::TDisc disc;
    Device.GetDiscInfo(disc);
    EXPECT_EQ(disc.Ready, 1);
    EXPECT_GT(Device.DiscTotalBlocks(), 20000u);
  }
}

INSTANTIATE_TEST_SUITE_P(Media, MediaQueries, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.Name); });

TEST(MediaQueriesPlain, CurrentWriteSpeedZeroReadsAsDvdSpeedAndBlankCdTotalFromAtip) {
  // The ATIP lead-out of an 80-minute CD-R, 79:59:74, is 359,999 blocks.
  EXPECT_EQ(device::MsfBlocks(79, 59, 74), 359999u);
}

}  // namespace
}  // namespace vdrivetest
