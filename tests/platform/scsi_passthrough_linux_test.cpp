// The SG_IO request the pass-through builds, seen through a fake ioctl.
#include <gtest/gtest.h>
#include <scsi/sg.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "platform/scsi_passthrough.h"

namespace {

sg_io_hdr_t gSeen;
std::array<std::uint8_t, 16> gSeenCdb;
int gAnswer = 0;

int FakeIoctl(platform::ScsiHandle, void* request) {
  std::memcpy(&gSeen, request, sizeof gSeen);
  std::memcpy(gSeenCdb.data(), gSeen.cmdp, gSeen.cmd_len);
  auto* io = static_cast<sg_io_hdr_t*>(request);
  io->status = 0x02;  // check condition
  io->sbp[0] = 0x70;
  io->sbp[2] = 0x05;
  return gAnswer;
}

class SgIoRequest : public ::testing::Test {
 protected:
  void SetUp() override {
    gAnswer = 0;
    platform::SetScsiSystemCall(&FakeIoctl);
  }
  void TearDown() override { platform::SetScsiSystemCall(nullptr); }
};

TEST_F(SgIoRequest, CarriesTheCommandsTimeOutDirectionAndBuffers) {
  const std::uint8_t flush[10] = {0x35};
  std::array<std::uint8_t, 32> sense{};
  // The 30-minute flush and the 3-minute close reach the kernel unchanged.
  auto outcome = platform::ScsiPassThrough(3, flush, platform::ScsiDirection::None, {}, sense, 1800000);
  EXPECT_TRUE(outcome.CallOk);
  EXPECT_EQ(gSeen.timeout, 1800000u);
  EXPECT_EQ(gSeen.dxfer_direction, SG_DXFER_NONE);
  EXPECT_EQ(gSeen.cmd_len, 10);
  EXPECT_EQ(gSeenCdb[0], 0x35);
  EXPECT_EQ(outcome.ScsiStatus, 0x02);
  EXPECT_EQ(sense[0], 0x70);
  EXPECT_EQ(sense[2], 0x05);

  const std::uint8_t close[10] = {0x5B, 0, 2};
  platform::ScsiPassThrough(3, close, platform::ScsiDirection::None, {}, sense, 180000);
  EXPECT_EQ(gSeen.timeout, 180000u);

  std::array<std::uint8_t, 2048> data{};
  const std::uint8_t read[10] = {0x28, 0, 0, 0, 0, 16, 0, 0, 1, 0};
  platform::ScsiPassThrough(3, read, platform::ScsiDirection::In, data, sense, 10000);
  EXPECT_EQ(gSeen.timeout, 10000u);
  EXPECT_EQ(gSeen.dxfer_direction, SG_DXFER_FROM_DEV);
  EXPECT_EQ(gSeen.dxfer_len, 2048u);
  EXPECT_EQ(gSeen.dxferp, data.data());
  EXPECT_EQ(gSeen.mx_sb_len, 32);
}

TEST_F(SgIoRequest, AFailedCallIsAnOsErrorAndBadRequestsAreNotSent) {
  gAnswer = EIO;
  const std::uint8_t tur[6] = {0};
  std::array<std::uint8_t, 32> sense{};
  auto outcome = platform::ScsiPassThrough(3, tur, platform::ScsiDirection::None, {}, sense, 10000);
  EXPECT_FALSE(outcome.CallOk);
  EXPECT_EQ(outcome.OsError, EIO);

  gSeen.timeout = 0;
  outcome = platform::ScsiPassThrough(platform::kNoScsiHandle, tur, platform::ScsiDirection::None, {}, sense, 10000);
  EXPECT_FALSE(outcome.CallOk);
  EXPECT_EQ(outcome.OsError, EINVAL);
  EXPECT_EQ(gSeen.timeout, 0u);  // nothing reached the kernel
}

}  // namespace
