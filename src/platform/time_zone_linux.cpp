#include <langinfo.h>
#include <locale.h>
#include <time.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/time_zone.h"

namespace platform {

namespace {

constexpr std::int32_t kNsecPerMsec = 1'000'000;
constexpr std::int32_t kNsecPerSec = 1'000'000'000;

// tm_gmtoff is seconds east of UTC; the Win32 bias counts minutes the other way.
std::int32_t BiasFromOffset(long gmtOffset) { return static_cast<std::int32_t>(-gmtOffset / 60); }

}  // namespace

std::int32_t StandardBiasMinutes() {
  tzset();
  const time_t now = time(nullptr);
  tm local {};
  if (localtime_r(&now, &local) == nullptr) return static_cast<std::int32_t>(timezone / 60);
  // The offset in force now is the best guide where a zone has moved its
  // standard time over the years; during summer time take mid-January or
  // mid-July of this year, whichever is standard, to serve both hemispheres.
  if (local.tm_isdst == 0) return BiasFromOffset(local.tm_gmtoff);
  for (const int month : {0, 6}) {
    tm probe {};
    probe.tm_year = local.tm_year;
    probe.tm_mon = month;
    probe.tm_mday = 15;
    probe.tm_hour = 12;
    probe.tm_isdst = -1;
    const time_t instant = mktime(&probe);
    tm checked {};
    if (instant != static_cast<time_t>(-1) && localtime_r(&instant, &checked) != nullptr && checked.tm_isdst == 0) {
      return BiasFromOffset(checked.tm_gmtoff);
    }
  }
  return static_cast<std::int32_t>(timezone / 60);
}

bool ToLocalCivil(std::int64_t unixSec, std::int32_t nsec, CivilTime& out) {
  if (nsec < 0 || nsec >= kNsecPerSec) return false;
  const auto instant = static_cast<time_t>(unixSec);
  tm local {};
  if (localtime_r(&instant, &local) == nullptr) return false;
  // tm_year + 1900 in 64 bits: tm_year itself is near INT_MAX for extreme instants.
  const std::int64_t year = std::int64_t{local.tm_year} + 1900;
  if (year < 1 || year > 9999) return false;
  out.Year = static_cast<int>(year);
  out.Month = local.tm_mon + 1;
  out.Day = local.tm_mday;
  out.Hour = local.tm_hour;
  out.Minute = local.tm_min;
  // A leap second shows as 60; the Win32 layout has no room for it.
  out.Second = local.tm_sec > 59 ? 59 : local.tm_sec;
  out.Millisecond = nsec / kNsecPerMsec;
  out.UtcOffsetMinutes = static_cast<int>(local.tm_gmtoff / 60);
  return true;
}

int UtcOffsetMinutesAt(const CivilTime& local) {
  tm probe {};
  probe.tm_year = local.Year - 1900;
  probe.tm_mon = local.Month - 1;
  probe.tm_mday = local.Day;
  probe.tm_hour = local.Hour;
  probe.tm_min = local.Minute;
  probe.tm_sec = local.Second;
  probe.tm_isdst = -1;
  if (mktime(&probe) == static_cast<time_t>(-1)) return -StandardBiasMinutes();
  return static_cast<int>(probe.tm_gmtoff / 60);
}

CivilTime NowLocal() {
  timespec now {};
  CivilTime civil;
  if (clock_gettime(CLOCK_REALTIME, &now) == 0) {
    ToLocalCivil(static_cast<std::int64_t>(now.tv_sec), static_cast<std::int32_t>(now.tv_nsec), civil);
  }
  return civil;
}

DateOrder ShortDateOrder() {
  // The format of the LC_TIME locale in force, as "%m/%d/%y" or "%d.%m.%Y";
  // the program's own locale stays "C" so that files are written the same
  // everywhere, so the user's locale is looked up by name.
  locale_t user = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
  const std::string format = user != static_cast<locale_t>(nullptr) ? nl_langinfo_l(D_FMT, user) : "%m/%d/%y";
  if (user != static_cast<locale_t>(nullptr)) freelocale(user);
  const auto day = format.find_first_of("de");
  const auto month = format.find_first_of("mbB");
  const auto year = format.find_first_of("yYCG");
  if (format.find("%F") != std::string::npos) return DateOrder::YearMonthDay;
  if (format.find("%D") != std::string::npos || day == std::string::npos || month == std::string::npos)
    return DateOrder::MonthDayYear;
  if (year != std::string::npos && year < month && year < day) return DateOrder::YearMonthDay;
  return day < month ? DateOrder::DayMonthYear : DateOrder::MonthDayYear;
}

}  // namespace platform
