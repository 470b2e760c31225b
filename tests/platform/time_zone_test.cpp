#include <time.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "platform/time_zone.h"

namespace {

// Sets TZ for one test and puts the previous value back afterwards.
class TimeZoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("TZ")) FOldZone = old;
  }
  void TearDown() override {
    if (FOldZone) {
      setenv("TZ", FOldZone->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  // False when a named zone is not installed; POSIX rule strings need nothing.
  static bool UseZone(const std::string& zone) {
    if (zone.find('/') != std::string::npos && !std::filesystem::exists("/usr/share/zoneinfo/" + zone)) return false;
    setenv("TZ", zone.c_str(), 1);
    tzset();
    return true;
  }

 private:
  std::optional<std::string> FOldZone;
};

struct BiasCase {
  const char* Zone;
  std::int32_t Bias;
};

void PrintTo(const BiasCase& c, std::ostream* os) { *os << c.Zone; }

class StandardBias : public TimeZoneTest, public ::testing::WithParamInterface<BiasCase> {};

TEST_P(StandardBias, IgnoresSummerTime) {
  if (!UseZone(GetParam().Zone)) GTEST_SKIP() << GetParam().Zone << " is not installed";
  EXPECT_EQ(platform::StandardBiasMinutes(), GetParam().Bias);
}

// Northern and southern summers, so that one of them is in force whenever
// the test runs, and a rule with summer time nearly all year.
INSTANTIATE_TEST_SUITE_P(Zones, StandardBias,
                         ::testing::Values(BiasCase{"UTC", 0}, BiasCase{"Europe/Berlin", -60},
                                           BiasCase{"America/New_York", 300}, BiasCase{"Australia/Sydney", -600},
                                           BiasCase{"Asia/Kolkata", -330}, BiasCase{"XST-3XDT,M1.1.0,M12.5.0", -180}));

TEST_F(TimeZoneTest, BreaksInstantsIntoLocalTime) {
  ASSERT_TRUE(UseZone("UTC"));
  platform::CivilTime civil;
  ASSERT_TRUE(platform::ToLocalCivil(1'000'000'000, 987'654'321, civil));
  EXPECT_EQ((std::array{civil.Year, civil.Month, civil.Day, civil.Hour, civil.Minute, civil.Second}),
            (std::array{2001, 9, 9, 1, 46, 40}));
  EXPECT_EQ(civil.Millisecond, 987);

  struct Case {
    std::int64_t Seconds;
    std::int32_t Nsec;
    int Year;  // 0: not representable
  };
  for (const Case& c : {Case{253'402'300'799, 0, 9999}, Case{253'402'300'800, 0, 0}, Case{-62'135'596'800, 0, 1},
                        Case{-62'135'596'801, 0, 0}, Case{INT64_MAX, 0, 0}, Case{INT64_MIN, 0, 0},
                        Case{0, -1, 0}, Case{0, 1'000'000'000, 0}}) {
    EXPECT_EQ(platform::ToLocalCivil(c.Seconds, c.Nsec, civil), c.Year != 0) << c.Seconds;
    if (c.Year != 0) {
      EXPECT_EQ(civil.Year, c.Year) << c.Seconds;
    }
  }

  // time() reads a coarser clock that can lag a tick behind the one
  // NowLocal uses; compare with the same clock.
  auto precise = [] {
    timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec;
  };
  const time_t before = precise();
  const platform::CivilTime now = platform::NowLocal();
  tm back {};
  back.tm_year = now.Year - 1900;
  back.tm_mon = now.Month - 1;
  back.tm_mday = now.Day;
  back.tm_hour = now.Hour;
  back.tm_min = now.Minute;
  back.tm_sec = now.Second;
  EXPECT_GE(timegm(&back), before);
  EXPECT_LE(timegm(&back), precise());

  if (UseZone("Europe/Berlin")) {
    ASSERT_TRUE(platform::ToLocalCivil(1'000'000'000, 0, civil));
    EXPECT_EQ(civil.Hour, 3);  // UTC+2 in September
  }
}

}  // namespace
