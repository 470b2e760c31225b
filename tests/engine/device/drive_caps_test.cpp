// Capabilities and speeds from the mode pages and features, the medium
// tables, the format-capacity rule, the model quirks and the speed texts.
#include <gtest/gtest.h>

#include "engine/device/device_fixture.h"
#include "engine/device/media_types.h"
#include "engine/device/speed_text.h"

namespace devicetest {
namespace {

using testsupport::Failing;
using testsupport::FixedSense;
using testsupport::TScriptStep;

const std::vector<std::uint8_t> kSenseDefault = {0x5A, 0, 0xAA, 0, 0, 0, 0, 0, 0xFF, 0};
const std::vector<std::uint8_t> kSenseCurrent = {0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 0x80, 0};
const std::vector<std::uint8_t> kSenseVendor = {0x5A, 0, 0x30, 0, 0, 0, 0, 0, 0x80, 0};

// A mode answer with page 2Ah at offset 8 carrying speeds in kB/s.
std::vector<std::uint8_t> CapsAnswer(std::size_t size, std::uint8_t reads, std::uint8_t writes, std::uint8_t byte4,
                                     std::uint16_t maxRead, std::uint16_t maxWrite, std::uint16_t curWrite) {
  std::vector<std::uint8_t> a(size, 0);
  std::uint8_t* p = a.data() + 8;
  p[0] = 0x2A;
  p[2] = reads;
  p[3] = writes;
  p[4] = byte4;
  auto put = [&](std::size_t at, std::uint16_t v) {
    p[at] = static_cast<std::uint8_t>(v >> 8);
    p[at + 1] = static_cast<std::uint8_t>(v);
  };
  put(8, maxRead);
  put(12, 2048);
  put(18, maxWrite);
  put(20, curWrite);
  return a;
}

TScriptStep Step(std::vector<std::uint8_t> cdb, std::vector<std::uint8_t> data) {
  TScriptStep s;
  s.Cdb = std::move(cdb);
  s.Data = std::move(data);
  return s;
}

TScriptStep Feature(std::uint8_t code, std::uint8_t flags, std::uint8_t firstData = 0) {
  std::vector<std::uint8_t> data(114, 0);
  data[7] = 0x1B;
  data[9] = code;
  data[10] = flags;
  data[11] = 4;
  data[12] = firstData;
  return Step({0x46, 2, 0, code, 0, 0, 0, 0, 0x72, 0}, data);
}

const auto kIllegal = FixedSense(5, 0x24, 0);

// A drive without Blu-ray refuses the BD Read and BD Write features.
void ExpectNoBd(testsupport::TScriptedTransport& t) {
  for (std::uint8_t f : {std::uint8_t{0x40}, std::uint8_t{0x41}})
    t.Expect(Failing({0x46, 2, 0, f, 0, 0, 0, 0, 0x72, 0}, kIllegal));
}

// BD Read (0040h) or BD Write (0041h) with class 0 version maps at the given feature bytes.
TScriptStep BdFeature(std::uint8_t code, std::initializer_list<std::size_t> mapsAt) {
  TScriptStep s = Feature(code, 0x04, 0);
  s.Data[11] = code == 0x40 ? 28 : 20;
  for (std::size_t at : mapsAt) s.Data[8 + at + 1] = 0x06;  // versions 1 and 2
  return s;
}

TEST_F(DeviceFixture, CapabilitiesFromPageBitsFeaturesAndVendorPage) {
  Transport->Expect(Step(kSenseDefault, CapsAnswer(255, 0x3F, 0x37, 0x00, 8467, 7056, 0)));
  std::vector<std::uint8_t> vendor(128, 0);
  vendor[8] = 0x30;
  Transport->Expect(Step(kSenseVendor, vendor));
  Transport->Expect(Feature(0x2A, 0x01, 0x01));  // DVD+RW current, Write
  Transport->Expect(Feature(0x2B, 0x00, 0x01));  // DVD+R not current, Write
  Transport->Expect(Feature(0x3B, 0x02));  // DVD+R DL supported, not current
  Transport->Expect(Feature(0x2F, 0x09));  // version 2, current: counts as current
  Transport->Expect(BdFeature(0x40, {16, 24}));  // reads BD-R and BD-ROM, not BD-RE
  Transport->Expect(BdFeature(0x41, {16}));      // writes BD-R only
  Transport->Expect(Step(kSenseCurrent, CapsAnswer(128, 0x3F, 0x37, 0x00, 8467, 7056, 0)));
  ASSERT_TRUE(Device.RefreshCapabilities());
  using namespace device;
  const std::uint32_t want = kCapReadCdr | kCapReadCdrw | kCapMethod2 | kCapReadDvd | kCapReadDvdr | kCapReadDvdrw |
                             kCapReadDvdram | kCapWriteCdr | kCapWriteCdrw | kCapWriteTest | kCapWriteDvdr |
                             kCapWriteDvdrw | kCapWriteDvdram | kCapUnderrunProtection | kCapReadDvdpr |
                             kCapReadDvdprw | kCapWriteDvdpr | kCapWriteDvdprw | kCapReadDvdprDl | kCapReadBdr |
                             kCapReadBd | kCapWriteBdr;
  EXPECT_EQ(Device.Capabilities(), want);
  EXPECT_EQ(Device.DeviceMaxWriteSpeed(), 7056);
  EXPECT_EQ(Device.DeviceMaxReadSpeed(), 8467);
  EXPECT_EQ(Device.BufferSizeKB(), 2048);
}

TEST_F(DeviceFixture, DvdPlusWritesComeFromEachFeaturesWriteBitNotFromTheDiscInside) {
  using namespace device;
  struct Case {
    std::uint8_t PlusRwFlags, PlusRwData, PlusRFlags, PlusRData;
    std::uint32_t Want;
  };
  // A DVD+R in the drive makes 002Bh current and 002Ah not: the drive still
  // writes both. A drive that reads DVD+RW but writes only DVD+R shows so.
  const Case cases[] = {
      {0x00, 0x01, 0x01, 0x01, kCapWriteDvdpr | kCapWriteDvdprw},
      {0x01, 0x00, 0x00, 0x01, kCapWriteDvdpr},
      {0x00, 0x01, 0x00, 0x00, kCapWriteDvdprw},
      {0x01, 0x00, 0x01, 0x00, 0},
  };
  for (const Case& c : cases) {
    Transport->Expect(Step(kSenseDefault, CapsAnswer(255, 0x01, 0x00, 0x00, 7056, 0, 0)));
    Transport->Expect(Failing(kSenseVendor, kIllegal));
    Transport->Expect(Feature(0x2A, c.PlusRwFlags, c.PlusRwData));
    Transport->Expect(Feature(0x2B, c.PlusRFlags, c.PlusRData));
    Transport->Expect(Failing({0x46, 2, 0, 0x3B, 0, 0, 0, 0, 0x72, 0}, kIllegal));
    Transport->Expect(Failing({0x46, 2, 0, 0x2F, 0, 0, 0, 0, 0x72, 0}, kIllegal));
    ExpectNoBd(*Transport);
    Transport->Expect(Step(kSenseCurrent, CapsAnswer(128, 0x01, 0x00, 0x00, 7056, 0, 0)));
    ASSERT_TRUE(Device.RefreshCapabilities());
    EXPECT_EQ(Device.Capabilities() & (kCapWriteDvdpr | kCapWriteDvdprw), c.Want);
    EXPECT_EQ(Device.Capabilities() & (kCapReadDvdpr | kCapReadDvdprw), kCapReadDvdpr | kCapReadDvdprw);
  }
}

TEST_F(DeviceFixture, CapabilitiesComeFromTheCurrentPageWhenDefaultsCannotBeRead) {
  // Drives on IDE answer only current values (5/24/00 for defaults).
  Transport->Expect(Failing(kSenseDefault, kIllegal));
  Transport->Expect(Step(kSenseCurrent, CapsAnswer(128, 0x3F, 0x01, 0x80, 5540, 0, 0)));
  Transport->Expect(Failing(kSenseVendor, kIllegal));
  Transport->Expect(Feature(0x2A, 0x00));  // DVD+RW read, not current
  Transport->Expect(Failing({0x46, 2, 0, 0x2B, 0, 0, 0, 0, 0x72, 0}, kIllegal));
  Transport->Expect(Failing({0x46, 2, 0, 0x3B, 0, 0, 0, 0, 0x72, 0}, kIllegal));
  Transport->Expect(Failing({0x46, 2, 0, 0x2F, 0, 0, 0, 0, 0x72, 0}, kIllegal));
  ExpectNoBd(*Transport);
  ASSERT_TRUE(Device.RefreshCapabilities());
  using namespace device;
  EXPECT_EQ(Device.Capabilities(), kCapReadCdr | kCapReadCdrw | kCapMethod2 | kCapReadDvd | kCapReadDvdr |
                                       kCapReadDvdrw | kCapReadDvdram | kCapWriteCdr | kCapUnderrunProtection |
                                       kCapReadDvdpr | kCapReadDvdprw);
  EXPECT_EQ(Device.DeviceMaxReadSpeed(), 5540);
  EXPECT_EQ(Device.DeviceMaxWriteSpeed(), 1385);  // a writer's 0 reads as 1385

  Transport->Expect(Failing(kSenseDefault, kIllegal));
  Transport->Expect(Failing(kSenseCurrent, kIllegal));
  EXPECT_EQ(Device.MaxWriteSpeed(), 0);
  EXPECT_EQ(Device.DeviceMaxWriteSpeed(), 0);
}

TEST_F(DeviceFixture, ADriveThatWritesNothingHasNoWriteSpeed) {
  for (int round = 0; round < 2; ++round) {
    Transport->Expect(Failing(kSenseDefault, kIllegal));
    Transport->Expect(Step(kSenseCurrent, CapsAnswer(128, 0x3B, 0x00, 0x00, 7056, 0, 0)));
    Transport->Expect(Failing(kSenseVendor, kIllegal));
    for (std::uint8_t f : {std::uint8_t{0x2A}, std::uint8_t{0x2B}, std::uint8_t{0x3B}, std::uint8_t{0x2F}})
      Transport->Expect(Failing({0x46, 2, 0, f, 0, 0, 0, 0, 0x72, 0}, kIllegal));
    ExpectNoBd(*Transport);
  }
  ASSERT_TRUE(Device.RefreshCapabilities());
  EXPECT_FALSE(Device.WritesAnything());
  EXPECT_EQ(Device.DeviceMaxWriteSpeed(), 0);
  EXPECT_EQ(Device.CurrentWriteSpeed(), 0);
  EXPECT_EQ(Device.DeviceMaxReadSpeed(), 7056);
}

TEST_F(DeviceFixture, DvdRamOnlyDriveReportsSpeedOne) {
  Transport->Expect(Step(kSenseDefault, CapsAnswer(255, 0x20, 0x20, 0, 0, 0, 0)));
  Transport->Expect(Failing(kSenseVendor, kIllegal));
  for (std::uint8_t f : {std::uint8_t{0x2A}, std::uint8_t{0x2B}, std::uint8_t{0x3B}, std::uint8_t{0x2F}})
    Transport->Expect(Failing({0x46, 2, 0, f, 0, 0, 0, 0, 0x72, 0}, kIllegal));
  ExpectNoBd(*Transport);
  Transport->Expect(Failing(kSenseCurrent, kIllegal));
  EXPECT_FALSE(Device.RefreshCapabilities());
  EXPECT_EQ(Device.DeviceMaxWriteSpeed(), 1);
  EXPECT_EQ(Device.DeviceMaxReadSpeed(), 1);
}

TEST(MediumTables, CodesNamesAndProfiles) {
  EXPECT_STREQ(device::MediumName(12), "DVD+R DL");
  EXPECT_STREQ(device::MediumName(7), "DVD-RW");
  EXPECT_STREQ(device::MediumName(200), "UNKNOWN");
  EXPECT_EQ(device::MediumCodeOfProfile(0x0013), 8);
  EXPECT_EQ(device::MediumCodeOfProfile(0x002B), 12);
  // Blu-ray past the DDCD codes, one code per profile.
  EXPECT_EQ(device::MediumCodeOfProfile(0x0040), device::kMediumBdRom);
  EXPECT_EQ(device::MediumCodeOfProfile(0x0041), device::kMediumBdr);
  EXPECT_EQ(device::MediumCodeOfProfile(0x0043), device::kMediumBdre);
  EXPECT_EQ(device::MediumCodeOfProfile(0x0044), 0);
  EXPECT_STREQ(device::MediumName(device::kMediumBdre), "BD-RE");
  EXPECT_STREQ(device::MediumName(20), "UNKNOWN");
  EXPECT_STREQ(device::ProfileName(0x0041), "BD-R Sequential Recording");
  EXPECT_TRUE(device::ProfileErasable(0x0043));
  EXPECT_FALSE(device::ProfileErasable(0x0041));
  EXPECT_STREQ(device::ProfileName(0x001A), "DVD+RW");
  EXPECT_TRUE(device::ProfileErasable(0x001A));
  EXPECT_FALSE(device::ProfileErasable(0x001B));
  EXPECT_STREQ(device::ProfileName(0x002B), "???????");  // no name for DVD+R DL in that table
}

TEST(FormatCapacities, PicksTheDescriptorThatHasTwoKilobyteBlocks) {
  std::vector<std::uint8_t> a(248, 0);
  auto put = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) a[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
  };
  put(4, 2295104);
  put(8, 0x02000800);  // formatted: type bits make the first descriptor fail the test
  put(12, 2236704);
  put(16, 0x00000800);
  EXPECT_EQ(device::FormatCapacityBlocks(a), 2236704u);
  put(16, 0x98000000);  // DVD+RW full format
  EXPECT_EQ(device::FormatCapacityBlocks(a), 2236704u);
  put(16, 0x54000010);
  put(20, 1111);
  put(24, 0x00000800);
  EXPECT_EQ(device::FormatCapacityBlocks(a), 1111u);
  put(24, 0);
  EXPECT_EQ(device::FormatCapacityBlocks(a), 2295104u);
  put(8, 0x00000800);
  EXPECT_EQ(device::FormatCapacityBlocks(a), 2295104u);
  EXPECT_EQ(device::FormatCapacityBlocks(std::span<const std::uint8_t>(a).first(8)), 0u);
}

TEST(ModelQuirks, FromVendorAndProduct) {
  auto q = device::DecideModelQuirks("SANYO   ", "CD-W512EB       ");
  EXPECT_TRUE(q.ForcedUnderrun);
  EXPECT_TRUE(device::DecideModelQuirks("X       ", "CD-RW  CRX800E  ").LinkSize);
  EXPECT_TRUE(device::DecideModelQuirks("MATSHITA", "UJDA750 DVD/CDRW").SlowReadyShared);
  EXPECT_TRUE(device::DecideModelQuirks("TDK     ", "ANYTHING        ").SlowReadyShared);
  EXPECT_FALSE(device::DecideModelQuirks("TD      ", "ANYTHING        ").SlowReadyShared);
  EXPECT_TRUE(device::DecideModelQuirks("PIONEER ", "DVD-RW  DVR-103 ").SlowReadyDevice);
  EXPECT_TRUE(device::DecideModelQuirks("PIONEER ", "DVD-RW  DVR-104 ").SlowReadyDevice);
  EXPECT_FALSE(device::DecideModelQuirks("PIONEER ", " DVD-RW  DVR-103").SlowReadyDevice);  // untrimmed compare
  EXPECT_TRUE(device::DecideModelQuirks("X       ", "CDRW321040X     ").NoImmediateClose);
  q = device::DecideModelQuirks("ZANTIC  ", "VIRTUAL RECORDER");
  EXPECT_FALSE(q.ForcedUnderrun || q.LinkSize || q.SlowReadyShared || q.SlowReadyDevice || q.NoImmediateClose);
}

TEST(SpeedTexts, CdAndDvdFactorsWithGrouping) {
  EXPECT_EQ(device::SpeedText(7056, false, ','), "40X (7,056 KB/s)");
  EXPECT_EQ(device::SpeedText(8310, true, ','), "6.0X (8,310 KB/s)");
  EXPECT_EQ(device::SpeedText(8310, true, '.'), "6.0X (8.310 KB/s)");
  EXPECT_EQ(device::SpeedText(1385, true, ','), "1.0X (1,385 KB/s)");
  EXPECT_EQ(device::SpeedText(706, false, ','), "4X (706 KB/s)");
  EXPECT_EQ(device::SpeedFactorText(3324, true), "2.4X");
  EXPECT_EQ(device::GroupedNumber(1234567, ' '), "1 234 567");
}

}  // namespace
}  // namespace devicetest

namespace devicetest {
namespace {

TEST(AtipAnswer, OnlyAnAtipIsReadAsOne) {
  // 97:26:66 lead-in, 79:59:74 last lead-out: 26 bytes follow the length.
  std::vector<std::uint8_t> atip(28, 0);
  atip[1] = 26;
  atip[4] = 0xD0;
  atip[6] = 0x80;
  atip[8] = 97, atip[9] = 26, atip[10] = 66;
  atip[12] = 79, atip[13] = 59, atip[14] = 74;
  EXPECT_TRUE(device::IsAtipAnswer(atip));
  EXPECT_EQ(device::MsfBlocks(atip[12], atip[13], atip[14]), 359999u);

  // The TOC an IDE drive gives instead (MSF form): track 1 and the lead-out.
  const std::vector<std::uint8_t> toc = {0, 18, 1, 1, 0, 0x14, 1, 0, 0, 0, 2, 0,
                                         0, 0x14, 0xAA, 0, 0, 0, 26, 40, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(device::IsAtipAnswer(toc));
  auto shortAnswer = atip;
  shortAnswer[1] = 10;  // ends before the lead-out time
  EXPECT_FALSE(device::IsAtipAnswer(shortAnswer));
  auto badTime = atip;
  badTime[13] = 60;
  EXPECT_FALSE(device::IsAtipAnswer(badTime));
  EXPECT_FALSE(device::IsAtipAnswer(std::span<const std::uint8_t>(atip).first(14)));
}

}  // namespace
}  // namespace devicetest
