#pragma once
// Small Bayer (RGGB) DNG files written with libtiff, for developing in tests. The camera is
// described with the sRGB primaries (ColorMatrix1 = XYZ to linear sRGB, D65, neutral
// AsShotNeutral), so a developed scene colour should come back as itself.

#include <array>
#include <cstdint>
#include <functional>

#include "platform/foundation/Value.h"

namespace sorvel::image::test {

struct DngScene {
    int width = 64, height = 48;
    // Linear scene colour of pixel (x, y), rows from the top; 1 is the sensor's white.
    std::function<std::array<float, 3>(int x, int y)> colour;
    float noise = 0;  // standard deviation, in units of white, of added sensor noise
    // Photon noise on top: a sample of value v gets sqrt(shotNoise x v) more standard deviation.
    float shotNoise = 0;
    int orientation = 1;
    // The camera's response to white (written as AsShotNeutral): each sample is the scene times
    // its channel's entry, so a correct white balance gives the scene back.
    std::array<float, 3> asShotNeutral = {1, 1, 1};
    // Colours of the 2 x 2 pattern, rows top down (0 red, 1 green, 2 blue).
    std::array<std::uint8_t, 4> cfaPattern = {0, 1, 1, 2};
};

// Empty bytes when libtiff fails.
Bytes writeTestDng(const DngScene& scene);

}  // namespace sorvel::image::test
