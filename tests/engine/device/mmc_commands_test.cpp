// Every wrapper's command block, direction, length and time-out, as the
// command table gives them.
#include <array>
#include <functional>

#include "engine/device/device_texts.h"
#include "engine/device/device_fixture.h"

namespace devicetest {
namespace {

using device::TSCSIDevice;

struct TCommandRow {
  const char* Name;
  std::function<bool(TSCSIDevice&)> Call;
  std::vector<std::uint8_t> Cdb;
  std::uint8_t Flags;
  std::uint32_t Length;
  std::uint32_t TimeoutMs;
};

std::vector<std::uint8_t> Buffer(std::size_t n) { return std::vector<std::uint8_t>(n, 0); }

const TCommandRow kRows[] = {
    {"TestUnitReady", [](TSCSIDevice& d) { return d.TestUnitReady(5000); }, {0, 0, 0, 0, 0, 0}, 0x40, 0, 5000},
    {"RezeroUnit", [](TSCSIDevice& d) { return d.RezeroUnit(); }, {1, 0, 0, 0, 0, 0}, 0x40, 0, 10000},
    {"RequestSense",
     [](TSCSIDevice& d) {
       std::array<std::uint8_t, 40> b{};
       return d.RequestSense(b);
     },
     {0x03, 0, 0, 0, 40, 0}, 0x48, 40, 10000},
    {"FormatUnit",
     [](TSCSIDevice& d) {
       const std::array<std::uint8_t, 12> p{};
       return d.FormatUnit(p);
     },
     {0x04, 0x11, 0, 0, 0, 0}, 0x50, 12, 10000},
    {"Inquiry", [](TSCSIDevice& d) { return d.Inquiry(); }, {0x12, 0, 0, 0, 0x80, 0}, 0x48, 128, 10000},
    {"Eject", [](TSCSIDevice& d) { return d.StartStopUnit(device::TStartStop::Eject); }, {0x1B, 0, 0, 0, 2, 0}, 0x40, 0, 20000},
    {"Load", [](TSCSIDevice& d) { return d.StartStopUnit(device::TStartStop::Load); }, {0x1B, 0, 0, 0, 3, 0}, 0x40, 0, 20000},
    {"Prevent", [](TSCSIDevice& d) { return d.PreventAllowMediumRemoval(device::TRemoval::Prevent); },
     {0x1E, 0, 0, 0, 1, 0}, 0x40, 0, 10000},
    {"Allow", [](TSCSIDevice& d) { return d.PreventAllowMediumRemoval(device::TRemoval::Allow); },
     {0x1E, 0, 0, 0, 0, 0}, 0x40, 0, 10000},
    {"ReadFormatCapacities",
     [](TSCSIDevice& d) {
       auto b = Buffer(0);
       return d.ReadFormatCapacities(b);
     },
     {0x23, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0}, 0x48, 248, 10000},
    {"ReadCapacity",
     [](TSCSIDevice& d) {
       std::uint32_t a = 0, b = 0;
       return d.ReadCapacity(a, b);
     },
     {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x48, 8, 10000},
    {"Read10",
     [](TSCSIDevice& d) {
       auto b = Buffer(0);
       return d.Read10(0x01020304, 3, b);
     },
     {0x28, 0, 1, 2, 3, 4, 0, 0, 3, 0}, 0x48, 3 * 2048, 10000},
    {"Write10",
     [](TSCSIDevice& d) {
       auto b = Buffer(2 * 2048);
       return d.Write10(0x00A0B0C0, 2, b);
     },
     {0x2A, 0, 0, 0xA0, 0xB0, 0xC0, 0, 0, 2, 0}, 0x50, 2 * 2048, 120000},
    {"SynchronizeCacheImmediate", [](TSCSIDevice& d) { return d.SynchronizeCache(device::TImmediate::Yes, 30000); },
     {0x35, 2, 0, 0, 0, 0, 0, 0, 0, 0}, 0x40, 0, 30000},
    {"ReadTocMsf",
     [](TSCSIDevice& d) {
       auto b = Buffer(0);
       return d.ReadTocPmaAtip(device::TAddressForm::Msf, 2, 1, 0xFF, 0x80, b);
     },
     {0x43, 2, 2, 0, 0, 0, 1, 0, 0xFF, 0x80}, 0x48, 255, 10000},
    {"GetConfiguration", [](TSCSIDevice& d) { return d.GetConfiguration(0x2F); },
     {0x46, 2, 0, 0x2F, 0, 0, 0, 0, 0x72, 0}, 0x48, 114, 30000},
    {"ReadDiscInformation", [](TSCSIDevice& d) { return d.ReadDiscInformation(); },
     {0x51, 0, 0, 0, 0, 0, 0, 0, 0x38, 0}, 0x48, 56, 10000},
    {"ReadTrackInformation", [](TSCSIDevice& d) { return d.ReadTrackInformation(7); },
     {0x52, 1, 0, 0, 0, 7, 0, 0, 0x28, 0}, 0x48, 40, 60000},
    {"ReserveTrack", [](TSCSIDevice& d) { return d.ReserveTrack(0x11223344); },
     {0x53, 0, 0, 0, 0, 0x11, 0x22, 0x33, 0x44, 0, 0, 0}, 0x40, 0, 10000},
    {"SendOpcInformation", [](TSCSIDevice& d) { return d.SendOpcInformation(); },
     {0x54, 1, 0, 0, 0, 0, 0, 0, 0, 0}, 0x40, 0, 150000},
    {"ModeSelect10",
     [](TSCSIDevice& d) {
       auto b = Buffer(0x13C);
       return d.ModeSelect10(b);
     },
     {0x55, 0x10, 0, 0, 0, 0, 0, 0, 0x3C, 0}, 0x50, 0x13C, 10000},
    {"ModeSenseDefaults",
     [](TSCSIDevice& d) {
       auto b = Buffer(0x104);
       return d.ModeSense10(0x2A, device::TModeValues::Default, b);
     },
     {0x5A, 0, 0xAA, 0, 0, 0, 0, 0x01, 0x04, 0}, 0x48, 0x104, 20000},
    {"CloseTrack", [](TSCSIDevice& d) { return d.CloseTrackSession(device::TImmediate::Yes, false, true); },
     {0x5B, 1, 1, 0, 0, 0xFF, 0, 0, 0, 0}, 0x40, 0, 180000},
    {"CloseSession", [](TSCSIDevice& d) { return d.CloseTrackSession(device::TImmediate::No, false, false); },
     {0x5B, 0, 2, 0, 0, 0, 0, 0, 0, 0}, 0x40, 0, 180000},
    {"Finalize", [](TSCSIDevice& d) { return d.CloseTrackSession(device::TImmediate::Yes, true, false); },
     {0x5B, 1, 5, 0, 0, 0, 0, 0, 0, 0}, 0x40, 0, 180000},
    {"CloseFormB", [](TSCSIDevice& d) { return d.CloseTrackSession(device::TImmediate::Yes, 6, 0x12, 0x34, 0x56); },
     {0x5B, 1, 6, 0x12, 0x34, 0x56, 0, 0, 0, 0}, 0x40, 0, 180000},
    {"ReadBufferCapacity", [](TSCSIDevice& d) { return d.ReadBufferCapacity(); },
     {0x5C, 0, 0, 0, 0, 0, 0, 0, 0x20, 0}, 0x48, 32, 10000},
    {"Blank", [](TSCSIDevice& d) { return d.Blank(1); }, {0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x40, 0, 4800000},
    {"SetStreaming",
     [](TSCSIDevice& d) {
       std::array<std::uint8_t, 28> p{};
       return d.SetStreaming(p);
     },
     {0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 28, 0}, 0x50, 28, 10000},
    {"SetCdSpeedFastest", [](TSCSIDevice& d) { return d.SetCdSpeed(0, 0x0B10); },
     {0xBB, 0, 0xFF, 0xFF, 0x0B, 0x10, 0, 0, 0, 0, 0, 0}, 0x40, 0, 10000},
    {"SendDvdStructure",
     [](TSCSIDevice& d) {
       auto b = Buffer(0x24);
       return d.SendDvdStructure(0x0F, b);
     },
     {0xBF, 0, 0, 0, 0, 0, 0, 0x0F, 0, 0x24, 0, 0}, 0x50, 0x24, 10000},
};

class CommandBlock : public DeviceFixture, public ::testing::WithParamInterface<TCommandRow> {};

TEST_P(CommandBlock, SendsTheTableRow) {
  const TCommandRow& row = GetParam();
  Transport->SetDeferred(true);
  Sleeper.CompleteOnWait = Transport.get();
  testsupport::TScriptStep answer;
  answer.Cdb = row.Cdb;
  Transport->Expect(answer);
  EXPECT_TRUE(row.Call(Device));
  ASSERT_EQ(Transport->Sent.size(), 1u);
  const auto& srb = Transport->Sent[0].Srb;
  EXPECT_EQ(srb.SRB_CDBLen, row.Cdb.size());
  EXPECT_EQ(srb.SRB_Flags, row.Flags);
  EXPECT_EQ(srb.SRB_BufLen, row.Length);
  EXPECT_EQ(srb.SRB_SenseLen, 24);
  EXPECT_EQ(srb.SRB_BufPointer != nullptr, row.Length != 0);
  for (std::size_t i = row.Cdb.size(); i < 16; ++i) EXPECT_EQ(srb.CDBByte[i], 0) << "byte " << i;
  // Nothing waits less than 10 seconds.
  ASSERT_EQ(Sleeper.Waits.size(), 1u);
  EXPECT_EQ(Sleeper.Waits[0], std::max<std::uint32_t>(row.TimeoutMs, 10000));
}

INSTANTIATE_TEST_SUITE_P(Mmc, CommandBlock, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.Name); });

TEST_F(DeviceFixture, LogicalUnitTravelsInByteOneBitsSevenToFive) {
  testsupport::TScriptStep inquiry;
  inquiry.Cdb = {0x12, 0xA0, 0, 0, 0x80, 0};
  inquiry.Data = InquiryAnswer(5, "");
  ExpectNoCapabilities(*Transport, 5);
  Transport->Expect(inquiry);
  Device.SelectDevice("0:0:5,?: X");
  EXPECT_EQ(Device.Lun(), 5);
}

TEST_F(DeviceFixture, CapacityTrackDiscAndConfigurationAnswersAreDecoded) {
  testsupport::TScriptStep step;
  step.Cdb = {0x5C, 0, 0, 0, 0, 0, 0, 0, 0x20, 0};
  step.Data = {0, 0, 0, 0, 0, 0x20, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  Transport->Expect(step);
  ASSERT_TRUE(Device.ReadBufferCapacity());
  EXPECT_EQ(Device.DeviceBufferSize(), 0x200000u);
  EXPECT_EQ(Device.DeviceFreeBufferSize(), 0x200000u);  // all ones: the whole buffer

  Transport->Expect(testsupport::Failing(step.Cdb, testsupport::FixedSense(5, 0x20, 0)));
  EXPECT_FALSE(Device.ReadBufferCapacity());
  EXPECT_EQ(Device.DeviceFreeBufferSize(), 0u);
  EXPECT_EQ(Device.DeviceBufferSize(), 0x200000u);

  step.Cdb = {0x52, 1, 0, 0, 0, 2, 0, 0, 0x28, 0};
  step.Data.assign(40, 0);
  step.Data[1] = 0x26;
  step.Data[11] = 0x10;             // start 16
  step.Data[14] = 0x01;             // next writable 256
  step.Data[19] = 0x05;             // free 5
  step.Data[27] = 0x09;             // size 9
  step.Data[28] = 0x80;             // last recorded 80000000h
  Transport->Expect(step);
  ASSERT_TRUE(Device.ReadTrackInformation(2));
  EXPECT_EQ(Device.LastTrackInfo().DataLength, 0x26);
  EXPECT_EQ(Device.LastTrackInfo().TrackStart, 16u);
  EXPECT_EQ(Device.LastTrackInfo().NextWritableAddress, 256u);
  EXPECT_EQ(Device.LastTrackInfo().FreeBlocks, 5u);
  EXPECT_EQ(Device.LastTrackInfo().TrackSize, 9u);
  EXPECT_EQ(Device.LastTrackInfo().LastRecordedAddress, 0x80000000u);
  // An older drive's 28-byte answer: what lies past it is not a field.
  step.Data[1] = 0x1A;
  Transport->Expect(step);
  ASSERT_TRUE(Device.ReadTrackInformation(2));
  EXPECT_EQ(Device.LastTrackInfo().TrackSize, 9u);
  EXPECT_EQ(Device.LastTrackInfo().LastRecordedAddress, 0u);

  step.Cdb = {0x51, 0, 0, 0, 0, 0, 0, 0, 0x38, 0};
  step.Data.assign(56, 0);
  step.Data[2] = 0x1E;  // erasable, last session state 3, disc status 2
  step.Data[4] = 3;
  step.Data[6] = 4;
  Transport->Expect(step);
  ASSERT_TRUE(Device.ReadDiscInformation());
  EXPECT_TRUE(Device.LastDiscInfo().Erasable());
  EXPECT_EQ(Device.LastDiscInfo().LastSessionState(), 3);
  EXPECT_EQ(Device.LastDiscInfo().DiscStatus(), 2);
  EXPECT_EQ(Device.LastDiscInfo().Sessions, 3);
  EXPECT_EQ(Device.LastDiscInfo().LastTrackInLastSession, 4);

  step.Cdb = {0x46, 2, 0, 0, 0, 0, 0, 0, 0x72, 0};
  step.Data.assign(114, 0);
  step.Data[7] = 0x1B;   // DVD+R
  step.Data[9] = 0x2F;
  step.Data[10] = 0x0B;
  Transport->Expect(step);
  ASSERT_TRUE(Device.GetConfiguration(0));
  EXPECT_EQ(Device.Configuration().CurrentProfile, 0x1B);
  EXPECT_EQ(Device.Configuration().Feature, 0x2F);
  EXPECT_EQ(Device.Configuration().FeatureFlags, 0x0B);
}

TEST_F(DeviceFixture, OnlyWriteAndBlankPassOnAPendingStatus) {
  // Status 0 after ExecuteSRB: a layer that never completes is caught by the
  // time-out, so only a command that was not sent is left at 0.
  device::FinalizeTransport();
  auto data = Buffer(2048);
  EXPECT_FALSE(Device.Write10(0, 1, data));
  EXPECT_FALSE(Device.Blank(0));
  EXPECT_FALSE(Device.TestUnitReady(5000));
}

}  // namespace
}  // namespace devicetest
