#include "platform/image/HalfEncoding.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/image/ColorMath.h"
#include "platform/image/TableLookup.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define SORVEL_HAVE_X86 1
#endif

namespace sorvel::image::color {

namespace {

using namespace half_detail;

#ifdef SORVEL_HAVE_X86
__attribute__((target("avx,f16c"))) void convertF16C(const float* in, std::uint16_t* out, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256 v = _mm256_loadu_ps(in + i);
        // NaN payloads differ from the scalar converter's: leave those lanes to it.
        if (_mm256_movemask_ps(_mm256_cmp_ps(v, v, _CMP_UNORD_Q))) {
            for (std::size_t j = i; j < i + 8; ++j) out[j] = floatToHalf(in[j]);
            continue;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm256_cvtps_ph(v, _MM_FROUND_TO_NEAREST_INT));
    }
    for (; i < n; ++i) out[i] = floatToHalf(in[i]);
}

// storeOpaqueHalves eight pixels at a time: each plane converted on its own, the halves
// interleaved as 16-bit words. Returns how many pixels it did.
__attribute__((target("avx,f16c"))) std::size_t opaqueF16C(const float* r, const float* g, const float* b,
                                                            std::size_t n, std::uint8_t* dst, bool streaming) {
    const __m128i alpha = _mm_set1_epi16(std::int16_t(0x3C00));  // 1.0
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 vr = _mm256_loadu_ps(r + i), vg = _mm256_loadu_ps(g + i), vb = _mm256_loadu_ps(b + i);
        const __m256 nan = _mm256_or_ps(_mm256_or_ps(_mm256_cmp_ps(vr, vr, _CMP_UNORD_Q), _mm256_cmp_ps(vg, vg, _CMP_UNORD_Q)),
                                        _mm256_cmp_ps(vb, vb, _CMP_UNORD_Q));
        if (_mm256_movemask_ps(nan)) break;  // the scalar converter's NaN payloads: the caller's loop
        const __m128i hr = _mm256_cvtps_ph(vr, _MM_FROUND_TO_NEAREST_INT);
        const __m128i hg = _mm256_cvtps_ph(vg, _MM_FROUND_TO_NEAREST_INT);
        const __m128i hb = _mm256_cvtps_ph(vb, _MM_FROUND_TO_NEAREST_INT);
        const __m128i rgLow = _mm_unpacklo_epi16(hr, hg), rgHigh = _mm_unpackhi_epi16(hr, hg);
        const __m128i baLow = _mm_unpacklo_epi16(hb, alpha), baHigh = _mm_unpackhi_epi16(hb, alpha);
        const __m128i pixels[4] = {_mm_unpacklo_epi32(rgLow, baLow), _mm_unpackhi_epi32(rgLow, baLow),
                                   _mm_unpacklo_epi32(rgHigh, baHigh), _mm_unpackhi_epi32(rgHigh, baHigh)};
        __m128i* out = reinterpret_cast<__m128i*>(dst + 8 * i);
        for (int k = 0; k < 4; ++k) {
            if (streaming)
                _mm_stream_si128(out + k, pixels[k]);
            else
                _mm_storeu_si128(out + k, pixels[k]);
        }
    }
    return i;
}

// CPUID leaf 1 directly: clang's __builtin_cpu_supports does not know "f16c".
bool cpuHasF16C() {
    static const bool has = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        return __builtin_cpu_supports("avx") && __get_cpuid(1, &a, &b, &c, &d) && (c & bit_F16C) != 0;
    }();
    return has;
}
#endif

}  // namespace

namespace half_detail {

const EncodeCurve& encodeCurve() {
    static const EncodeCurve curve = [] {
        EncodeCurve k{};
        for (int e = 0; e < kOctaves; ++e) k.octave[e] = float(1.055 * std::exp2((kLowestOctave + e) / 2.4));
        // Each eighth's cubic interpolates m^(1/2.4) at both ends and two inner points, so
        // neighbouring cubics meet (up to the coefficients' rounding).
        constexpr int kEighths = 1 << kEighthBits;
        for (int j = 0; j < kEighths; ++j) {
            double a[4][5];
            for (int i = 0; i < 4; ++i) {
                const double u = i / 3.0;
                for (int p = 0; p < 4; ++p) a[i][p] = std::pow(u, p);
                a[i][4] = std::pow(1.0 + (j + u) / kEighths, 1.0 / 2.4);
            }
            for (int c = 0; c < 4; ++c)  // Gauss-Jordan; the Vandermonde matrix needs no pivoting here
                for (int r = 0; r < 4; ++r) {
                    if (r == c) continue;
                    const double f = a[r][c] / a[c][c];
                    for (int q = c; q < 5; ++q) a[r][q] -= f * a[c][q];
                }
            k.c0[j] = float(a[0][4] / a[0][0]);
            k.c1[j] = float(a[1][4] / a[1][1]);
            k.c2[j] = float(a[2][4] / a[2][2]);
            k.c3[j] = float(a[3][4] / a[3][3]);
        }
        return k;
    }();
    return curve;
}

}  // namespace half_detail

#ifdef SORVEL_TABLE_LOOKUP_X86
namespace {

using namespace half_detail;

// linearToSrgbFast eight lanes at a time, the same operations in the same order; returns how
// many values it did (whole vectors).
__attribute__((target("avx2"))) std::size_t encodeEight(const float* in, float* out, std::size_t n,
                                                        const EncodeCurve& k) {
    static_assert(kEighthBits == 3 && kOctaves == 16, "one register per coefficient, two for the octaves");
    const __m256 c0 = _mm256_loadu_ps(k.c0), c1 = _mm256_loadu_ps(k.c1), c2 = _mm256_loadu_ps(k.c2),
                 c3 = _mm256_loadu_ps(k.c3);
    const __m256 lowOctaves = _mm256_loadu_ps(k.octave), highOctaves = _mm256_loadu_ps(k.octave + 8);
    const __m256i magnitudeMask = _mm256_set1_epi32(0x7fffffff);
    const __m256i fractionMask = _mm256_set1_epi32((1 << (23 - kEighthBits)) - 1);
    const __m256i lowest = _mm256_set1_epi32(127 + kLowestOctave);
    const __m256i highest = _mm256_set1_epi32(127 + kLowestOctave + kOctaves - 1);
    const __m256 fractionScale = _mm256_set1_ps(1.0f / float(1u << (23 - kEighthBits)));
    const __m256 linearEnd = _mm256_set1_ps(kLinearEnd), slope = _mm256_set1_ps(12.92f),
                 offset = _mm256_set1_ps(0.055f);
    const __m256 sign = _mm256_castsi256_ps(_mm256_set1_epi32(std::int32_t(0x80000000u)));
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 v = _mm256_loadu_ps(in + i);
        const __m256i magnitude = _mm256_and_si256(_mm256_castps_si256(v), magnitudeMask);
        const __m256i exponent = _mm256_srli_epi32(magnitude, 23);
        const __m256i beyond = _mm256_cmpgt_epi32(exponent, highest);
        if (!_mm256_testz_si256(beyond, beyond)) {  // highlights past the octaves, infinities, NaN
            for (std::size_t j = i; j < i + 8; ++j) out[j] = linearToSrgbFast(in[j], k);
            continue;
        }
        // The permutes read only an index's low three bits: the eighth needs no mask, and the
        // octave's fourth bit picks the register. Lanes on the linear segment compute garbage
        // here and are replaced below.
        const __m256i eighth = _mm256_srli_epi32(magnitude, 23 - kEighthBits);
        const __m256 u = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_and_si256(magnitude, fractionMask)), fractionScale);
        __m256 p = _mm256_permutevar8x32_ps(c3, eighth);
        p = _mm256_add_ps(_mm256_mul_ps(p, u), _mm256_permutevar8x32_ps(c2, eighth));
        p = _mm256_add_ps(_mm256_mul_ps(p, u), _mm256_permutevar8x32_ps(c1, eighth));
        p = _mm256_add_ps(_mm256_mul_ps(p, u), _mm256_permutevar8x32_ps(c0, eighth));
        const __m256i octave = _mm256_sub_epi32(exponent, lowest);
        const __m256 factor = _mm256_blendv_ps(_mm256_permutevar8x32_ps(lowOctaves, octave),
                                               _mm256_permutevar8x32_ps(highOctaves, octave),
                                               _mm256_castsi256_ps(_mm256_slli_epi32(octave, 28)));
        __m256 e = _mm256_sub_ps(_mm256_mul_ps(factor, p), offset);
        e = _mm256_or_ps(e, _mm256_and_ps(v, sign));
        const __m256 onLinear = _mm256_cmp_ps(_mm256_castsi256_ps(magnitude), linearEnd, _CMP_LE_OQ);
        _mm256_storeu_ps(out + i, _mm256_blendv_ps(e, _mm256_mul_ps(v, slope), onLinear));
    }
    return i;
}

}  // namespace
#endif

void linearToSrgbFast(const float* in, float* out, std::size_t n) {
    const EncodeCurve& k = encodeCurve();
    std::size_t i = 0;
#ifdef SORVEL_TABLE_LOOKUP_X86
    if (lookup::eightLanes()) i = encodeEight(in, out, n, k);
#endif
    for (; i < n; ++i) out[i] = linearToSrgbFast(in[i], k);
}

void storeOpaqueHalves(const float* r, const float* g, const float* b, std::size_t n, std::uint8_t* dst,
                       bool streaming) {
    std::size_t i = 0;
#ifdef SORVEL_HAVE_X86
    if (cpuHasF16C()) i = opaqueF16C(r, g, b, n, dst, streaming && reinterpret_cast<std::uintptr_t>(dst) % 16 == 0);
#endif
    for (; i < n; ++i) {
        const std::uint16_t h[4] = {floatToHalf(r[i]), floatToHalf(g[i]), floatToHalf(b[i]), 0x3C00};
        std::memcpy(dst + 8 * i, h, 8);
    }
}

void storeFence() {
#ifdef SORVEL_HAVE_X86
    _mm_sfence();
#endif
}

void floatsToHalves(const float* in, std::uint16_t* out, std::size_t n) {
#ifdef SORVEL_HAVE_X86
    if (cpuHasF16C()) {
        convertF16C(in, out, n);
        return;
    }
#endif
    for (std::size_t i = 0; i < n; ++i) out[i] = floatToHalf(in[i]);
}

}  // namespace sorvel::image::color
