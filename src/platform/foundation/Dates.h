#pragma once
// Calendar conversions of Clock time.

#include <optional>
#include <string>
#include <string_view>

#include "Value.h"

namespace sorvel {

struct CalendarTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    int microsecond = 0;
    long utcOffsetSeconds = 0;
};

// Broken-down local time (the process time zone, TZ) with microseconds, rounded down.
CalendarTime localCalendarTime(Date date);
CalendarTime utcCalendarTime(Date date);

// "2026-12-06T17:44:12Z", with fractional seconds when present.
std::string formatIso8601(Date date);
// Accepts YYYY-MM-DD, YYYY-MM-DDThh:mm[:ss[.fff]] with Z, +hh:mm, +hhmm or no zone (local).
std::optional<Date> parseIso8601(std::string_view text);

}  // namespace sorvel
