#include "Dates.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace sorvel {

static CalendarTime fromTm(const std::tm& tm, double seconds) {
    CalendarTime c;
    c.year = tm.tm_year + 1900;
    c.month = tm.tm_mon + 1;
    c.day = tm.tm_mday;
    c.hour = tm.tm_hour;
    c.minute = tm.tm_min;
    c.second = tm.tm_sec;
    double whole = std::floor(seconds);
    c.microsecond = static_cast<int>(std::floor((seconds - whole) * 1e6 + 1e-6));
    if (c.microsecond > 999999) c.microsecond = 999999;
    c.utcOffsetSeconds = tm.tm_gmtoff;
    return c;
}

CalendarTime localCalendarTime(Date date) {
    std::time_t t = static_cast<std::time_t>(std::floor(date.secondsSince1970));
    std::tm tm{};
    localtime_r(&t, &tm);
    return fromTm(tm, date.secondsSince1970);
}

CalendarTime utcCalendarTime(Date date) {
    std::time_t t = static_cast<std::time_t>(std::floor(date.secondsSince1970));
    std::tm tm{};
    gmtime_r(&t, &tm);
    return fromTm(tm, date.secondsSince1970);
}

std::string formatIso8601(Date date) {
    CalendarTime c = utcCalendarTime(date);
    char buf[64];
    if (c.microsecond == 0)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", c.year, c.month, c.day, c.hour, c.minute, c.second);
    else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", c.year, c.month, c.day, c.hour, c.minute,
                      c.second, c.microsecond);
    return buf;
}

namespace {

bool digits(std::string_view s, std::size_t pos, int n, int& out) {
    if (pos + n > s.size()) return false;
    out = 0;
    for (int i = 0; i < n; ++i) {
        char ch = s[pos + i];
        if (ch < '0' || ch > '9') return false;
        out = out * 10 + (ch - '0');
    }
    return true;
}

}  // namespace

std::optional<Date> parseIso8601(std::string_view s) {
    int y, mo, d, h = 0, mi = 0, sec = 0;
    if (!digits(s, 0, 4, y) || s.size() < 10 || s[4] != '-' || !digits(s, 5, 2, mo) || s[7] != '-' || !digits(s, 8, 2, d))
        return std::nullopt;
    std::size_t i = 10;
    double frac = 0;
    if (i < s.size() && (s[i] == 'T' || s[i] == ' ')) {
        if (!digits(s, i + 1, 2, h) || i + 3 >= s.size() || s[i + 3] != ':' || !digits(s, i + 4, 2, mi)) return std::nullopt;
        i += 6;
        if (i < s.size() && s[i] == ':') {
            if (!digits(s, i + 1, 2, sec)) return std::nullopt;
            i += 3;
            if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
                ++i;
                double scale = 0.1;
                std::size_t start = i;
                while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
                    frac += (s[i] - '0') * scale;
                    scale /= 10;
                    ++i;
                }
                if (i == start) return std::nullopt;
            }
        }
    }
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || sec > 60) return std::nullopt;
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = sec;
    if (i == s.size()) {
        tm.tm_isdst = -1;
        std::time_t t = std::mktime(&tm);
        if (tm.tm_mday != d) return std::nullopt;  // mktime normalised an impossible date
        return Date{static_cast<double>(t) + frac};
    }
    long offset = 0;
    if (s[i] == 'Z' && i + 1 == s.size()) {
        offset = 0;
    } else if (s[i] == '+' || s[i] == '-') {
        int oh, om;
        std::size_t j = i + 1;
        if (!digits(s, j, 2, oh)) return std::nullopt;
        j += 2;
        if (j < s.size() && s[j] == ':') ++j;
        if (!digits(s, j, 2, om) || j + 2 != s.size() || oh > 23 || om > 59) return std::nullopt;
        offset = (oh * 3600L + om * 60L) * (s[i] == '-' ? -1 : 1);
    } else {
        return std::nullopt;
    }
    std::time_t t = timegm(&tm);
    if (tm.tm_mday != d) return std::nullopt;
    return Date{static_cast<double>(t - offset) + frac};
}

}  // namespace sorvel
