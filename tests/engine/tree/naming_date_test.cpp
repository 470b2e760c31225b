// Pure naming and date routines of the tree.
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "engine/iso/date_time.h"
#include "engine/iso/naming.h"

namespace {

using platform::CivilTime;

TEST(UpperKey, FoldsAsciiLettersOnly) {
  EXPECT_EQ(iso::UpperKey("Work\\docs-2020_x.txt"), "WORK\\DOCS-2020_X.TXT");
  EXPECT_EQ(iso::UpperKey("i"), "I");  // never a dotted capital, whatever the locale
  EXPECT_EQ(iso::UpperKey("caf\xC3\xA9 stra\xC3\x9F" "e"), "CAF\xC3\xA9 STRA\xC3\x9F" "E");
}

TEST(Utf16Length, CountsUnitsNotBytes) {
  EXPECT_EQ(iso::Utf16Length(""), 0u);
  EXPECT_EQ(iso::Utf16Length("abc"), 3u);
  EXPECT_EQ(iso::Utf16Length("\xC3\xA9\xE2\x82\xAC"), 2u);  // e-acute, euro
  EXPECT_EQ(iso::Utf16Length("\xF0\x9F\x8E\xB5"), 2u);      // a surrogate pair
  EXPECT_EQ(iso::Utf16Length("\xFF" "a"), 2u);              // a stray byte is one character
  EXPECT_EQ(iso::Utf16Length("\xE2\x82"), 2u);              // a cut-off sequence too
}

// Days since 1899-12-30, the time as the fraction's magnitude.
struct DateCase {
  CivilTime Civil;
  double Value;
};

class KnownDate : public ::testing::TestWithParam<DateCase> {};

TEST_P(KnownDate, EncodesAndDecodes) {
  const auto& c = GetParam();
  const std::optional<double> v = iso::EncodeDateTime(c.Civil);
  ASSERT_TRUE(v.has_value());
  EXPECT_DOUBLE_EQ(*v, c.Value);
  const std::optional<CivilTime> t = iso::DecodeDateTime(c.Value);
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(t->Year, c.Civil.Year);
  EXPECT_EQ(t->Month, c.Civil.Month);
  EXPECT_EQ(t->Day, c.Civil.Day);
  EXPECT_EQ(t->Hour, c.Civil.Hour);
  EXPECT_EQ(t->Minute, c.Civil.Minute);
  EXPECT_EQ(t->Second, c.Civil.Second);
  EXPECT_EQ(t->Millisecond, c.Civil.Millisecond);
}

INSTANTIATE_TEST_SUITE_P(Dates, KnownDate,
                         ::testing::Values(DateCase{{1899, 12, 30, 0, 0, 0, 0}, 0.0},
                                           DateCase{{1970, 1, 1, 0, 0, 0, 0}, 25569.0},
                                           DateCase{{1900, 1, 1, 0, 0, 0, 0}, 2.0},
                                           DateCase{{2000, 1, 1, 0, 0, 0, 0}, 36526.0},
                                           DateCase{{2000, 3, 1, 12, 0, 0, 0}, 36586.5},  // after Feb 29
                                           DateCase{{1899, 12, 29, 6, 0, 0, 0}, -1.25},
                                           DateCase{{1, 1, 1, 0, 0, 0, 0}, -693593.0},
                                           DateCase{{9999, 12, 31, 18, 0, 0, 0}, 2958465.75}));

TEST(DateTime, RoundTripsToTheMillisecond) {
  for (const CivilTime c : {CivilTime{2024, 2, 29, 23, 59, 59, 999}, CivilTime{1955, 7, 15, 8, 30, 1, 1},
                            CivilTime{1800, 6, 30, 13, 14, 15, 16}, CivilTime{2099, 12, 31, 0, 0, 0, 1}}) {
    const auto back = iso::DecodeDateTime(*iso::EncodeDateTime(c));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*iso::EncodeDateTime(*back), *iso::EncodeDateTime(c)) << c.Year;
    EXPECT_EQ(back->Millisecond, c.Millisecond) << c.Year;
    EXPECT_EQ(back->Day, c.Day) << c.Year;
  }
}

TEST(DateTime, RejectsInvalidCivilDates) {
  for (const CivilTime c :
       {CivilTime{1900, 2, 29, 0, 0, 0, 0}, CivilTime{2001, 2, 29, 0, 0, 0, 0}, CivilTime{2000, 4, 31, 0, 0, 0, 0},
        CivilTime{2000, 0, 1, 0, 0, 0, 0}, CivilTime{2000, 13, 1, 0, 0, 0, 0}, CivilTime{2000, 1, 0, 0, 0, 0, 0},
        CivilTime{2000, 1, 32, 0, 0, 0, 0}, CivilTime{2000, 1, 1, 24, 0, 0, 0}, CivilTime{2000, 1, 1, 0, 60, 0, 0},
        CivilTime{2000, 1, 1, 0, 0, 60, 0}, CivilTime{2000, 1, 1, 0, 0, 0, 1000}, CivilTime{2000, 1, 1, -1, 0, 0, 0},
        CivilTime{0, 1, 1, 0, 0, 0, 0}, CivilTime{10000, 1, 1, 0, 0, 0, 0}})
    EXPECT_FALSE(iso::EncodeDateTime(c).has_value()) << c.Year << "-" << c.Month << "-" << c.Day << " " << c.Hour;
  EXPECT_TRUE(iso::EncodeDateTime({2000, 2, 29, 0, 0, 0, 0}).has_value());
  for (const double v : {std::nan(""), std::numeric_limits<double>::infinity(), -693594.0, 2958466.0})
    EXPECT_FALSE(iso::DecodeDateTime(v).has_value()) << v;
}

TEST(DateTime, RoundingUpToMidnightMovesToTheNextDay) {
  // 23:59:59.9996 rounds to the next midnight on either side of day 0.
  const double almost = 86399999.6 / 86400000.0;
  for (const auto& [value, day, month, year] :
       {std::tuple{1.0 + almost, 1, 1, 1900}, std::tuple{-1.0 - almost, 30, 12, 1899}}) {
    const auto t = iso::DecodeDateTime(value);
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(t->Year, year) << value;
    EXPECT_EQ(t->Month, month) << value;
    EXPECT_EQ(t->Day, day) << value;
    EXPECT_EQ(t->Hour * 3600000 + t->Minute * 60000 + t->Second * 1000 + t->Millisecond, 0) << value;
  }
}

}  // namespace
