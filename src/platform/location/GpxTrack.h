#pragma once
// A recorded track in GPX, replayed by the location service in place of a receiver. Only what
// replay needs is read: track points with latitude, longitude, elevation and time. The XML is
// read by expat.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Value.h"

namespace sorvel {

struct GpxPoint {
    double latitude = 0;
    double longitude = 0;
    double elevation = 0;         // 0 when the point has none
    std::optional<Date> time;     // absent when the point has none
};

struct GpxTrack {
    std::vector<GpxPoint> points;  // never empty
};

// Parses GPX text. A file that is not GPX, has no track point, or has a point with a missing or
// out-of-range coordinate, an unreadable elevation or time, or an unclosed tag is rejected as a
// whole with a readable reason in `error`.
std::optional<GpxTrack> parseGpx(std::string_view text, std::string& error);

// Reads and parses a GPX file (at most 64 MB).
std::optional<GpxTrack> loadGpx(const std::filesystem::path& file, std::string& error);

}  // namespace sorvel
