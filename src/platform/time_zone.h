#pragma once
// Local time and the time-zone bias.
#include <cstdint>

namespace platform {

struct CivilTime {
  int Year = 0;
  int Month = 0;  // 1..12
  int Day = 0;    // 1..31
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
  // Minutes east of UTC in force at that moment (summer time included).
  int UtcOffsetMinutes = 0;
};

// The Win32 standard bias: minutes to add to local standard time to get UTC
// (UTC+1 gives -60).
std::int32_t StandardBiasMinutes();

// Breaks a UTC instant into local civil time; false when it cannot be
// represented.
bool ToLocalCivil(std::int64_t unixSec, std::int32_t nsec, CivilTime& out);

CivilTime NowLocal();

// The offset from UTC, in minutes east, in force at a local civil time (the
// earlier one where a summer-time change makes the hour ambiguous).
int UtcOffsetMinutesAt(const CivilTime& local);

// The order of day, month and year in the user's short date format.
enum class DateOrder { MonthDayYear, DayMonthYear, YearMonthDay };
DateOrder ShortDateOrder();

}  // namespace platform
