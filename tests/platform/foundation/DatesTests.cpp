#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/foundation/Dates.h"

using namespace sorvel;

// `defaults write -date` takes ISO 8601; a wrong offset sign or a silently accepted 31 February
// would store the wrong instant.
TEST(Dates, Iso8601ParsesZonesAndRejectsNonsense) {
    EXPECT_EQ(parseIso8601("2026-12-06T17:44:12Z")->secondsSince1970, 1796579052.0);
    EXPECT_EQ(parseIso8601("2026-12-06T18:44:12+01:00")->secondsSince1970, 1796579052.0);
    EXPECT_EQ(parseIso8601("2026-12-06T12:44:12.5-0500")->secondsSince1970, 1796579052.5);
    EXPECT_FALSE(parseIso8601("2026-02-31T00:00:00Z"));
    EXPECT_FALSE(parseIso8601("2026-13-01"));
    EXPECT_FALSE(parseIso8601("yesterday"));
    EXPECT_FALSE(parseIso8601("2026-12-06T17:44:12Zjunk"));
    EXPECT_EQ(formatIso8601(Date{1796579052.25}), "2026-12-06T17:44:12.250000Z");
}

// Local calendar time follows TZ, with microseconds rounded down (a GPS time stamp of
// 23:59:59.5 must not become the next day).
TEST(Dates, LocalCalendarTimeFollowsTimeZone) {
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    setenv("TZ", "Asia/Shanghai", 1);
    tzset();
    const double utcMidnight = 1796515200.0;  // 2026-12-06T00:00:00Z
    CalendarTime late = localCalendarTime(Date{utcMidnight - 8 * 3600 - 0.5});  // local midnight minus 0.5 s
    EXPECT_EQ(late.utcOffsetSeconds, 8 * 3600);
    EXPECT_EQ(late.day, 5);
    EXPECT_EQ(late.hour, 23);
    EXPECT_EQ(late.second, 59);
    EXPECT_EQ(late.microsecond, 500000);
    if (old) setenv("TZ", saved.c_str(), 1);
    else unsetenv("TZ");
    tzset();
}
