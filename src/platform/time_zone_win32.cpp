#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/time_zone.h"
#include "platform/win32_text.h"

namespace platform {

namespace {

constexpr std::int32_t kNsecPerMsec = 1'000'000;
constexpr std::int32_t kNsecPerSec = 1'000'000'000;
// FILETIME holds 1601 to 30827; the Win32 civil layout keeps years 1 to 9999.
constexpr std::int64_t kFirstUnixSec = -11644473600;
constexpr std::int64_t kLastUnixSec = 253402300799;  // 9999-12-31 23:59:59

std::int64_t Ticks(const FILETIME& ft) {
  return static_cast<std::int64_t>((std::uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime);
}

bool TicksOf(const SYSTEMTIME& st, std::int64_t& ticks) {
  FILETIME ft{};
  if (!SystemTimeToFileTime(&st, &ft)) return false;
  ticks = Ticks(ft);
  return true;
}

}  // namespace

std::int32_t StandardBiasMinutes() {
  TIME_ZONE_INFORMATION tz{};
  if (GetTimeZoneInformation(&tz) == TIME_ZONE_ID_INVALID) return 0;
  return static_cast<std::int32_t>(tz.Bias + tz.StandardBias);
}

bool ToLocalCivil(std::int64_t unixSec, std::int32_t nsec, CivilTime& out) {
  if (nsec < 0 || nsec >= kNsecPerSec || unixSec < kFirstUnixSec || unixSec > kLastUnixSec) return false;
  const std::int64_t ticks = unixSec * win32::kTicksPerSecond + win32::kUnixEpochTicks;
  FILETIME ft{};
  ft.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
  SYSTEMTIME utc{};
  SYSTEMTIME local{};
  if (!FileTimeToSystemTime(&ft, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return false;
  std::int64_t localTicks = 0;
  if (!TicksOf(local, localTicks)) return false;
  if (local.wYear < 1 || local.wYear > 9999) return false;
  out.Year = local.wYear;
  out.Month = local.wMonth;
  out.Day = local.wDay;
  out.Hour = local.wHour;
  out.Minute = local.wMinute;
  out.Second = local.wSecond;
  out.Millisecond = nsec / kNsecPerMsec;
  out.UtcOffsetMinutes = static_cast<int>((localTicks - ticks) / (60 * win32::kTicksPerSecond));
  return true;
}

int UtcOffsetMinutesAt(const CivilTime& local) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(local.Year);
  st.wMonth = static_cast<WORD>(local.Month);
  st.wDay = static_cast<WORD>(local.Day);
  st.wHour = static_cast<WORD>(local.Hour);
  st.wMinute = static_cast<WORD>(local.Minute);
  st.wSecond = static_cast<WORD>(local.Second);
  SYSTEMTIME utc{};
  std::int64_t localTicks = 0;
  std::int64_t utcTicks = 0;
  if (local.Year < 1601 || local.Year > 30827 || !TicksOf(st, localTicks) ||
      !TzSpecificLocalTimeToSystemTime(nullptr, &st, &utc) || !TicksOf(utc, utcTicks))
    return -StandardBiasMinutes();
  return static_cast<int>((localTicks - utcTicks) / (60 * win32::kTicksPerSecond));
}

CivilTime NowLocal() {
  FILETIME ft{};
  GetSystemTimeAsFileTime(&ft);
  const std::int64_t since = Ticks(ft) - win32::kUnixEpochTicks;
  CivilTime civil;
  ToLocalCivil(since / win32::kTicksPerSecond, static_cast<std::int32_t>(since % win32::kTicksPerSecond) * 100, civil);
  return civil;
}

DateOrder ShortDateOrder() {
  wchar_t format[80] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, format, 80) <= 0) return DateOrder::MonthDayYear;
  const std::wstring f(format);
  // Quoted literals ('de') are no fields.
  std::wstring fields;
  bool quoted = false;
  for (const wchar_t c : f) {
    if (c == L'\'') quoted = !quoted;
    else if (!quoted) fields += c;
  }
  const auto day = fields.find(L'd');
  const auto month = fields.find(L'M');
  const auto year = fields.find(L'y');
  if (day == std::wstring::npos || month == std::wstring::npos) return DateOrder::MonthDayYear;
  if (year != std::wstring::npos && year < month && year < day) return DateOrder::YearMonthDay;
  return day < month ? DateOrder::DayMonthYear : DateOrder::MonthDayYear;
}

}  // namespace platform
