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

struct EncodeCurve {
    std::vector<float> table;
    EncodeCurve() {
        const int octaves = kMaxExponent - kMinExponent;
        table.resize((std::size_t(octaves) << kSegmentBits) + 1);
        for (std::size_t k = 0; k < table.size(); ++k) {
            const int octave = int(k >> kSegmentBits);
            const double m = double(k & ((1u << kSegmentBits) - 1)) / (1u << kSegmentBits);
            const double s = std::ldexp(1.0 + m, kMinExponent + octave);
            table[k] = float(s <= 0.0031308 ? s * 12.92 : 1.055 * std::pow(s, 1.0 / 2.4) - 0.055);
        }
    }
};

const EncodeCurve& curve() {
    static const EncodeCurve c;
    return c;
}

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

const float* srgbEncodeTable() { return curve().table.data(); }

#ifdef SORVEL_TABLE_LOOKUP_X86
namespace {

using namespace half_detail;

// The batch curve four lanes at a time; returns how many values it did (whole vectors).
std::size_t encodeFour(const float* in, float* out, std::size_t n, const float* table) {
    const __m128i magnitudeMask = _mm_set1_epi32(0x7fffffff);
    const __m128i segmentMask = _mm_set1_epi32((1 << kSegmentBits) - 1);
    const __m128i fractionMask = _mm_set1_epi32((1 << (23 - kSegmentBits)) - 1);
    // Biased exponents: below `low` the linear segment, above `high` the exact curve.
    const __m128i low = _mm_set1_epi32(127 + kMinExponent), high = _mm_set1_epi32(127 + kMaxExponent - 1);
    const __m128 fractionScale = _mm_set1_ps(1.0f / float(1u << (23 - kSegmentBits)));
    const __m128 slope = _mm_set1_ps(12.92f);
    const __m128 sign = _mm_castsi128_ps(_mm_set1_epi32(std::int32_t(0x80000000u)));
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 v = _mm_loadu_ps(in + i);
        const __m128i magnitude = _mm_and_si128(_mm_castps_si128(v), magnitudeMask);
        const __m128i exponent = _mm_srli_epi32(magnitude, 23);
        const __m128i linear = _mm_cmpgt_epi32(low, exponent);
        const __m128i beyond = _mm_cmpgt_epi32(exponent, high);
        if (_mm_movemask_epi8(beyond)) {  // highlights past the table, infinities, NaN
            for (std::size_t j = i; j < i + 4; ++j) out[j] = linearToSrgbFast(in[j], table);
            continue;
        }
        // Lanes on the linear segment read entry 0 and are replaced below.
        __m128i index = _mm_or_si128(_mm_slli_epi32(_mm_sub_epi32(exponent, low), kSegmentBits),
                                     _mm_and_si128(_mm_srli_epi32(magnitude, 23 - kSegmentBits), segmentMask));
        index = _mm_andnot_si128(linear, index);
        __m128 start, next;
        lookup::pairs(table, index, start, next);
        const __m128 fraction = _mm_mul_ps(_mm_cvtepi32_ps(_mm_and_si128(magnitude, fractionMask)), fractionScale);
        __m128 e = _mm_add_ps(start, _mm_mul_ps(_mm_sub_ps(next, start), fraction));
        e = _mm_or_ps(e, _mm_and_ps(v, sign));
        const __m128 onLinear = _mm_castsi128_ps(linear);
        _mm_storeu_ps(out + i, _mm_or_ps(_mm_and_ps(onLinear, _mm_mul_ps(v, slope)), _mm_andnot_ps(onLinear, e)));
    }
    return i;
}

// encodeFour eight lanes at a time (the same operations, so the same bits).
__attribute__((target("avx2"))) std::size_t encodeEight(const float* in, float* out, std::size_t n,
                                                        const float* table) {
    const __m256i magnitudeMask = _mm256_set1_epi32(0x7fffffff);
    const __m256i segmentMask = _mm256_set1_epi32((1 << kSegmentBits) - 1);
    const __m256i fractionMask = _mm256_set1_epi32((1 << (23 - kSegmentBits)) - 1);
    const __m256i low = _mm256_set1_epi32(127 + kMinExponent), high = _mm256_set1_epi32(127 + kMaxExponent - 1);
    const __m256 fractionScale = _mm256_set1_ps(1.0f / float(1u << (23 - kSegmentBits)));
    const __m256 slope = _mm256_set1_ps(12.92f);
    const __m256 sign = _mm256_castsi256_ps(_mm256_set1_epi32(std::int32_t(0x80000000u)));
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 v = _mm256_loadu_ps(in + i);
        const __m256i magnitude = _mm256_and_si256(_mm256_castps_si256(v), magnitudeMask);
        const __m256i exponent = _mm256_srli_epi32(magnitude, 23);
        const __m256i linear = _mm256_cmpgt_epi32(low, exponent);
        const __m256i beyond = _mm256_cmpgt_epi32(exponent, high);
        if (!_mm256_testz_si256(beyond, beyond)) {
            for (std::size_t j = i; j < i + 8; ++j) out[j] = linearToSrgbFast(in[j], table);
            continue;
        }
        __m256i index = _mm256_or_si256(_mm256_slli_epi32(_mm256_sub_epi32(exponent, low), kSegmentBits),
                                        _mm256_and_si256(_mm256_srli_epi32(magnitude, 23 - kSegmentBits), segmentMask));
        index = _mm256_andnot_si256(linear, index);
        __m256 start, next;
        lookup::pairs(table, index, start, next);
        const __m256 fraction =
            _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_and_si256(magnitude, fractionMask)), fractionScale);
        __m256 e = _mm256_add_ps(start, _mm256_mul_ps(_mm256_sub_ps(next, start), fraction));
        e = _mm256_or_ps(e, _mm256_and_ps(v, sign));
        _mm256_storeu_ps(out + i, _mm256_blendv_ps(e, _mm256_mul_ps(v, slope), _mm256_castsi256_ps(linear)));
    }
    return i;
}

}  // namespace
#endif

void linearToSrgbFast(const float* in, float* out, std::size_t n) {
    const float* table = srgbEncodeTable();
    std::size_t i = 0;
#ifdef SORVEL_TABLE_LOOKUP_X86
    i = lookup::eightLanes() ? encodeEight(in, out, n, table) : encodeFour(in, out, n, table);
#endif
    for (; i < n; ++i) out[i] = linearToSrgbFast(in[i], table);
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
