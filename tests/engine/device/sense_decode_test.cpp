// Status, sense-key and additional-sense decoding, the command names and
// the failure log line.
#include "engine/device/device_texts.h"
#include "engine/device/sense.h"
#include "engine/device/device_fixture.h"

namespace devicetest {
namespace {

using device::SRB_ExecSCSICmd;

SRB_ExecSCSICmd Failed(std::uint8_t status, std::uint8_t haStat, std::uint8_t targStat,
                       const std::vector<std::uint8_t>& sense = {}) {
  SRB_ExecSCSICmd srb;
  srb.SRB_Status = status;
  srb.SRB_HaStat = haStat;
  srb.SRB_TargStat = targStat;
  std::copy(sense.begin(), sense.end(), srb.SenseArea.begin());
  return srb;
}

struct TStatusRow {
  std::uint8_t Status, HaStat, TargStat;
  const char* Text;
};

class StatusText : public DeviceFixture, public ::testing::WithParamInterface<TStatusRow> {};

TEST_P(StatusText, FollowsTheStatusTable) {
  const auto& row = GetParam();
  // Sense that would name a key if the status text were CHECK CONDITION.
  Device.DecodeFailure(Failed(row.Status, row.HaStat, row.TargStat, testsupport::FixedSense(2, 0, 0, 0x70, 0)));
  EXPECT_EQ(Device.LastErrorText(), row.Text);
}

INSTANTIATE_TEST_SUITE_P(
    Decode, StatusText,
    ::testing::Values(TStatusRow{1, 0, 0, ""}, TStatusRow{2, 0, 0, "OPERATION ABORTED BY USER"},
                      TStatusRow{3, 0, 0, "OPERATION ABORTED BY USER"}, TStatusRow{4, 0, 0, "NOT READY"},
                      TStatusRow{4, 0, 2, "NOT READY"}, TStatusRow{4, 0, 0x18, "TARGET RESERVATION CONFLICT"},
                      TStatusRow{4, 0, 0x28, "TARGET QUEUE FULL"}, TStatusRow{4, 0, 0x30, "UNKNOWN"},
                      TStatusRow{4, 0x09, 2, "COMMAND TIMEOUT"}, TStatusRow{4, 0x0B, 0, "SRB TIMEOUT"},
                      TStatusRow{4, 0x0D, 0, "MESSAGE REJECT"}, TStatusRow{4, 0x0E, 0, "BUS RESET"},
                      TStatusRow{4, 0x0F, 0, "PARITY ERROR"}, TStatusRow{4, 0x10, 0, "REQUEST SENSE FAILED"},
                      TStatusRow{4, 0x11, 0, "SELECTION TIMEOUT"}, TStatusRow{4, 0x12, 0, "DATA OVERRUN"},
                      TStatusRow{4, 0x13, 0, "UNEXPECTED BUS FREE"}, TStatusRow{4, 0x14, 0, "UNKNOWN"},
                      TStatusRow{0x80, 0, 0, "INVALID REQUEST"}, TStatusRow{0x81, 0, 0, "INVALID HOST ADAPTER"},
                      TStatusRow{0x82, 0, 0, "NO DEVICE"}, TStatusRow{0xE0, 0, 0, "INVALID SRB"},
                      TStatusRow{0xE1, 0, 0, "BUFFER ALIGNMENT"}, TStatusRow{0xE5, 0, 0, "ASPI IS BUSY"},
                      TStatusRow{0xE6, 0, 0, "BUFFER TOO BIG"}, TStatusRow{0x99, 0, 0, "UNKNOWN"}));

struct TSenseRow {
  std::uint8_t Byte0, Byte2;
  const char* Text;
};

class SenseKeyText : public DeviceFixture, public ::testing::WithParamInterface<TSenseRow> {};

TEST_P(SenseKeyText, ReplacesCheckCondition) {
  const auto& row = GetParam();
  auto sense = testsupport::FixedSense(0, 0, 0, row.Byte0, 0);
  sense[2] = row.Byte2;
  Device.DecodeFailure(Failed(4, 0, 2, sense));
  EXPECT_EQ(Device.LastErrorText(), row.Text);
}

INSTANTIATE_TEST_SUITE_P(
    Decode, SenseKeyText,
    ::testing::Values(TSenseRow{0x70, 0x80, "FILEMARK"}, TSenseRow{0x70, 0x40, "END OF MEDIA"},
                      TSenseRow{0x70, 0x20, "ILLEGAL LENGTH"}, TSenseRow{0x70, 0x00, "NO ADDITIONAL SENSE INFORMATION"},
                      TSenseRow{0x70, 0xC0, "FILEMARK"}, TSenseRow{0x70, 1, "RECOVERED ERROR"},
                      TSenseRow{0x70, 2, "NOT READY"}, TSenseRow{0x70, 3, "MEDIUM ERROR"},
                      TSenseRow{0x70, 4, "HARDWARE ERROR"}, TSenseRow{0x70, 5, "ILLEGAL REQUEST"},
                      TSenseRow{0x70, 6, "UNIT ATTENTION"}, TSenseRow{0x70, 7, "DATA PROTECT"},
                      TSenseRow{0x70, 8, "ERASE CHECK"}, TSenseRow{0x70, 9, "CHECK CONDITION"},
                      TSenseRow{0x70, 10, "COPYABORTED"}, TSenseRow{0x70, 11, "ABORTED COMMAND"},
                      TSenseRow{0x70, 12, "CHECK CONDITION"}, TSenseRow{0x70, 13, "VOLUME OVERFLOW"},
                      TSenseRow{0x70, 14, "MISCOMPARE"}, TSenseRow{0x70, 15, "RESERVED"},
                      // Deferred errors decode like current ones; the valid bit changes nothing.
                      TSenseRow{0x71, 3, "MEDIUM ERROR"}, TSenseRow{0xF0, 2, "NOT READY"},
                      TSenseRow{0xF1, 5, "ILLEGAL REQUEST"},
                      // An unknown response code is not decoded.
                      TSenseRow{0x01, 5, "UNKNOWN"},
                      // No sense at all: the failure keeps a text.
                      TSenseRow{0x00, 5, "CHECK CONDITION"}));

TEST_F(DeviceFixture, AdditionalSenseIsBracketedOnlyWithAnAdditionalLength) {
  Device.DecodeFailure(Failed(4, 0, 2, testsupport::FixedSense(5, 0x30, 0x05)));
  EXPECT_EQ(Device.LastErrorText(), "ILLEGAL REQUEST (CANNOT WRITE MEDIUM - INCOMPATIBLE FORMAT)");
  Device.DecodeFailure(Failed(4, 0, 2, testsupport::FixedSense(5, 0x30, 0x0A)));
  EXPECT_EQ(Device.LastErrorText(), "ILLEGAL REQUEST (48,10)");
  Device.DecodeFailure(Failed(4, 0, 2, testsupport::FixedSense(5, 0x30, 0x05, 0x70, 0)));
  EXPECT_EQ(Device.LastErrorText(), "ILLEGAL REQUEST");
  EXPECT_EQ(Device.LastSense()[12], 0x30);
  EXPECT_EQ(Device.LastSense()[13], 0x05);
}

struct TDecodeRow {
  const char* Name;
  std::vector<std::uint8_t> Bytes;
  device::TSense Want;
};

class SenseFormats : public ::testing::TestWithParam<TDecodeRow> {};

TEST_P(SenseFormats, DecodeToOneValue) {
  const TDecodeRow& row = GetParam();
  const device::TSense got = device::DecodeSense(row.Bytes);
  EXPECT_EQ(got.ResponseCode, row.Want.ResponseCode);
  EXPECT_EQ(got.Key, row.Want.Key);
  EXPECT_EQ(got.Asc, row.Want.Asc);
  EXPECT_EQ(got.Ascq, row.Want.Ascq);
  EXPECT_EQ(got.Filemark, row.Want.Filemark);
  EXPECT_EQ(got.EndOfMedium, row.Want.EndOfMedium);
  EXPECT_EQ(got.IncorrectLength, row.Want.IncorrectLength);
  EXPECT_EQ(got.Progress, row.Want.Progress);
}

device::TSense Want(std::uint8_t code, std::uint8_t key, std::uint8_t asc, std::uint8_t ascq, bool fm = false,
                    bool eom = false, bool ili = false, std::optional<std::uint16_t> progress = std::nullopt) {
  device::TSense s;
  s.Progress = progress;
  s.ResponseCode = code;
  s.Key = key;
  s.Asc = asc;
  s.Ascq = ascq;
  s.Filemark = fm;
  s.EndOfMedium = eom;
  s.IncorrectLength = ili;
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Decode, SenseFormats,
    ::testing::Values(
        TDecodeRow{"FixedCurrent", {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A, 0x01}, Want(0x70, 2, 0x3A, 1)},
        TDecodeRow{"FixedDeferredValid", {0xF1, 0, 0xE3, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x11, 0x05},
                   Want(0x71, 3, 0x11, 5, true, true, true)},
        TDecodeRow{"DescriptorCurrent", {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0}, Want(0x72, 5, 0x24, 0)},
        TDecodeRow{"DescriptorDeferred", {0x73, 0x02, 0x04, 0x01, 0, 0, 0, 0}, Want(0x73, 2, 0x04, 1)},
        // The stream commands descriptor carries filemark, end of medium and length.
        TDecodeRow{"DescriptorStreamFlags", {0x72, 0x00, 0x00, 0x00, 0, 0, 0, 16, 0x00, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                              0x04, 0x02, 0, 0x60},
                   Want(0x72, 0, 0, 0, false, true, true)},
        // A descriptor that claims more than was given is read no further.
        TDecodeRow{"DescriptorCut", {0x72, 0x00, 0x00, 0x00, 0, 0, 0, 200, 0x04, 0x02, 0}, Want(0x72, 0, 0, 0)},
        // Progress of a format: valid only with SKSV, and only for NOT READY or NO SENSE.
        TDecodeRow{"FixedProgress", {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x04, 0x04, 0, 0x80, 0x40, 0x01},
                   Want(0x70, 2, 0x04, 4, false, false, false, 0x4001)},
        TDecodeRow{"FixedProgressNotValid", {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x04, 0x04, 0, 0x00, 0x40, 0x01},
                   Want(0x70, 2, 0x04, 4)},
        TDecodeRow{"FixedFieldPointerIsNoProgress",
                   {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00, 0, 0xC0, 0x00, 0x02}, Want(0x70, 5, 0x24, 0)},
        TDecodeRow{"DescriptorProgress", {0x72, 0x02, 0x04, 0x07, 0, 0, 0, 8, 0x02, 0x06, 0, 0, 0x80, 0x12, 0x34, 0},
                   Want(0x72, 2, 0x04, 7, false, false, false, 0x1234)},
        TDecodeRow{"ShortFixed", {0x70, 0, 0x06}, Want(0x70, 6, 0, 0)},
        TDecodeRow{"Empty", {}, Want(0, 0, 0, 0)}, TDecodeRow{"Unknown", {0x7F, 5, 0x24, 0}, Want(0x7F, 0, 0, 0)}),
    [](const ::testing::TestParamInfo<TDecodeRow>& p) { return std::string(p.param.Name); });

TEST_F(DeviceFixture, DescriptorSenseReadsLikeFixedSense) {
  // NOT READY, becoming ready, in descriptor format: the same text and the
  // same not-ready answer as the fixed format.
  const std::vector<std::uint8_t> descriptor = {0x72, 0x02, 0x04, 0x01, 0, 0, 0, 0};
  Device.DecodeFailure(Failed(4, 0, 2, descriptor));
  EXPECT_EQ(Device.Sense().Key, 2);
  EXPECT_TRUE(Device.Sense().NotReady());
  const std::string descriptorText = Device.LastErrorText();
  Device.DecodeFailure(Failed(4, 0, 2, testsupport::FixedSense(2, 0x04, 0x01)));
  EXPECT_EQ(descriptorText, Device.LastErrorText());
  EXPECT_NE(descriptorText.find("NOT READY ("), std::string::npos);
  EXPECT_TRUE(Device.Sense().NotReady());
}

TEST(AdditionalSense, HasTheListedKeysAndTheQuotedRows) {
  using device::texts::AdditionalSenseText;
  EXPECT_EQ(device::texts::AdditionalSenseCount(), 256u);
  const std::pair<std::pair<int, int>, const char*> quoted[] = {
      {{0x00, 0x16}, "OPERATION IN PROGRESS"},
      {{0x04, 0x02}, "LOGICAL UNIT NOT READY, INITIALIZING CMD. REQUIRED"},
      {{0x04, 0x08}, "LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS"},
      {{0x08, 0x03}, "LOGICAL UNIT COMMUNICATION CRC ERROR (ULTRA-DMA/32)"},
      {{0x0B, 0x00}, "WARNING"},
      {{0x18, 0x01}, "RECOVERED DATA WITH ERROR CORR. & RETRIES APPLIED"},
      {{0x30, 0x00}, "INCOMPATIBLE MEDIUM INSTALLED"},
      {{0x30, 0x10}, "MEDIUM NOT FORMATTED"},
      {{0x3A, 0x04}, "MEDIUM NOT PRESENT - MEDIUM AUXILIARY MEMORY ACCESSIBLE"},
      {{0x5D, 0xFF}, "FAILURE PREDICTION THRESHOLD EXCEEDED (FALSE)"},
      {{0x6F, 0x02}, "COPY PROTECTION KEY EXCHANGE FAILURE - KEY NOT ESTABLISHED"},
      {{0x73, 0x06}, "RMA/PMA IS ALMOST FULL"}};
  for (const auto& [key, text] : quoted) {
    const char* found = AdditionalSenseText(static_cast<std::uint8_t>(key.first), static_cast<std::uint8_t>(key.second));
    ASSERT_NE(found, nullptr) << key.first << "/" << key.second;
    EXPECT_STREQ(found, text);
  }
  // Keys the list leaves out, next to keys it has.
  EXPECT_EQ(AdditionalSenseText(0x04, 0x05), nullptr);
  EXPECT_EQ(AdditionalSenseText(0x30, 0x0A), nullptr);
  EXPECT_EQ(AdditionalSenseText(0x3B, 0x10), nullptr);
  EXPECT_EQ(AdditionalSenseText(0x5D, 0x04), nullptr);
  EXPECT_NE(AdditionalSenseText(0x26, 0x0D), nullptr);
  EXPECT_NE(AdditionalSenseText(0x3F, 0x11), nullptr);
}

TEST_F(DeviceFixture, BusyIsSetByTheFailureAndClearedByTheNextCommand) {
  testsupport::TScriptStep busy;
  busy.Cdb = {0, 0, 0, 0, 0, 0};
  busy.Status = device::kSsErr;
  busy.TargStat = device::kTargStatBusy;
  Transport->Expect(busy);
  EXPECT_FALSE(Device.TestUnitReady(5000));
  EXPECT_EQ(Device.LastErrorText(), "TARGET BUSY");
  EXPECT_TRUE(Device.TargetBusy());
  Transport->Expect(testsupport::TScriptStep{{0, 0, 0, 0, 0, 0}, {}, device::kSsComp, 0, 0, {}});
  EXPECT_TRUE(Device.TestUnitReady(5000));
  EXPECT_FALSE(Device.TargetBusy());
  EXPECT_EQ(Device.LastErrorText(), "");
}

TEST(CommandName, NamesArePaddedAndUnnamedCodesAreTwoHexDigits) {
  EXPECT_EQ(device::TSCSIDevice::CommandName(0x00), "TEST UNIT READY       ");
  EXPECT_EQ(device::TSCSIDevice::CommandName(0x4A), "GET EVENT/STATUS NOTIF");
  EXPECT_EQ(device::TSCSIDevice::CommandName(0x1E), "PREVENT/ALLOW REMOVAL ");
  EXPECT_EQ(device::TSCSIDevice::CommandName(0x02), "02");
  EXPECT_EQ(device::TSCSIDevice::CommandName(0xAB), "AB");
  EXPECT_EQ(device::TSCSIDevice::CommandName(0xFE), "FE");
}

TEST_F(DeviceFixture, FailureLogLineIsByteExact) {
  std::array<std::uint8_t, 4> data{1, 2, 3, 4};
  SRB_ExecSCSICmd srb = Failed(4, 0, 2, testsupport::FixedSense(5, 0x24, 0x00));
  srb.SRB_HaId = 1;
  srb.SRB_Target = 12;
  srb.SRB_Lun = 0;
  srb.SRB_Flags = 0x50;
  srb.SRB_CDBLen = 12;
  srb.SRB_BufLen = 4;
  srb.SRB_BufPointer = data.data();
  srb.CDBByte = {0xBF, 0, 0, 0, 0, 0, 0, 0x05, 0, 0x04};
  Device.DecodeFailure(srb);
  EXPECT_EQ(Device.FailureLogLine(srb),
            "<<< SEND DVD STRUCTURE     (BF) {50|0C} - 1:C:0 <04> [00004] "
            "00 00 00 00 00 00 05 00 04 00 00 00 00 00 00  |01 02 03 04 = 00 02 70 05 ASC:24,ASQ:00 "
            "ILLEGAL REQUEST (INVALID FIELD IN CDB)");
  srb.CDBByte[0] = 0xAB;
  srb.SRB_BufLen = 0;
  EXPECT_EQ(Device.FailureLogLine(srb).substr(0, 10), "<<< AB (AB");
  EXPECT_NE(Device.FailureLogLine(srb).find("[00000] "), std::string::npos);
  EXPECT_NE(Device.FailureLogLine(srb).find(" |= 00 02"), std::string::npos);
}

TEST_F(DeviceFixture, OnlyTheFirstCommandOfADeviceIsLoggedAndOnlyWhenWorthIt) {
  const std::vector<std::uint8_t> read{0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0};
  std::vector<std::uint8_t> data;
  Transport->Expect(testsupport::Failing(read, testsupport::FixedSense(3, 0x11, 0)), 2);
  Device.SetOneShotLogDone(false);
  EXPECT_FALSE(Device.Read10(0, 1, data));
  EXPECT_FALSE(Device.Read10(0, 1, data));
  ASSERT_EQ(Log.size(), 1u);
  EXPECT_EQ(Log[0].Kind, device::kMsgDriveError);
  EXPECT_EQ(Log[0].Text.substr(0, 14), "<<< READ (10) ");
  EXPECT_NE(Log[0].Text.find("MEDIUM ERROR (UNRECOVERED READ ERROR)"), std::string::npos);

  // A quiet operation code, and a long write in progress, use up the one shot silently.
  Log.clear();
  Device.SetOneShotLogDone(false);
  Transport->Expect(testsupport::Failing({0x51, 0, 0, 0, 0, 0, 0, 0, 0x38, 0}, testsupport::FixedSense(2, 0x3A, 0)));
  EXPECT_FALSE(Device.ReadDiscInformation());
  Device.SetOneShotLogDone(false);
  Transport->Expect(testsupport::Failing(read, testsupport::FixedSense(2, 0x04, 0x08)));
  EXPECT_FALSE(Device.Read10(0, 1, data));
  EXPECT_TRUE(Device.OneShotLogDone());
  EXPECT_TRUE(Log.empty());
}

}  // namespace
}  // namespace devicetest
