// zantic-cli devices, on a machine without optical drives and with one
// drive brought in through the drive-provider seam.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "appcore/drive_select.h"
#include "cli/devices.h"
#include "engine/device/scsi_device.h"
#include "engine/kavo_burner.h"
#include "engine/device/passthrough_drive.h"
#include "engine/device/transport.h"
#include "platform/scsi_passthrough.h"
#include "support/temp_dir.h"
#include "vdrive/disc_image.h"
#include "vdrive/registration.h"

namespace {

class TOneDrive final : public device::TPassThroughDrive {
 public:
  explicit TOneDrive(std::optional<platform::ScsiAddress> address = std::nullopt) : FAddress(address) {}
  bool Open() override { return FOpen = true; }
  void Close() override { FOpen = false; }
  bool IsOpen() const override { return FOpen; }
  platform::ScsiOutcome Execute(std::span<const std::uint8_t>, platform::ScsiDirection, std::span<std::uint8_t> data,
                                std::span<std::uint8_t>, std::uint32_t) override {
    const std::string id = "VENDOR  A DRIVE         1.00";
    data[0] = 5;
    std::copy(id.begin(), id.end(), data.begin() + 8);
    return {true, 0, 0, 0};
  }
  std::optional<platform::ScsiAddress> Address() override { return FAddress; }
  char DriveLetter() const override { return 0; }
  std::string Location() const override { return "/tmp/disc.img"; }

 private:
  std::optional<platform::ScsiAddress> FAddress;
  bool FOpen = false;
};

std::string Capture(const std::vector<std::string>& args, int& rc) {
  std::FILE* out = std::tmpfile();
  rc = cli::RunDevices(args, out, out);
  std::rewind(out);
  std::string text;
  for (int c; (c = std::fgetc(out)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(out);
  return text;
}

class DevicesCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    device::FinalizeTransport();
    if (!platform::ListOpticalDrives().empty()) GTEST_SKIP() << "this machine has optical drives";
  }
  void TearDown() override {
    device::UnregisterDriveProvider("cli-test");
    device::FinalizeTransport();
  }
};

TEST_F(DevicesCommand, SaysSoWhenThereIsNoDrive) {
  int rc = -1;
  EXPECT_EQ(Capture({}, rc), cli::kNoTransport);
  EXPECT_EQ(rc, 0);
}

TEST_F(DevicesCommand, PrintsTheDeviceListLineAndWhereTheDriveIs) {
  device::RegisterDriveProvider("cli-test", [] {
    std::vector<std::unique_ptr<device::TPassThroughDrive>> v;
    v.push_back(std::make_unique<TOneDrive>());
    return v;
  });
  int rc = -1;
  // Unaddressed, it sits on the extra adapter after adapter 0.
  EXPECT_EQ(Capture({}, rc), "1:0:0,?: VENDOR  A DRIVE         1.00\t/tmp/disc.img\n");
  EXPECT_EQ(rc, 0);
  Capture({"--bogus"}, rc);
  EXPECT_EQ(rc, 2);
}

// USB drives get host numbers above 9 after a few replugs.
TEST_F(DevicesCommand, ADriveOnHostTwelveIsListedAndSelectedByLineAddressAndNode) {
  device::RegisterDriveProvider("cli-test", [] {
    std::vector<std::unique_ptr<device::TPassThroughDrive>> v;
    v.push_back(std::make_unique<TOneDrive>(platform::ScsiAddress{12, 9, 0}));
    return v;
  });
  int rc = -1;
  const std::string line = "12:9:0,?: VENDOR  A DRIVE         1.00";
  EXPECT_EQ(Capture({}, rc), line + "\t/tmp/disc.img\n");
  EXPECT_EQ(rc, 0);
  for (const std::string& wanted : {line, std::string("12:9:0"), std::string("/tmp/disc.img")}) {
    device::TSCSIDevice drive;
    const auto choice = appcore::SelectDrive(drive, wanted);
    ASSERT_TRUE(choice.Selected()) << wanted << ": " << choice.Text;
    EXPECT_EQ(drive.DeviceId(), line);
    EXPECT_EQ(drive.HostAdapter(), 12);
    EXPECT_EQ(drive.Target(), 9);
  }
  device::TSCSIDevice drive;
  const auto missing = appcore::SelectDrive(drive, "1:9:0");
  EXPECT_EQ(missing.Outcome, appcore::DriveSelection::NotFound);
  EXPECT_EQ(missing.Text, "no drive matches 1:9:0 (see zantic-cli devices)");
  // Nothing named and nothing that writes is a case of its own.
  device::TSCSIDevice any;
  EXPECT_EQ(appcore::SelectDrive(any, "").Outcome, appcore::DriveSelection::NoWriter);
}

TEST_F(DevicesCommand, ADiscFileNamedAsTheDriveIsFoundWhateverItsName) {
  // ":" separates the files of ZANTIC_VDISC; the path must not go through it.
  testsupport::TempDir dir;
  const std::string disc = dir.Str() + "/rehearsal:2.zvd";
  ASSERT_TRUE(vdrive::TDiscFile::Create(disc, vdrive::BlankDisc(vdrive::TMedia::CdR, 2000)));
  cli::RegisterRecorders({"-V", "X", "--device", disc, "a.txt"});
  engine::TKavoBurner burner;
  const auto choice = appcore::SelectDrive(burner, disc);
  EXPECT_EQ(choice.Outcome, appcore::DriveSelection::Selected) << choice.Text;
  EXPECT_TRUE(appcore::CanWrite(burner));
  EXPECT_EQ(burner.DriveLocation(), disc);
  EXPECT_EQ(burner.DeviceList().size(), 1u);
  vdrive::UnregisterVirtualRecorders();
}

}  // namespace
