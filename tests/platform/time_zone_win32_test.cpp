// Local time on Windows. The cross build runs its tests in a zone with
// summer time (TZ set for wine; see tests/CMakeLists.txt); zone-specific
// checks look at the zone in force and run where it is Central European.
#include <windows.h>

#include <array>
#include <cstdint>

#include <gtest/gtest.h>

#include "platform/time_zone.h"

namespace {

bool CentralEuropeanZone() {
  TIME_ZONE_INFORMATION tz{};
  return GetTimeZoneInformation(&tz) != TIME_ZONE_ID_INVALID && tz.Bias == -60 && tz.DaylightBias == -60 &&
         tz.DaylightDate.wMonth == 3 && tz.StandardDate.wMonth == 10;
}

TEST(WinTimeZone, RangeOfInstants) {
  platform::CivilTime civil;
  struct Case {
    std::int64_t Seconds;
    std::int32_t Nsec;
    bool Ok;
  };
  for (const Case& c : {Case{253'402'300'799 - 86'400, 0, true}, Case{253'402'300'800, 0, false},
                        Case{-11'644'473'600 + 86'400, 0, true}, Case{-11'644'473'601, 0, false},
                        Case{INT64_MAX, 0, false}, Case{INT64_MIN, 0, false}, Case{0, -1, false},
                        Case{0, 1'000'000'000, false}})
    EXPECT_EQ(platform::ToLocalCivil(c.Seconds, c.Nsec, civil), c.Ok) << c.Seconds;
  ASSERT_TRUE(platform::ToLocalCivil(1'000'000'000, 987'654'321, civil));
  EXPECT_EQ(civil.Millisecond, 987);
}

TEST(WinTimeZone, NowAgreesWithTheSystemClock) {
  SYSTEMTIME before{};
  GetLocalTime(&before);
  const platform::CivilTime now = platform::NowLocal();
  SYSTEMTIME after{};
  GetLocalTime(&after);
  auto minutes = [](int y, int mo, int d, int h, int mi) { return (((y * 12 + mo) * 31 + d) * 24 + h) * 60 + mi; };
  const int at = minutes(now.Year, now.Month, now.Day, now.Hour, now.Minute);
  EXPECT_GE(at, minutes(before.wYear, before.wMonth, before.wDay, before.wHour, before.wMinute));
  EXPECT_LE(at, minutes(after.wYear, after.wMonth, after.wDay, after.wHour, after.wMinute));
}

TEST(WinTimeZone, CentralEuropeanSummerAndWinter) {
  if (!CentralEuropeanZone()) GTEST_SKIP() << "the zone in force is not Central European";
  EXPECT_EQ(platform::StandardBiasMinutes(), -60);  // summer time left out
  platform::CivilTime civil;
  ASSERT_TRUE(platform::ToLocalCivil(1'000'000'000, 0, civil));  // 2001-09-09 01:46:40 UTC
  EXPECT_EQ((std::array{civil.Year, civil.Month, civil.Day, civil.Hour}), (std::array{2001, 9, 9, 3}));
  EXPECT_EQ(civil.UtcOffsetMinutes, 120);
  ASSERT_TRUE(platform::ToLocalCivil(1'705'000'000, 0, civil));  // January
  EXPECT_EQ(civil.UtcOffsetMinutes, 60);
  EXPECT_EQ(platform::UtcOffsetMinutesAt({2024, 7, 3, 12, 0, 0, 0, 0}), 120);
  EXPECT_EQ(platform::UtcOffsetMinutesAt({2024, 1, 11, 12, 0, 0, 0, 0}), 60);
}

}  // namespace
