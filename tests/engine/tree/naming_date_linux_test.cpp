// File times read in the local time zone, with zones set through TZ.
#include <cstdlib>
#include <ctime>
#include <string>

#include <gtest/gtest.h>

#include "engine/iso/date_time.h"

namespace {

TEST(DateTime, FileTimesAreLocalTime) {
  const char* old = std::getenv("TZ");
  const std::string saved = old != nullptr ? old : "";
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(iso::FileTimeToDateTime(0, 0).value_or(-1), 25569.0);
  EXPECT_DOUBLE_EQ(iso::FileTimeToDateTime(86400 + 43200, 250000000).value_or(-1), 25570.5 + 250.0 / 86400000.0);
  setenv("TZ", "EST5", 1);  // five hours behind UTC, no summer time
  tzset();
  EXPECT_EQ(iso::FileTimeToDateTime(0, 0).value_or(-1), *iso::EncodeDateTime({1969, 12, 31, 19, 0, 0, 0}));
  EXPECT_EQ(iso::FileTimeToLocalDate(0, 0)->Offset, -20);

  // Summer and winter dates each carry the offset in force then, so both
  // read back as the instant the file was written.
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  const std::int64_t july = 1720000000;    // 2024-07-03, summer time
  const std::int64_t january = 1705000000;  // 2024-01-11, standard time
  EXPECT_EQ(iso::FileTimeToLocalDate(july, 0)->Offset, 8);
  EXPECT_EQ(iso::FileTimeToLocalDate(january, 0)->Offset, 4);
  EXPECT_EQ(iso::OffsetAtLocal(iso::FileTimeToLocalDate(july, 0)->Value), 8);
  EXPECT_EQ(iso::OffsetAtLocal(iso::FileTimeToLocalDate(january, 0)->Value), 4);
  if (old != nullptr)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

}  // namespace
