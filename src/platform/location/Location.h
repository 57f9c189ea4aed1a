#pragma once
// One position fix as the location service delivers it.

#include "platform/foundation/Value.h"

namespace sorvel {

struct Location {
    double latitude = 0;   // degrees, north positive
    double longitude = 0;  // degrees, east positive
    double altitude = 0;   // metres above sea level
    Date timestamp;        // when the fix was taken, on the Clock
    friend bool operator==(const Location&, const Location&) = default;
};

}  // namespace sorvel
