#pragma once
// Small pixel helpers shared by the filters of this folder (header only: every .cpp here is a
// registered filter). Everything is branch-free where it sits in a pixel loop so the loops
// vectorise, and nothing depends on where a tile starts.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/image/TableLookup.h"
#include "platform/image/WideVectors.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sorvel::image::px {

// Rec. 709 / sRGB luminance weights of linear light.
inline constexpr float kLumaR = 0.2126f, kLumaG = 0.7152f, kLumaB = 0.0722f;

inline float luma(float r, float g, float b) { return kLumaR * r + kLumaG * g + kLumaB * b; }

// log2 for x > 0 (mantissa folded to [0.707, 1.414), odd series in t = (m - 1) / (m + 1));
// relative error below 1e-7 over normal floats. x <= 0 gives a large negative number.
inline float fastLog2(float x) {
    x = std::max(x, 1e-30f);
    std::int32_t bits = std::bit_cast<std::int32_t>(x);
    std::int32_t e = ((bits >> 23) & 255) - 127;
    float m = std::bit_cast<float>((bits & 0x007FFFFF) | 0x3F800000);
    const bool high = m > 1.41421356f;
    m = high ? m * 0.5f : m;
    e = high ? e + 1 : e;
    const float t = (m - 1.0f) / (m + 1.0f), t2 = t * t;
    const float s = t * (2.0f + t2 * (2.0f / 3.0f + t2 * (2.0f / 5.0f + t2 * (2.0f / 7.0f))));
    return float(e) + s * 1.44269504f;
}

// 2^y with the fraction centred on [-0.5, 0.5] (Taylor to degree 6, error ~1e-7 relative).
inline float fastExp2(float y) {
    y = std::min(std::max(y, -126.0f), 127.0f);
    // Round to nearest by truncating a positive number (a library rounding call would stop
    // the loop from vectorising).
    const float i = float(int(y + 128.5f) - 128);
    const float f = (y - i) * 0.69314718f;
    const float p =
        1.0f + f * (1.0f + f * (0.5f + f * (1.0f / 6 + f * (1.0f / 24 + f * (1.0f / 120 + f * (1.0f / 720))))));
    return p * std::bit_cast<float>((std::int32_t(i) + 127) << 23);
}

// sign(x) |x|^p
inline float signedPow(float x, float p) {
    const float a = std::fabs(x);
    const float v = fastExp2(p * fastLog2(a));
    return std::copysign(a > 0.0f ? v : 0.0f, x);
}

// 64 well-mixed bits from absolute pixel coordinates: the same pixel gets the same bits
// whatever tile or thread computes it.
inline std::uint64_t hash(std::int64_t x, std::int64_t y) {
    std::uint64_t h = std::uint64_t(x) * 0x9E3779B97F4A7C15ull ^ std::uint64_t(y) * 0xC2B2AE3D27D4EB4Full;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return h;
}

// A 3x3 row-major matrix on linear colour.
struct Matrix3 {
    float m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

    static Matrix3 saturation(float s) {
        Matrix3 r;
        const float w[3] = {kLumaR, kLumaG, kLumaB};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) r.m[i * 3 + j] = (1.0f - s) * w[j] + (i == j ? s : 0.0f);
        return r;
    }
    static Matrix3 gains(float r, float g, float b) { return {{r, 0, 0, 0, g, 0, 0, 0, b}}; }
    // this applied after `first`
    Matrix3 after(const Matrix3& first) const {
        Matrix3 r;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                double s = 0;
                for (int k = 0; k < 3; ++k) s += double(m[i * 3 + k]) * first.m[k * 3 + j];
                r.m[i * 3 + j] = float(s);
            }
        return r;
    }
    bool isIdentity() const {
        for (int i = 0; i < 9; ++i)
            if (m[i] != (i % 4 == 0 ? 1.0f : 0.0f)) return false;
        return true;
    }
    void apply(float* r, float* g, float* b, std::size_t n) const {
        const float* k = m;
        for (std::size_t i = 0; i < n; ++i) {
            const float cr = r[i], cg = g[i], cb = b[i];
            r[i] = k[0] * cr + k[1] * cg + k[2] * cb;
            g[i] = k[3] * cr + k[4] * cg + k[5] * cb;
            b[i] = k[6] * cr + k[7] * cg + k[8] * cb;
        }
    }
};

// A tone curve of linear light, tabulated over sqrt(x) in [0, 1] so the shadows get as many
// entries as the highlights, with linear interpolation; beyond 1 it continues with the slope of
// its last segment, below 0 it is odd-symmetric around its value at 0.
class ToneTable {
public:
    static constexpr int kSize = 1024;

    ToneTable() = default;
    explicit ToneTable(const std::function<double(double)>& linearCurve) : v_(kSize + 1), segments_(2 * kSize) {
        for (int i = 0; i <= kSize; ++i) {
            const double s = double(i) / kSize;
            v_[std::size_t(i)] = float(linearCurve(s * s));
        }
        // Each segment's start and rise side by side: one look-up per value, and the rise is
        // the same float subtraction the interpolation would do.
        for (std::size_t i = 0; i < kSize; ++i) {
            segments_[2 * i] = v_[i];
            segments_[2 * i + 1] = v_[i + 1] - v_[i];
        }
        // slope per unit of linear light over the last table step
        const double lastStep = 1.0 - std::pow(double(kSize - 1) / kSize, 2.0);
        endSlope_ = float((v_[kSize] - v_[kSize - 1]) / lastStep);
    }

    float operator()(float x) const {
        const float a = std::fabs(x);
        if (a > 1.0f) return x < 0 ? 2 * v_[0] - (v_[kSize] + (a - 1.0f) * endSlope_) : v_[kSize] + (a - 1.0f) * endSlope_;
        const float pos = std::sqrt(a == a ? a : 1.0f) * kSize;  // NaN: the last segment's end
        const int i = std::min(int(pos), kSize - 1);
        const float f = pos - float(i);
        const float* s = &segments_[2 * std::size_t(i)];
        const float v = s[0] + f * s[1];
        return x < 0 ? 2 * v_[0] - v : v;
    }

    // operator() on each of `n` values, bit for bit, a vector at a time: segment and fraction
    // in vector registers, each lane's segment start and rise in one 8-byte load, the
    // continuation beyond 1 and the odd symmetry below 0 as lane selects. NaN reads the last
    // segment at its end instead of an undefined one. `out` may be `in`.
    void apply(const float* in, float* out, std::size_t n) const {
        std::size_t i = 0;
#ifdef SORVEL_TABLE_LOOKUP_X86
        i = lookup::eightLanes() ? applyEight(in, out, n) : applyFour(in, out, n);
#endif
        for (; i < n; ++i) out[i] = (*this)(in[i]);
    }
    void apply(float* x, std::size_t n) const { apply(x, x, n); }

private:
#ifdef SORVEL_TABLE_LOOKUP_X86
    // apply() four lanes at a time; returns how many values it did (whole vectors).
    std::size_t applyFour(const float* in, float* out, std::size_t n) const {
        const __m128 one = _mm_set1_ps(1.0f), size = _mm_set1_ps(float(kSize));
        const __m128 lastSegment = _mm_set1_ps(float(kSize - 1));
        const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
        const __m128 zero = _mm_setzero_ps(), twiceFirst = _mm_set1_ps(2 * v_[0]);
        const __m128 last = _mm_set1_ps(v_[kSize]), endSlope = _mm_set1_ps(endSlope_);
        std::size_t i = 0;
        for (; i + 4 <= n; i += 4) {
            const __m128 x = _mm_loadu_ps(in + i);
            const __m128 a = _mm_and_ps(x, magnitude);
            // int(min(pos, kSize - 1)) is min(int(pos), kSize - 1) for pos in [0, kSize].
            const __m128 pos = _mm_mul_ps(_mm_sqrt_ps(_mm_min_ps(a, one)), size);
            const __m128i k = _mm_cvttps_epi32(_mm_min_ps(pos, lastSegment));
            const __m128 fraction = _mm_sub_ps(pos, _mm_cvtepi32_ps(k));
            __m128 start, rise;
            lookup::pairs(segments_.data(), _mm_add_epi32(k, k), start, rise);
            const __m128 inside = _mm_add_ps(start, _mm_mul_ps(fraction, rise));
            const __m128 beyond = _mm_add_ps(last, _mm_mul_ps(_mm_sub_ps(a, one), endSlope));
            const __m128 isBeyond = _mm_cmpgt_ps(a, one);
            const __m128 t = _mm_or_ps(_mm_and_ps(isBeyond, beyond), _mm_andnot_ps(isBeyond, inside));
            const __m128 negative = _mm_cmplt_ps(x, zero);
            const __m128 mirrored = _mm_sub_ps(twiceFirst, t);
            _mm_storeu_ps(out + i, _mm_or_ps(_mm_and_ps(negative, mirrored), _mm_andnot_ps(negative, t)));
        }
        return i;
    }

    // applyFour eight lanes at a time (the same operations, so the same bits).
    __attribute__((target("avx2"))) std::size_t applyEight(const float* in, float* out, std::size_t n) const {
        const __m256 one = _mm256_set1_ps(1.0f), size = _mm256_set1_ps(float(kSize));
        const __m256 lastSegment = _mm256_set1_ps(float(kSize - 1));
        const __m256 magnitude = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
        const __m256 zero = _mm256_setzero_ps(), twiceFirst = _mm256_set1_ps(2 * v_[0]);
        const __m256 last = _mm256_set1_ps(v_[kSize]), endSlope = _mm256_set1_ps(endSlope_);
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            const __m256 x = _mm256_loadu_ps(in + i);
            const __m256 a = _mm256_and_ps(x, magnitude);
            const __m256 pos = _mm256_mul_ps(_mm256_sqrt_ps(_mm256_min_ps(a, one)), size);
            const __m256i k = _mm256_cvttps_epi32(_mm256_min_ps(pos, lastSegment));
            const __m256 fraction = _mm256_sub_ps(pos, _mm256_cvtepi32_ps(k));
            __m256 start, rise;
            lookup::pairs(segments_.data(), _mm256_add_epi32(k, k), start, rise);
            const __m256 inside = _mm256_add_ps(start, _mm256_mul_ps(fraction, rise));
            const __m256 beyond = _mm256_add_ps(last, _mm256_mul_ps(_mm256_sub_ps(a, one), endSlope));
            const __m256 t = _mm256_blendv_ps(inside, beyond, _mm256_cmp_ps(a, one, _CMP_GT_OQ));
            const __m256 mirrored = _mm256_sub_ps(twiceFirst, t);
            _mm256_storeu_ps(out + i, _mm256_blendv_ps(t, mirrored, _mm256_cmp_ps(x, zero, _CMP_LT_OQ)));
        }
        return i;
    }
#endif

    std::vector<float> v_;
    std::vector<float> segments_;
    float endSlope_ = 1.0f;
};

// sRGB transfer curve in double precision for building tables (not for pixel loops).
inline double srgbEncode(double l) {
    return l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1.0 / 2.4) - 0.055;
}
inline double srgbDecode(double e) {
    return e <= 0.04045 ? e / 12.92 : std::pow((e + 0.055) / 1.055, 2.4);
}

}  // namespace sorvel::image::px
