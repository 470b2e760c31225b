#pragma once
// TDateTime helpers: days since 1899-12-30 as a double, local time.
#include <cstdint>
#include <optional>

#include "engine/iso/entries.h"
#include "platform/time_zone.h"

namespace iso {

// Civil date and time to TDateTime; nullopt when a field is out of range.
std::optional<TDateTime> EncodeDateTime(const platform::CivilTime& t);
// TDateTime to civil time; values outside years 1..9999 give nullopt.
std::optional<platform::CivilTime> DecodeDateTime(TDateTime value);

TDateTime NowDateTime();

// A local date with the offset from UTC, in 15-minute steps, in force then.
struct LocalDate {
  TDateTime Value = 0;
  std::int8_t Offset = 0;
};
LocalDate NowLocalDate();
// A file time (UTC seconds) as a local date; nullopt when it cannot be
// converted.
std::optional<LocalDate> FileTimeToLocalDate(std::int64_t unixSec, std::int32_t nsec);
// The offset in force at a local date (0 when the date is not a valid one).
std::int8_t OffsetAtLocal(TDateTime value);

// A local date as a file time (UTC seconds); nullopt when it is not a valid date.
std::optional<std::int64_t> LocalDateToFileTime(TDateTime value);

std::optional<TDateTime> FileTimeToDateTime(std::int64_t unixSec, std::int32_t nsec);

}  // namespace iso
