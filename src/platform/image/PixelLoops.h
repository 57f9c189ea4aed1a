#pragma once
// Row loops that the compiler does not vectorise by itself (a division under a condition may
// trap, so it is never if-converted), written with SSE2 where it exists. Each vector lane does
// exactly the scalar arithmetic (same IEEE operations in the same order), so results do not
// depend on which path ran or where a row was split. Internal to the image framework.

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sorvel::image::loops {

// 1 / a where a > 0, else 0 (NaN gives 0).
inline float inverseAlpha(float a) {
    const bool visible = a > 0.0f;
    const float inv = 1.0f / (visible ? a : 1.0f);
    return visible ? inv : 0.0f;
}

// True when every alpha is exactly 1.
inline bool allOpaque(const float* a, std::size_t n) {
    std::size_t i = 0;
#if defined(__SSE2__)
    // Every row of every opaque picture passes here several times: compare four at a time.
    const __m128 one = _mm_set1_ps(1.0f);
    __m128 all = _mm_castsi128_ps(_mm_set1_epi32(-1));
    for (; i + 16 <= n; i += 16) {  // four compares per step of the running AND
        const __m128 c0 = _mm_cmpeq_ps(_mm_loadu_ps(a + i), one), c1 = _mm_cmpeq_ps(_mm_loadu_ps(a + i + 4), one);
        const __m128 c2 = _mm_cmpeq_ps(_mm_loadu_ps(a + i + 8), one), c3 = _mm_cmpeq_ps(_mm_loadu_ps(a + i + 12), one);
        all = _mm_and_ps(all, _mm_and_ps(_mm_and_ps(c0, c1), _mm_and_ps(c2, c3)));
    }
    for (; i + 4 <= n; i += 4) all = _mm_and_ps(all, _mm_cmpeq_ps(_mm_loadu_ps(a + i), one));
    if (_mm_movemask_ps(all) != 0xF) return false;
#endif
    bool rest = true;
    for (; i < n; ++i) rest &= a[i] == 1.0f;
    return rest;
}

// Premultiplied to straight colour in place: colour divided by alpha, 0 where alpha is 0.
inline void unpremultiply(float* r, float* g, float* b, const float* a, std::size_t n) {
    if (allOpaque(a, n)) return;  // dividing by 1 changes nothing
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
    for (; i + 4 <= n; i += 4) {
        const __m128 al = _mm_loadu_ps(a + i);
        const __m128 visible = _mm_cmpgt_ps(al, zero);
        const __m128 denom = _mm_or_ps(_mm_and_ps(visible, al), _mm_andnot_ps(visible, one));
        const __m128 inv = _mm_and_ps(_mm_div_ps(one, denom), visible);
        _mm_storeu_ps(r + i, _mm_mul_ps(_mm_loadu_ps(r + i), inv));
        _mm_storeu_ps(g + i, _mm_mul_ps(_mm_loadu_ps(g + i), inv));
        _mm_storeu_ps(b + i, _mm_mul_ps(_mm_loadu_ps(b + i), inv));
    }
#endif
    for (; i < n; ++i) {
        const float inv = inverseAlpha(a[i]);
        r[i] *= inv, g[i] *= inv, b[i] *= inv;
    }
}

// Straight to premultiplied colour in place (vectorises as written).
inline void premultiply(float* r, float* g, float* b, const float* a, std::size_t n) {
    if (allOpaque(a, n)) return;  // multiplying by 1 changes nothing, and reading alpha is cheaper
    for (std::size_t i = 0; i < n; ++i) r[i] *= a[i], g[i] *= a[i], b[i] *= a[i];
}

// v clamped to [0, 1], NaN to 0.
inline float clamp01(float v) {
    v = v > 0.0f ? v : 0.0f;
    return v < 1.0f ? v : 1.0f;
}

// Premultiplied colour to straight integer codes: c = int(clamp01(colour / alpha) * scale + 0.5)
// and alpha code int(clamp01(a) * 255 + 0.5).
inline void quantise(const float* r, const float* g, const float* b, const float* a, std::size_t n, float scale,
                     std::int32_t* ir, std::int32_t* ig, std::int32_t* ib, std::int32_t* ia) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f), half = _mm_set1_ps(0.5f);
    const __m128 s = _mm_set1_ps(scale), s255 = _mm_set1_ps(255.0f);
    // max(v, 0) returns 0 for NaN v and min(v, 1) keeps the order of the scalar selects.
    auto clamp = [&](__m128 v) { return _mm_min_ps(_mm_max_ps(v, zero), one); };
    for (; i + 4 <= n; i += 4) {
        const __m128 al = clamp(_mm_loadu_ps(a + i));
        const __m128 visible = _mm_cmpgt_ps(al, zero);
        const __m128 denom = _mm_or_ps(_mm_and_ps(visible, al), _mm_andnot_ps(visible, one));
        const __m128 inv = _mm_and_ps(_mm_div_ps(one, denom), visible);
        auto code = [&](const float* c) {
            return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(clamp(_mm_mul_ps(_mm_loadu_ps(c + i), inv)), s), half));
        };
        _mm_storeu_si128(reinterpret_cast<__m128i*>(ir + i), code(r));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(ig + i), code(g));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(ib + i), code(b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(ia + i), _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(al, s255), half)));
    }
#endif
    for (; i < n; ++i) {
        const float al = clamp01(a[i]);
        const float inv = inverseAlpha(al);
        ir[i] = std::int32_t(clamp01(r[i] * inv) * scale + 0.5f);
        ig[i] = std::int32_t(clamp01(g[i] * inv) * scale + 0.5f);
        ib[i] = std::int32_t(clamp01(b[i] * inv) * scale + 0.5f);
        ia[i] = std::int32_t(al * 255.0f + 0.5f);
    }
}

// quantise() for alpha 1 everywhere: colour / 1 is the colour itself, so the same codes come
// without the division.
inline void quantiseOpaque(const float* r, const float* g, const float* b, std::size_t n, float scale,
                           std::int32_t* ir, std::int32_t* ig, std::int32_t* ib) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f), half = _mm_set1_ps(0.5f);
    const __m128 s = _mm_set1_ps(scale);
    auto code = [&](const float* c) {
        const __m128 v = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(c + i), zero), one);
        return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(v, s), half));
    };
    for (; i + 4 <= n; i += 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(ir + i), code(r));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(ig + i), code(g));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(ib + i), code(b));
    }
#endif
    for (; i < n; ++i) {
        ir[i] = std::int32_t(clamp01(r[i]) * scale + 0.5f);
        ig[i] = std::int32_t(clamp01(g[i]) * scale + 0.5f);
        ib[i] = std::int32_t(clamp01(b[i]) * scale + 0.5f);
    }
}

}  // namespace sorvel::image::loops
