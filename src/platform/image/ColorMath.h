#pragma once
// Colour conversions between stored pixels and the working space (linear-light, premultiplied,
// sRGB primaries, extended). Internal to the image framework.

#include <cstddef>
#include <cstdint>

#include "platform/image/Bitmap.h"

namespace sorvel::image::color {

float srgbToLinear(float v);  // extended: sign-symmetric
float linearToSrgb(float v);

// 256 entries: 8-bit sRGB-encoded value to linear light.
const float* decodeTable8();
// Linear value in [0, 1] to 8-bit sRGB code, rounding to nearest.
std::uint8_t encode8(float linear);

// Row converters. `planes` are R, G, B, A rows of the working space, `n` pixels.
// Stored 8-bit straight RGBA (or BGRA when `bgra`) in `space` to working space.
void loadRGBA8(const std::uint8_t* src, std::size_t n, ColorSpace space, bool bgra,
               float* r, float* g, float* b, float* a);
// Working space to a stored row of `format` in `space`. `streaming`: `dst` belongs to a picture
// far larger than the caches, written with stores that bypass them where the format and `dst`
// allow; the thread calls storeFence() (HalfEncoding.h) when its rows are done.
void storeRow(const float* r, const float* g, const float* b, const float* a, std::size_t n,
              PixelFormat format, ColorSpace space, std::uint8_t* dst, bool streaming = false);

std::uint16_t floatToHalf(float f);
float halfToFloat(std::uint16_t h);

// 3x3 matrices (row-major) between linear sRGB and linear Display P3 primaries.
extern const float kSRGBToP3[9];
extern const float kP3ToSRGB[9];

}  // namespace sorvel::image::color
