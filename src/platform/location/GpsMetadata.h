#pragma once
// The GPS dictionary that capture writes into a picture's metadata. The image framework's Exif
// writer reads exactly these keys and value types:
//
//   "Latitude"      double, magnitude in degrees     "LatitudeRef"  "N" or "S"
//   "Longitude"     double, magnitude in degrees     "LongitudeRef" "E" or "W"
//   "Altitude"      double, magnitude in metres      "AltitudeRef"  integer 0 (above) or 1 (below sea level)
//   "DateStamp"     "yyyy:MM:dd"                     "TimeStamp"    "HH:mm:ss.SSSSSS"
//
// Both stamps are in the process's local time zone (TZ), not in UTC.

#include "Location.h"
#include "platform/foundation/Value.h"

namespace sorvel {

namespace gps {
inline constexpr const char* kLatitude = "Latitude";
inline constexpr const char* kLatitudeRef = "LatitudeRef";
inline constexpr const char* kLongitude = "Longitude";
inline constexpr const char* kLongitudeRef = "LongitudeRef";
inline constexpr const char* kAltitude = "Altitude";
inline constexpr const char* kAltitudeRef = "AltitudeRef";
inline constexpr const char* kDateStamp = "DateStamp";
inline constexpr const char* kTimeStamp = "TimeStamp";
}  // namespace gps

// Any thread.
Dictionary gpsMetadata(const Location& location);

}  // namespace sorvel
