#pragma once
// Where fixes come from on a machine without a receiver: one fixed position, or a GPX track
// replayed on the Clock. Chosen at start of updates from the environment or the permissions
// file; with neither, there is no provider and no fix.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "GpxTrack.h"
#include "Location.h"

namespace sorvel {

class LocationProvider {
public:
    using Deliver = std::function<void(const std::vector<Location>&)>;
    virtual ~LocationProvider() = default;
    // Begins delivering fixes to `deliver`, always from the main queue, each stamped with the
    // Clock's time at delivery. Main thread.
    virtual void start(Deliver deliver) = 0;
    // No delivery happens after this returns. Main thread.
    virtual void stop() = 0;
};

struct FixedPosition {
    double latitude = 0, longitude = 0, altitude = 0;
};

// "lat, lon, alt" (commas, optional spaces; altitude optional, default 0). Nothing when a number
// is unreadable or out of range.
std::optional<FixedPosition> parseFixedPosition(std::string_view text);

// Delivers one fix soon after start.
std::unique_ptr<LocationProvider> makeFixedProvider(FixedPosition position);

// Delivers the track's points one at a time, spaced as their GPX times are (one second apart
// when a point has no time or time runs backwards), then stays at the last one.
std::unique_ptr<LocationProvider> makeTrackProvider(GpxTrack track);

// The configured provider: $SORVEL_LOCATION ("lat,lon,alt"), else $SORVEL_LOCATION_GPX (a GPX
// file), else the permissions file's "location_fix", else its "location_gpx" (relative to the
// permissions file's folder). A configured
// but unusable source prints one console line and gives no provider. Main thread.
std::unique_ptr<LocationProvider> makeConfiguredProvider();

}  // namespace sorvel
