#pragma once
// The virtual rig's back wide camera looking at the built-in scene with its lens locked on the
// colour chart and the resolution star (3 m), exposure by its own automatic exposure: DNGs at a
// given ISO (the exposure time follows, so every ISO sees the same light), the noise-free
// capture, and the truth picture with the chart's and the star's positions on it.

#include <array>
#include <optional>
#include <string>

#include "TiffPlanes.h"
#include "platform/foundation/Value.h"

namespace sorvel::bench {

// A DNG in sensor orientation (Exif orientation 1), so every developer's picture lies on the
// truth's pixel grid. `noise` false: the same capture without photon or read noise.
std::optional<Bytes> rigDng(double iso, bool noise, std::string* error);

// The scene's linear sRGB radiance (1 = a white card in daylight) on every sensor pixel, worked
// back from the noise-free mosaic through the sensor's exact response.
Planes rigTruth();

struct PatchRect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // inclusive bounds of the patch's own pixels
    std::array<double, 3> colour{};       // its truth
};

struct ChartGeometry {
    std::array<PatchRect, 24> patches;
    double starX = 0, starY = 0, starRadius = 0;  // pixels, continuous coordinates
    int starSpokes = 0;
};

// Where the chart and the star lie in a truth picture of the rig's camera (patch bounds snapped
// to the truth's own pixels).
ChartGeometry chartGeometry(const Planes& truth);

}  // namespace sorvel::bench
