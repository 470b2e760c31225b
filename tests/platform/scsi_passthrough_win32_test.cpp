// The SPTI record the pass-through builds, seen through a fake
// DeviceIoControl: the time-out in whole seconds, never rounded to none.
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>

#include <array>
#include <cstring>
#include <utility>

#include "platform/scsi_passthrough.h"

namespace {

SCSI_PASS_THROUGH_DIRECT gSeen;

int FakeDeviceIoControl(platform::ScsiHandle, void* request) {
  std::memcpy(&gSeen, request, sizeof gSeen);
  return 0;
}

TEST(SptiRequest, CarriesTheCommandsTimeOutInSeconds) {
  platform::SetScsiSystemCall(&FakeDeviceIoControl);
  const std::uint8_t flush[10] = {0x35};
  std::array<std::uint8_t, 32> sense{};
  const std::pair<std::uint32_t, ULONG> rows[] = {{1800000, 1800}, {180000, 180}, {4800000, 4800}, {10000, 10},
                                                  {1500, 2}, {1, 1}};
  for (const auto& [ms, seconds] : rows) {
    const auto outcome = platform::ScsiPassThrough(3, flush, platform::ScsiDirection::None, {}, sense, ms);
    EXPECT_TRUE(outcome.CallOk);
    EXPECT_EQ(gSeen.TimeOutValue, seconds) << ms;
    EXPECT_EQ(gSeen.CdbLength, 10);
    EXPECT_EQ(gSeen.Cdb[0], 0x35);
  }
  platform::SetScsiSystemCall(nullptr);
}

}  // namespace
