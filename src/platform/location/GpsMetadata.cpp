#include "GpsMetadata.h"

#include <cmath>
#include <cstdio>

#include "platform/foundation/Dates.h"

namespace sorvel {

Dictionary gpsMetadata(const Location& location) {
    Dictionary d;
    // Zero counts as north, east and above sea level.
    d[gps::kLatitude] = std::fabs(location.latitude);
    d[gps::kLatitudeRef] = location.latitude >= 0 ? "N" : "S";
    d[gps::kLongitude] = std::fabs(location.longitude);
    d[gps::kLongitudeRef] = location.longitude >= 0 ? "E" : "W";
    d[gps::kAltitude] = std::fabs(location.altitude);
    d[gps::kAltitudeRef] = location.altitude >= 0 ? 0 : 1;

    CalendarTime t = localCalendarTime(location.timestamp);
    char date[32];
    std::snprintf(date, sizeof date, "%04d:%02d:%02d", t.year, t.month, t.day);
    char time[32];
    std::snprintf(time, sizeof time, "%02d:%02d:%02d.%06d", t.hour, t.minute, t.second, t.microsecond);
    d[gps::kDateStamp] = std::string(date);
    d[gps::kTimeStamp] = std::string(time);
    return d;
}

}  // namespace sorvel
