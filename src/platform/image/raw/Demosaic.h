#pragma once
// A Bayer mosaic to linear RGB with the sRGB primaries on all cores: black level and white
// balance, Malvar-He-Cutler demosaicing (bilinear corrected by the gradient of the sample's own
// colour, a 5 x 5 linear filter, each estimate kept within the range of the samples of its
// colour it lies between, so that a sharp edge does not ring two pixels into its neighbour),
// the camera-to-sRGB matrix and the file's orientation, written straight into float planes.
// About ten times faster than LibRaw's single-threaded AHD for a similar picture; the developer
// falls back to LibRaw for every sensor this does not describe.
// Internal to the RAW developer.

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/image/raw/RawDevelopment.h"

namespace sorvel::image::raw {

struct BayerMosaic {
    const std::uint16_t* samples = nullptr;
    std::size_t pitch = 0;     // samples per stored row
    int top = 0, left = 0;     // first visible sample
    int width = 0, height = 0;  // visible size
    // Colour (0 red, 1 green, 2 blue) of the visible sample (y, x) is colour[y & 1][x & 1].
    int colour[2][2] = {{0, 1}, {1, 2}};
    // Per position in the 2 x 2 pattern: value = (sample - black) x scale, clipped to 0..1;
    // the scale holds the white level and the white-balance gain (the smallest gain is 1, so
    // every clipped channel reaches 1 and blown highlights stay white).
    float black[2][2] = {};
    float scale[2][2] = {};
    std::array<std::array<float, 3>, 3> cameraToSrgb = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    // LibRaw's flip: 1 mirror horizontally, 2 mirror vertically, 4 transpose (applied first
    // when reading the output back).
    int flip = 0;
};

// Full-resolution demosaic, orientation applied (width and height swapped by a transpose).
PlanarPicture demosaic(const BayerMosaic& mosaic);
// Each 2 x 2 block becomes one pixel (red, mean of the greens, blue): half the size, no
// interpolation.
PlanarPicture binHalf(const BayerMosaic& mosaic);

}  // namespace sorvel::image::raw
