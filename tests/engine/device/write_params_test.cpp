// The Write Parameters page per medium and per choice, and the lists sent
// around recording.
#include "engine/device/write_params.h"

#include <gtest/gtest.h>

#include "engine/device/device_fixture.h"
#include "engine/device/media_types.h"

namespace devicetest {
namespace {

using device::TWritePageInput;

std::array<std::uint8_t, device::kWritePageRetained> DrivePage() {
  std::array<std::uint8_t, device::kWritePageRetained> p{};
  p[0] = 0x05;
  for (std::size_t i = 1; i < 16; ++i) p[i] = 0xFF;  // all set by the builder
  for (std::size_t i = 16; i < p.size(); ++i) p[i] = static_cast<std::uint8_t>(i);
  return p;
}

struct TPageRow {
  const char* Name;
  TWritePageInput In;
  std::uint8_t Byte2, Byte3, LinkSize;
  std::uint32_t PacketSize;
};

constexpr std::uint32_t kTest = device::kCapWriteTest, kBuf = device::kCapUnderrunProtection;

TWritePageInput In(std::uint8_t medium, bool test, bool underrun, bool finalize, bool last, std::uint32_t caps,
                   bool pageBuf = false, bool quirk = false) {
  return TWritePageInput{medium, test, underrun, finalize, last, caps, pageBuf, quirk};
}

const TPageRow kRows[] = {
    {"CdMultiSessionOpen", In(2, false, false, false, false, 0), 0x01, 0xC4, 0, 0},
    {"CdFinalizeClosesRuleA", In(2, false, false, true, false, 0), 0x01, 0x04, 0, 0},
    {"CdTestWriteWithCapability", In(2, true, false, false, false, kTest), 0x11, 0x04, 0, 0},
    {"CdTestWriteWithoutCapabilityIsReal", In(3, true, false, false, false, 0), 0x01, 0x04, 0, 0},
    {"CdBufeFromCapability", In(2, false, true, false, false, kBuf), 0x41, 0xC4, 0, 0},
    {"CdBufeFromPage2A", In(2, false, true, false, false, 0, true), 0x41, 0xC4, 0, 0},
    {"CdBufeNotAsked", In(2, false, false, false, false, kBuf, true), 0x01, 0xC4, 0, 0},
    {"CdLinkSizeQuirk", In(2, false, false, false, false, 0, false, true), 0x21, 0xC4, 0, 0},
    {"UnknownMediumAsCd", In(0, false, false, false, false, 0), 0x01, 0xC4, 0, 0},
    {"DvdR", In(5, false, false, false, false, 0), 0x20, 0xE5, 16, 16},
    {"DvdRTestAndBufe", In(5, true, true, true, false, kTest | kBuf), 0x70, 0xE5, 16, 16},
    {"DvdRwNeverTestWrite", In(9, true, true, false, false, kTest | kBuf), 0x20, 0xC5, 16, 0},
    {"DvdRwRestrictedBufeFromPage", In(8, true, true, false, false, kTest, true), 0x60, 0xC5, 16, 0},
    {"DvdPlusRw", In(10, false, false, false, false, 0), 0x22, 0x04, 16, 0},
    {"DvdPlusRwBufe", In(10, false, true, true, false, kBuf), 0x62, 0x04, 16, 0},
    {"DvdPlusR", In(11, false, false, true, false, 0), 0x22, 0xC4, 0, 16},
    {"DvdPlusRDlLastOpens", In(12, false, true, true, true, kBuf), 0x62, 0xC4, 0, 0},
    {"DvdPlusRDlNotLastCloses", In(12, true, false, false, false, kTest), 0x32, 0x04, 0, 0},
    {"DvdPlusRDlIgnoresPageBuf", In(12, false, true, false, true, 0, true), 0x22, 0xC4, 0, 0},
    {"DvdPlusRDlKeepsLinkSizeQuirk", In(12, false, false, false, true, 0, false, true), 0x22, 0xC4, 0, 0},
};

class WritePage : public ::testing::TestWithParam<TPageRow> {};

TEST_P(WritePage, ByteByByte) {
  const TPageRow& row = GetParam();
  const auto page = DrivePage();
  const auto sent = device::BuildWriteParameters(page, row.In);
  std::array<std::uint8_t, device::kWritePageSent> want{};
  std::copy_n(page.begin(), want.size() - 8, want.begin() + 8);
  std::uint8_t* p = want.data() + 8;
  p[1] = 0x32;
  p[2] = row.Byte2;
  p[3] = row.Byte3;
  p[4] = 8;
  p[5] = row.LinkSize;
  p[6] = p[7] = p[8] = p[9] = 0;
  p[10] = static_cast<std::uint8_t>(row.PacketSize >> 24);
  p[11] = static_cast<std::uint8_t>(row.PacketSize >> 16);
  p[12] = static_cast<std::uint8_t>(row.PacketSize >> 8);
  p[13] = static_cast<std::uint8_t>(row.PacketSize);
  p[14] = 0;
  p[15] = 150;
  EXPECT_EQ(sent, want);
}

INSTANTIATE_TEST_SUITE_P(Media, WritePage, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.Name); });

TEST(WritePageLocation, FollowsTheHeaderAndBlockDescriptor) {
  std::array<std::uint8_t, 64> answer{};
  EXPECT_EQ(device::LocateWritePage(answer), 8u);
  answer[7] = 0x05;
  EXPECT_EQ(device::LocateWritePage(answer), 7u);
  answer[16] = 0x05;
  EXPECT_EQ(device::LocateWritePage(answer), 16u);
}

TEST(ParameterLists, StreamingAndTimestamp) {
  const auto generic = device::GenericStreamingDescriptor(1000, 2000, 5540, 11080);
  const std::array<std::uint8_t, 28> want = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0B, 0xB8, 0, 0, 0x16, 0x81,
                                             0, 0, 0x03, 0xE8, 0, 0, 0x2D, 0x02, 0, 0, 0x03, 0xE8};
  EXPECT_EQ(generic, want);  // 5540 -> 5761 units, 11080 -> 11522
  const auto fixed = device::FixedDvdrStreamingDescriptor();
  EXPECT_EQ((std::vector<std::uint8_t>(fixed.begin() + 8, fixed.begin() + 16)),
            (std::vector<std::uint8_t>{0x00, 0x23, 0x12, 0x7F, 0x00, 0x00, 0xAB, 0xBD}));
  const auto stamp = device::DvdrTimestamp("20261209033700");
  EXPECT_EQ(stamp[0], 0);
  EXPECT_EQ(stamp[1], 0x14);
  EXPECT_EQ(std::string(stamp.begin() + 8, stamp.end()), "20261209033700");
  const std::string now = device::TimestampDigitsNow();
  ASSERT_EQ(now.size(), 14u);
  EXPECT_EQ(now.find_first_not_of("0123456789"), std::string::npos);
}

TEST_F(DeviceFixture, SetWriteParametersReadsThePageAndSendsSixtyBytes) {
  testsupport::TScriptStep sense;
  sense.Cdb = {0x5A, 0, 0x05, 0, 0, 0, 0, 0x02, 0x00, 0};
  sense.Data.assign(512, 0);
  sense.Data[16] = 0x05;  // after a block descriptor
  sense.Data[16 + 20] = 0xAB;
  Transport->Expect(sense);
  testsupport::TScriptStep select;
  select.Cdb = {0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0};
  Transport->Expect(select);
  ASSERT_TRUE(Device.SetWriteParameters(false, false, device::kMediumDvdpr, false));
  const auto& out = Transport->Sent.back().OutData;
  ASSERT_EQ(out.size(), 60u);
  EXPECT_EQ(out[8], 0x05);
  EXPECT_EQ(out[10], 0x22);
  EXPECT_EQ(out[11], 0xC4);
  EXPECT_EQ(out[8 + 20], 0xAB);  // the rest of the page as read

  // DVD-RAM takes no page at all; an unreadable page fails.
  EXPECT_TRUE(Device.SetWriteParameters(true, true, device::kMediumDvdRam, true));
  Transport->Expect(testsupport::Failing(sense.Cdb, testsupport::FixedSense(5, 0x24, 0)));
  EXPECT_FALSE(Device.SetWriteParameters(false, false, device::kMediumCdr, false));
  EXPECT_EQ(Transport->Sent.size(), 3u);
}

}  // namespace
}  // namespace devicetest
