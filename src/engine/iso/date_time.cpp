#include "engine/iso/date_time.h"

#include <algorithm>
#include <cmath>

namespace iso {
namespace {

// Days from 1899-12-30 to the civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3u : 9u)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days1970 = era * 146097 + static_cast<std::int64_t>(doe) - 719468;
  return days1970 + 25569;  // 1970-01-01 is day 25569
}

void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
  std::int64_t z = days - 25569 + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<TDateTime> EncodeDateTime(const platform::CivilTime& t) {
  if (t.Year < 1 || t.Year > 9999 || t.Month < 1 || t.Month > 12 || t.Day < 1 ||
      t.Day > DaysInMonth(t.Year, t.Month) || t.Hour < 0 || t.Hour > 23 || t.Minute < 0 ||
      t.Minute > 59 || t.Second < 0 || t.Second > 59 || t.Millisecond < 0 || t.Millisecond > 999)
    return std::nullopt;
  const auto days = DaysFromCivil(t.Year, static_cast<unsigned>(t.Month), static_cast<unsigned>(t.Day));
  const double ms = ((t.Hour * 60.0 + t.Minute) * 60.0 + t.Second) * 1000.0 + t.Millisecond;
  const double frac = ms / 86400000.0;
  // Dates before 1899-12-30 keep the time as a positive fraction of a negative day.
  return days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac;
}

std::optional<platform::CivilTime> DecodeDateTime(TDateTime value) {
  if (!std::isfinite(value) || value < -693593.0 || value >= 2958466.0) return std::nullopt;
  const double whole = std::trunc(value);
  auto days = static_cast<std::int64_t>(whole);
  auto ms = static_cast<std::int64_t>(std::llround(std::fabs(value - whole) * 86400000.0));
  if (ms >= 86400000) {  // rounding carried into the next day
    ms -= 86400000;
    // The whole part names the civil day on both sides of 0 (-1 is
    // 1899-12-29), so the next day is always one more.
    days += 1;
  }
  platform::CivilTime t;
  CivilFromDays(days, t.Year, t.Month, t.Day);
  if (t.Year < 1 || t.Year > 9999) return std::nullopt;
  t.Hour = static_cast<int>(ms / 3600000);
  t.Minute = static_cast<int>(ms / 60000 % 60);
  t.Second = static_cast<int>(ms / 1000 % 60);
  t.Millisecond = static_cast<int>(ms % 1000);
  return t;
}

TDateTime NowDateTime() {
  // NowLocal is always a valid civil time.
  return EncodeDateTime(platform::NowLocal()).value_or(0.0);
}

namespace {
std::int8_t Steps(int minutes) { return static_cast<std::int8_t>(std::clamp(minutes / 15, -48, 52)); }
}  // namespace

LocalDate NowLocalDate() {
  const platform::CivilTime t = platform::NowLocal();
  return LocalDate{EncodeDateTime(t).value_or(0.0), Steps(t.UtcOffsetMinutes)};
}

std::optional<LocalDate> FileTimeToLocalDate(std::int64_t unixSec, std::int32_t nsec) {
  platform::CivilTime t;
  if (!platform::ToLocalCivil(unixSec, nsec, t)) return std::nullopt;
  const auto value = EncodeDateTime(t);
  if (!value) return std::nullopt;
  return LocalDate{*value, Steps(t.UtcOffsetMinutes)};
}

std::int8_t OffsetAtLocal(TDateTime value) {
  const auto t = DecodeDateTime(value);
  return t ? Steps(platform::UtcOffsetMinutesAt(*t)) : std::int8_t{0};
}

std::optional<TDateTime> FileTimeToDateTime(std::int64_t unixSec, std::int32_t nsec) {
  const auto d = FileTimeToLocalDate(unixSec, nsec);
  if (!d) return std::nullopt;
  return d->Value;
}

std::optional<std::int64_t> LocalDateToFileTime(TDateTime value) {
  const auto t = DecodeDateTime(value);
  if (!t) return std::nullopt;
  const std::int64_t days = DaysFromCivil(t->Year, static_cast<unsigned>(t->Month), static_cast<unsigned>(t->Day));
  const std::int64_t local = (days - 25569) * 86400 + t->Hour * 3600 + t->Minute * 60 + t->Second;
  return local - std::int64_t{platform::UtcOffsetMinutesAt(*t)} * 60;
}

}  // namespace iso
