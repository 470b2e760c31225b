// The built-in layer over a fake drive table: initialisation, adapter
// inquiry, the drive list, selection, and ExecuteSRB's own rules.
#include <gtest/gtest.h>

#include <memory>

#include "engine/device/builtin_layer.h"
#include "engine/device/passthrough_drive.h"
#include "platform/scsi_passthrough.h"
#include "engine/device/device_fixture.h"

namespace devicetest {
namespace {

struct TDriveLog {
  int Opens = 0;
  int Closes = 0;
  int Commands = 0;
  std::vector<std::uint8_t> LastCdb;
  std::vector<std::uint32_t> Timeouts;  // of every command sent to the drive
};

class TFakeDrive final : public device::TPassThroughDrive {
 public:
  TFakeDrive(std::vector<std::uint8_t> inquiry, std::optional<platform::ScsiAddress> address, char letter,
             std::shared_ptr<TDriveLog> log, bool busy = false)
      : FInquiry(std::move(inquiry)), FAddress(address), FLetter(letter), FLog(std::move(log)), FBusy(busy) {}
  bool Open() override {
    ++FLog->Opens;
    FOpen = true;
    return true;
  }
  void Close() override {
    if (FOpen) ++FLog->Closes;
    FOpen = false;
  }
  bool IsOpen() const override { return FOpen; }
  platform::ScsiOutcome Execute(std::span<const std::uint8_t> cdb, platform::ScsiDirection, std::span<std::uint8_t> data,
                                std::span<std::uint8_t> sense, std::uint32_t timeoutMs) override {
    ++FLog->Commands;
    FLog->Timeouts.push_back(timeoutMs);
    FLog->LastCdb.assign(cdb.begin(), cdb.end());
    if (cdb[0] == 0x12) {
      std::copy_n(FInquiry.begin(), std::min(FInquiry.size(), data.size()), data.begin());
      return {true, 0, 0, 0};
    }
    if (FBusy) return {true, device::kTargStatBusy, 0, 0};
    if (cdb[0] == 0x00) return {true, 0, 0, 0};
    // Anything else: ILLEGAL REQUEST / INVALID COMMAND OPERATION CODE.
    const std::uint8_t fixed[14] = {0x70, 0, 5, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0};
    std::copy_n(fixed, std::min(sizeof fixed, sense.size()), sense.begin());
    return {true, device::kTargStatCheckCondition, 0, 0};
  }
  std::optional<platform::ScsiAddress> Address() override { return FAddress; }
  char DriveLetter() const override { return FLetter; }
  std::string Location() const override { return "fake"; }

 private:
  std::vector<std::uint8_t> FInquiry;
  std::optional<platform::ScsiAddress> FAddress;
  char FLetter;
  std::shared_ptr<TDriveLog> FLog;
  bool FBusy;
  bool FOpen = false;
};

class BuiltInLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    device::FinalizeTransport();
    device::SetCloseHandleAfterCommand(true);
    if (!platform::ListOpticalDrives().empty()) GTEST_SKIP() << "this machine has optical drives";
    Device.SetSleeper(Sleeper);
    Device.OnDebugMessage = [this](device::TSCSIDevice&, const std::string& m, std::uint8_t kind) {
      Log.push_back(std::to_string(kind) + " " + m);
    };
  }
  void TearDown() override {
    device::UnregisterDriveProvider("fake");
    device::FinalizeTransport();
    device::SetCloseHandleAfterCommand(true);
  }
  // Registers drives made fresh at every scan.
  void Provide(std::function<std::vector<std::unique_ptr<device::TPassThroughDrive>>()> make) {
    device::RegisterDriveProvider("fake", std::move(make));
  }
  std::unique_ptr<device::TPassThroughDrive> Drive(std::uint8_t type, const std::string& fields,
                                                   std::optional<platform::ScsiAddress> address, char letter = 0,
                                                   bool busy = false) {
    return std::make_unique<TFakeDrive>(InquiryAnswer(type, fields), address, letter, DriveLog, busy);
  }

  std::shared_ptr<TDriveLog> DriveLog = std::make_shared<TDriveLog>();
  testsupport::TFakeSleeper Sleeper;
  TTestDevice Device;
  std::vector<std::string> Log;
};

TEST_F(BuiltInLayer, WithoutDrivesOrLibraryNothingLoadsAndNothingIsSent) {
  EXPECT_FALSE(device::InitializeTransport(false, ""));
  EXPECT_FALSE(Device.InitASPI(true, ""));
  EXPECT_FALSE(Device.ASPIInitialized());
  EXPECT_EQ(device::TransportName(), "");
  EXPECT_TRUE(Device.DeviceList().empty());
  device::SRB_ExecSCSICmd srb;
  srb.SRB_Flags = device::kFlagsNoData;
  EXPECT_EQ(Device.ExecuteSRB(srb, 5000), device::kExecuteNotSent);
  EXPECT_EQ(srb.SRB_Status, device::kSsPending);
  EXPECT_TRUE(Sleeper.Waits.empty());
}

TEST_F(BuiltInLayer, IsTheFallbackWhenNoLibraryLoads) {
  Provide([this] {
    std::vector<std::unique_ptr<device::TPassThroughDrive>> v;
    v.push_back(Drive(5, "VENDOR  PRODUCT         1.00", platform::ScsiAddress{0, 1, 0}, 'E'));
    return v;
  });
  EXPECT_TRUE(Device.InitASPI(false, ""));
  EXPECT_EQ(device::TransportName(), "KVASPI32");
  EXPECT_FALSE(device::UseSPTI());
  ASSERT_EQ(Device.DeviceList().size(), 1u);
  EXPECT_EQ(Device.DeviceList()[0], "0:1:0,E: VENDOR  PRODUCT         1.00");
}

TEST_F(BuiltInLayer, UnaddressedDrivesSitOnOneExtraAdapterAndTypeFourIsMarked) {
  Provide([this] {
    std::vector<std::unique_ptr<device::TPassThroughDrive>> v;
    v.push_back(Drive(5, "AAAAAAAAUNADDRESSED     1.01", std::nullopt, 'D'));
    v.push_back(Drive(5, "BBBBBBBBADDRESSED       2.02", platform::ScsiAddress{1, 0, 0}));
    v.push_back(Drive(4, "CCCCCCCCWORM            3.03", std::nullopt));
    v.push_back(Drive(0, "DDDDDDDDA DISK          4.04", platform::ScsiAddress{0, 2, 0}));
    return v;
  });
  ASSERT_TRUE(Device.InitASPI(true, ""));
  EXPECT_EQ(Device.HostAdapterCount(), 3);
  const std::vector<std::string> expected{
      "1:0:0,?: BBBBBBBBADDRESSED       2.02",
      "2:0:0,D: AAAAAAAAUNADDRESSED     1.01",
      "2:1:0,?: CCCCCCCCWORM            3.03 (not supported)",
  };
  EXPECT_EQ(Device.DeviceList(), expected);
  // Each drive was asked once, while the table was built.
  EXPECT_EQ(DriveLog->Commands, 4);
  EXPECT_EQ(device::GetASPI32SupportInfo(), 0x0103u);
}

TEST_F(BuiltInLayer, ScanReportsTheLayerAndEachAdapterWhenVerbose) {
  class TVerbose : public TTestDevice {
   protected:
    bool DebugLogging() const override { return true; }
  } verbose;
  std::vector<std::string> lines;
  verbose.OnDebugMessage = [&](device::TSCSIDevice&, const std::string& m, std::uint8_t kind) {
    lines.push_back(std::to_string(kind) + " " + m);
  };
  Provide([this] {
    std::vector<std::unique_ptr<device::TPassThroughDrive>> v;
    v.push_back(Drive(5, "", platform::ScsiAddress{0, 0, 0}));
    return v;
  });
  ASSERT_TRUE(verbose.InitASPI(true, ""));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "1 >>> KVASPI32");
  EXPECT_EQ(lines[1].substr(0, 6), "1 >>> ");
  EXPECT_EQ(lines[1].substr(lines[1].size() - 9), " (SPTI 0)");
}

TEST_F(BuiltInLayer, AdapterInquiryGivesCountIdentifierAndLimits) {
  Provide([this] {
    std::vector<std::unique_ptr<device::TPassThroughDrive>> v;
    v.push_back(Drive(5, "", platform::ScsiAddress{1, 0, 0}));
    return v;
  });
  ASSERT_TRUE(device::InitializeTransport(true, ""));
  device::TSRB srb = device::SRB_HAInquiry{};
  std::get<device::SRB_HAInquiry>(srb).SRB_HaId = 1;
  EXPECT_EQ(device::SendASPI32Command(&srb), device::kSsComp);
  const auto& ha = std::get<device::SRB_HAInquiry>(srb);
  EXPECT_EQ(ha.HA_Count, 2);
  EXPECT_EQ(ha.HA_SCSI_ID, 7);
  const std::array<std::uint8_t, 8> identifier{'S', 'P', 'T', 'I', ' ', '1', 0, 0};
  EXPECT_TRUE(std::equal(identifier.begin(), identifier.end(), ha.HA_Identifier.begin()));
  // Record offsets 42..49: alignment mask 7, 8 targets, FF0000h bytes.
  const std::array<std::uint8_t, 8> unique{7, 0, 0, 8, 0, 0, 0xFF, 0};
  EXPECT_TRUE(std::equal(unique.begin(), unique.end(), ha.HA_Unique.begin()));

  std::get<device::SRB_HAInquiry>(srb).SRB_HaId = 2;
  EXPECT_EQ(device::SendASPI32Command(&srb), device::kSsInvalidHa);
  EXPECT_EQ(device::SendASPI32Command(nullptr), device::kSsErr);

  device::TSRB type = device::SRB_GDEVBlock{};
  std::get<device::SRB_GDEVBlock>(type).SRB_HaId = 1;
  device::SendASPI32Command(&type);
  EXPECT_EQ(std::get<device::SRB_GDEVBlock>(type).SRB_DeviceType, 5);
  std::get<device::SRB_GDEVBlock>(type).SRB_Target = 3;
  EXPECT_EQ(device::SendASPI32Command(&type), device::kSsNoDevice);
  EXPECT_EQ(std::get<device::SRB_GDEVBlock>(type).SRB_DeviceType, 31);

  device::TSRB disk = device::SRB_GetDiskInfo{};
  EXPECT_EQ(device::SendASPI32Command(&disk), device::kSsErr);
  EXPECT_EQ(std::get<device::SRB_GetDiskInfo>(disk).SRB_Status, device::kSsPending);
}

TEST_F(BuiltInLayer, SelectionIdentifiesOrRejectsTheDrive) {
  Provide([this] {
    std::vector<std::unique_ptr<device::TPassThroughDrive>> v;
    v.push_back(Drive(5, std::string("VENDOR\x01\x02" "PRODUCT NAME\x1f\x1f\x1f\x1f" "1.0\x00", 28),
                      platform::ScsiAddress{0, 0, 0}));
    v.push_back(Drive(0, "", platform::ScsiAddress{0, 1, 0}));
    return v;
  });
  ASSERT_TRUE(Device.InitASPI(true, ""));
  Device.SelectDevice("0:0:0,?: whatever");
  EXPECT_EQ(Device.DeviceType(), 5);
  EXPECT_EQ(Device.DeviceId(), "0:0:0,?: whatever");
  EXPECT_EQ(Device.DeviceName(), "VENDOR   PRODUCT NAME     1.0 ");
  EXPECT_TRUE(Log.empty());

  Device.SelectDevice("0:0:");
  EXPECT_EQ(Log, std::vector<std::string>{"0 INVALID DEVICE ID / NOT A CD OR DVD DRIVE"});
  EXPECT_EQ(Device.HostAdapter(), 254);
  EXPECT_EQ(Device.DeviceType(), 127);
  EXPECT_EQ(Device.DeviceId(), "");
  EXPECT_EQ(Device.DeviceName(), "");

  Log.clear();
  Device.SelectDevice("0:0:0,?:");
  Device.SelectDevice("");
  EXPECT_TRUE(Log.empty());
  EXPECT_EQ(Device.Target(), 254);

  for (const char* id : {"0:1:0,?: a disk", "0:5:0,?: nothing there", "x:0:0,?: not digits", "0:0:254,?: no unit",
                         "0:0:0:0,?: four fields"}) {
    Log.clear();
    Device.SelectDevice(id);
    EXPECT_EQ(Log, std::vector<std::string>{"0 INVALID DEVICE ID / NOT A CD OR DVD DRIVE"}) << id;
    EXPECT_EQ(Device.Lun(), 254) << id;
  }
}

TEST_F(BuiltInLayer, InquiryIsAnsweredFromTheTableWhileTheDriveIsBusy) {
  Provide([this] {
    std::vector<std::unique_ptr<device::TPassThroughDrive>> v;
    v.push_back(Drive(5, "BUSY", platform::ScsiAddress{0, 0, 0}, 0, true));
    return v;
  });
  ASSERT_TRUE(Device.InitASPI(true, ""));
  Device.SelectDevice("0:0:0,?: BUSY");
  const int commands = DriveLog->Commands;
  EXPECT_TRUE(Device.Inquiry());
  EXPECT_EQ(DriveLog->Commands, commands);
  EXPECT_FALSE(Device.TestUnitReady(5000));
  EXPECT_TRUE(Device.TargetBusy());
  EXPECT_EQ(Device.LastErrorText(), "TARGET BUSY");
}

TEST_F(BuiltInLayer, TheSelectedDriveKeepsOneHandleAndClosesOnlyWhenAsked) {
  Provide([this] {
    std::vector<std::unique_ptr<device::TPassThroughDrive>> v;
    v.push_back(Drive(5, "", platform::ScsiAddress{0, 0, 0}));
    return v;
  });
  ASSERT_TRUE(Device.InitASPI(true, ""));
  // The handle the scan opened serves the selection and every command after it.
  Device.SelectDevice("0:0:0,?: X");
  EXPECT_TRUE(Device.TestUnitReady(5000));
  EXPECT_TRUE(Device.TestUnitReady(5000));
  EXPECT_EQ(DriveLog->Opens, 1);
  EXPECT_EQ(DriveLog->Closes, 0);
  // Ejecting closes its handle and leaves handles open afterwards.
  EXPECT_FALSE(Device.StartStopUnit(device::TStartStop::Eject));
  EXPECT_EQ(DriveLog->LastCdb, (std::vector<std::uint8_t>{0x1B, 0, 0, 0, 2, 0}));
  EXPECT_EQ(DriveLog->Closes, DriveLog->Opens);
  EXPECT_FALSE(device::CloseHandleAfterCommand());
  EXPECT_TRUE(Device.TestUnitReady(5000));
  EXPECT_TRUE(Device.TestUnitReady(5000));
  EXPECT_EQ(DriveLog->Opens, 2);
  EXPECT_EQ(DriveLog->Closes, 1);
  // The switch, where a layer asks for it, still closes after each command.
  device::SetCloseHandleAfterCommand(true);
  EXPECT_TRUE(Device.TestUnitReady(5000));
  EXPECT_TRUE(Device.TestUnitReady(5000));
  EXPECT_EQ(DriveLog->Opens, 3);
  EXPECT_EQ(DriveLog->Closes, DriveLog->Opens);
  EXPECT_EQ(Device.LastErrorText(), "");
}

TEST_F(BuiltInLayer, DrivesPastHostNineAndTargetSevenAreListedAndSelected) {
  Provide([this] {
    std::vector<std::unique_ptr<device::TPassThroughDrive>> v;
    v.push_back(Drive(5, "HOST12  TARGET9 LUN8    1.00", platform::ScsiAddress{12, 9, 8}));
    v.push_back(Drive(5, "HOST12  FIRST           1.00", platform::ScsiAddress{12, 0, 0}));
    v.push_back(Drive(5, "UNADDRESSED             1.00", std::nullopt));
    return v;
  });
  ASSERT_TRUE(Device.InitASPI(true, ""));
  // The drive without an address sits on the adapter after the highest.
  const std::vector<std::string> expected{
      "12:0:0,?: HOST12  FIRST           1.00",
      "12:9:8,?: HOST12  TARGET9 LUN8    1.00",
      "13:0:0,?: UNADDRESSED             1.00",
  };
  EXPECT_EQ(Device.DeviceList(), expected);
  for (const auto& line : expected) {
    Device.SelectDevice(line);
    EXPECT_EQ(Device.DeviceId(), line);
    EXPECT_EQ(Device.DeviceType(), 5) << line;
  }
  Device.SelectDevice(expected[1]);
  EXPECT_EQ(Device.HostAdapter(), 12);
  EXPECT_EQ(Device.Target(), 9);
  EXPECT_EQ(Device.Lun(), 8);
  EXPECT_TRUE(Log.empty());
  device::TSRB srb = device::SRB_HAInquiry{};
  std::get<device::SRB_HAInquiry>(srb).SRB_HaId = 12;
  device::SendASPI32Command(&srb);
  const std::array<std::uint8_t, 8> identifier{'S', 'P', 'T', 'I', ' ', '1', '2', 0};
  EXPECT_TRUE(std::equal(identifier.begin(), identifier.end(), std::get<device::SRB_HAInquiry>(srb).HA_Identifier.begin()));
}

TEST_F(BuiltInLayer, TheCommandsOwnTimeOutReachesThePassThrough) {
  Provide([this] {
    std::vector<std::unique_ptr<device::TPassThroughDrive>> v;
    v.push_back(Drive(5, "", platform::ScsiAddress{0, 0, 0}));
    return v;
  });
  ASSERT_TRUE(Device.InitASPI(true, ""));
  Device.SelectDevice("0:0:0,?: X");
  DriveLog->Timeouts.clear();
  Device.SynchronizeCache(device::TImmediate::No, 1800000);  // the 30-minute flush
  Device.CloseTrackSession(device::TImmediate::No, 2, 0, 0, 0);  // the 3-minute close
  Device.Blank(0);  // the long erase
  Device.TestUnitReady(5000);  // short ones still get the 10-second floor
  EXPECT_EQ(DriveLog->Timeouts, (std::vector<std::uint32_t>{1800000, 180000, 4800000, 10000}));
}

TEST_F(BuiltInLayer, ReinitialisingForgetsTheTableAndScansAgain) {
  int drives = 1;
  Provide([this, &drives] {
    std::vector<std::unique_ptr<device::TPassThroughDrive>> v;
    for (int i = 0; i < drives; ++i)
      v.push_back(Drive(5, "", platform::ScsiAddress{0, static_cast<std::uint8_t>(i), 0}));
    return v;
  });
  ASSERT_TRUE(device::InitializeTransport(true, ""));
  drives = 2;
  ASSERT_TRUE(device::InitializeTransport(true, ""));  // the table stays as it was
  Device.HostAdapterInquiry(0);
  Device.ScanDevices();
  EXPECT_EQ(Device.DeviceList().size(), 1u);
  device::ReinitializeTransport();
  EXPECT_TRUE(device::UseSPTI());
  Device.ScanDevices();
  EXPECT_EQ(Device.DeviceList().size(), 2u);
}

TEST_F(DeviceFixture, ATimeOutWaitsAtLeastTenSecondsAndIsReported) {
  Transport->SetDeferred(true);  // the layer never completes
  EXPECT_FALSE(Device.TestUnitReady(5000));
  EXPECT_EQ(Sleeper.Waits, std::vector<std::uint32_t>{10000});
  EXPECT_EQ(Device.LastErrorText(), "COMMAND TIMEOUT");

  device::SRB_ExecSCSICmd srb;
  srb.SRB_Flags = device::kFlagsNoData;
  EXPECT_EQ(Device.ExecuteSRB(srb, 30000), 1u);
  EXPECT_EQ(Sleeper.Waits.back(), 30000u);
  EXPECT_EQ(srb.SRB_Status, device::kSsErr);
  EXPECT_EQ(srb.SRB_HaStat, device::kHaStatTimeout);
  EXPECT_EQ(srb.SRB_Cmd, device::kScExecScsiCmd);
  EXPECT_EQ(srb.SRB_SenseLen, 24);
}

TEST_F(DeviceFixture, AMisalignedBufferIsReported) {
  alignas(4) std::array<std::uint8_t, 16> buffer{};
  Transport->Expect(testsupport::TScriptStep{{0x28, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {}, device::kSsComp, 0, 0, {}});
  device::SRB_ExecSCSICmd srb;
  srb.SRB_Flags = device::kFlagsRead;
  srb.SRB_CDBLen = 10;
  srb.CDBByte[0] = 0x28;
  srb.SRB_BufPointer = buffer.data() + 1;
  srb.SRB_BufLen = 8;
  Device.ExecuteSRB(srb, 10000);
  ASSERT_EQ(Log.size(), 1u);
  EXPECT_EQ(Log[0].Text, "aaaa" + std::to_string(reinterpret_cast<std::uintptr_t>(buffer.data() + 1)));
  EXPECT_EQ(Log[0].Kind, device::kMsgDriveError);
}

}  // namespace
}  // namespace devicetest

namespace devicetest {
namespace {

TEST(DeviceAddress, FieldsAreWholeNumbers) {
  using device::ParseDeviceAddress;
  using device::TDeviceAddress;
  EXPECT_EQ(ParseDeviceAddress("0:1:0,E: VENDOR"), (TDeviceAddress{0, 1, 0}));
  EXPECT_EQ(ParseDeviceAddress("12:10:7,?: X"), (TDeviceAddress{12, 10, 7}));
  EXPECT_EQ(ParseDeviceAddress("253:253:253"), (TDeviceAddress{253, 253, 253}));
  EXPECT_EQ(ParseDeviceAddress("007:0:0,"), (TDeviceAddress{7, 0, 0}));
  for (const char* bad : {"", "1", "1:2", "1:2:", "1:2:3:", "1:2:3 ", "254:0:0", "0:256:0", "1000:0:0", "a:0:0",
                          "1::0,", "-1:0:0", "1:2,3", " 1:2:3"})
    EXPECT_FALSE(ParseDeviceAddress(bad)) << bad;
}

}  // namespace
}  // namespace devicetest
