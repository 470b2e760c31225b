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

// A file time (UTC seconds) as local TDateTime; nullopt when it cannot be
// converted.
std::optional<TDateTime> FileTimeToDateTime(std::int64_t unixSec, std::int32_t nsec);

}  // namespace iso
