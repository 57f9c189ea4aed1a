#pragma once
// Fast paths for half-float output, the format deep pictures are developed to: the sRGB transfer
// curve from a table (accurate far beyond half precision) and float-to-half conversion with the
// CPU's converter where it has one. Internal to the image framework.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace sorvel::image::color {

float linearToSrgb(float v);

namespace half_detail {
constexpr int kMinExponent = -13;  // below 2^-13 the curve is its linear segment
constexpr int kMaxExponent = 7;    // 2^7 and above (rare highlights): the exact curve
constexpr int kSegmentBits = 8;
}  // namespace half_detail

// The table linearToSrgbFast reads: the curve at the start of each segment.
const float* srgbEncodeTable();

// linearToSrgb within 1e-5 relative (a fiftieth of a half-float step): the table with linear
// interpolation over 2^-13 .. 2^7 (256 segments per octave), the exact linear segment below,
// the exact curve above and for NaN. Inline, with the table fetched once by the caller, because
// it runs three times per pixel.
inline float linearToSrgbFast(float v, const float* table) {
    using namespace half_detail;
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    const std::uint32_t magnitude = bits & 0x7fffffffu;
    const int exponent = int(magnitude >> 23) - 127;
    if (exponent < kMinExponent) return v * 12.92f;        // includes zero and float subnormals
    if (exponent >= kMaxExponent) return linearToSrgb(v);  // includes inf and NaN
    const std::uint32_t index = (std::uint32_t(exponent - kMinExponent) << kSegmentBits) |
                                ((magnitude >> (23 - kSegmentBits)) & ((1u << kSegmentBits) - 1));
    const float fraction =
        float(magnitude & ((1u << (23 - kSegmentBits)) - 1)) * (1.0f / float(1u << (23 - kSegmentBits)));
    const float e = table[index] + (table[index + 1] - table[index]) * fraction;
    return (bits >> 31) ? -e : e;
}
inline float linearToSrgbFast(float v) { return linearToSrgbFast(v, srgbEncodeTable()); }

// linearToSrgbFast on each of `n` values, bit for bit, four at a time: the table positions are
// computed in vector registers and each lane's two neighbouring entries come in one 8-byte load.
// `out` may be `in`.
void linearToSrgbFast(const float* in, float* out, std::size_t n);

// floatToHalf over `n` values, bit for bit (round to nearest even, NaN as floatToHalf gives it).
void floatsToHalves(const float* in, std::uint16_t* out, std::size_t n);

// Stores that bypass the caches (`streaming` below) are weakly ordered: the writing thread
// calls storeFence() before another thread reads what they stored.
void storeFence();

// `n` opaque pixels from three planes (already encoded) to interleaved half-float RGBA with
// alpha 1: the halves floatsToHalves gives for the interleaved floats, without interleaving
// floats first. `streaming`: `dst` belongs to a picture far larger than the caches, which would
// only be evicted again before anyone reads it (and each cached store first reads its line
// from memory); it is then stored past the caches where `dst` allows.
void storeOpaqueHalves(const float* r, const float* g, const float* b, std::size_t n, std::uint8_t* dst,
                       bool streaming);

}  // namespace sorvel::image::color
