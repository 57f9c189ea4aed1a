#pragma once
// Fast paths for half-float output, the format deep pictures are developed to: the sRGB transfer
// curve as piecewise cubics (accurate far beyond half precision) and float-to-half conversion
// with the CPU's converter where it has one. Internal to the image framework.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace sorvel::image::color {

float linearToSrgb(float v);

namespace half_detail {
// Above the linear segment the curve is 1.055 x^(1/2.4) - 0.055. For x = 2^e m with m in [1, 2)
// that is 1.055 2^(e/2.4) m^(1/2.4) - 0.055: one factor per octave times one function of the
// mantissa, the same in every octave, held as a cubic over each eighth of [1, 2). Both tables
// fit in vector registers, so a vector of values needs no memory look-ups at all.
constexpr int kLowestOctave = -9;  // 2^-9 is below 0.0031308, where the linear segment ends
constexpr int kOctaves = 16;       // up to 2^7; above that (rare highlights) the exact curve
constexpr int kEighthBits = 3;
constexpr float kLinearEnd = 0.0031308f;

struct EncodeCurve {
    float octave[kOctaves];  // 1.055 2^(e/2.4) for e = kLowestOctave ...
    // p(u) = c0 + u (c1 + u (c2 + u c3)) for u in [0, 1) across the eighth
    float c0[1 << kEighthBits], c1[1 << kEighthBits], c2[1 << kEighthBits], c3[1 << kEighthBits];
};
const EncodeCurve& encodeCurve();
}  // namespace half_detail

// linearToSrgb within 1e-6 relative (far below a half-float step): the exact linear segment,
// the octave factor and mantissa cubics above it up to 2^7, the exact curve beyond and for NaN.
// Inline, with the curve fetched once by the caller, because it runs three times per pixel.
// Plain multiplies and adds, no fused ones: the vector version gives the same bits.
inline float linearToSrgbFast(float v, const half_detail::EncodeCurve& k) {
    using namespace half_detail;
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    const std::uint32_t magnitude = bits & 0x7fffffffu;
    const int exponent = int(magnitude >> 23) - 127;
    if (exponent >= kLowestOctave + kOctaves) return linearToSrgb(v);  // includes inf and NaN
    float a;
    std::memcpy(&a, &magnitude, 4);
    if (a <= kLinearEnd) return v * 12.92f;
    const std::uint32_t eighth = (magnitude >> (23 - kEighthBits)) & ((1u << kEighthBits) - 1);
    const float u = float(magnitude & ((1u << (23 - kEighthBits)) - 1)) * (1.0f / float(1u << (23 - kEighthBits)));
    const float p = ((k.c3[eighth] * u + k.c2[eighth]) * u + k.c1[eighth]) * u + k.c0[eighth];
    const float e = k.octave[exponent - kLowestOctave] * p - 0.055f;
    return (bits >> 31) ? -e : e;
}
inline float linearToSrgbFast(float v) { return linearToSrgbFast(v, half_detail::encodeCurve()); }

// linearToSrgbFast on each of `n` values, bit for bit, eight at a time where the CPU has AVX2:
// the cubics' coefficients and the octave factors come from registers by lane permutes.
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
