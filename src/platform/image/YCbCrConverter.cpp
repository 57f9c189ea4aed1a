#include "platform/image/YCbCrConverter.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sorvel::image::decode {

namespace {

// libheif's float-to-sample rounding: add a half and truncate towards zero, then clamp.
inline std::uint8_t roundFloatSample(float v) {
    const long x = long(v + 0.5f);
    return std::uint8_t(x < 0 ? 0 : x > 255 ? 255 : x);
}

struct ChromaRows {
    std::vector<std::uint8_t> cb, cr;
};

// Full-resolution chroma for one row: libheif 1.15 takes the nearest sample (the one whose 2 x 2
// or 2 x 1 block the pixel is in), so subsampled chroma is repeated; 4:4:4 is the plane's own row.
void chromaForRow(const YCbCrPlanes& p, int row, ChromaRows& rows, const std::uint8_t** cb, const std::uint8_t** cr) {
    if (p.chromaShiftX == 0 && p.chromaShiftY == 0) {
        *cb = p.cb + std::size_t(row) * p.cbStride;
        *cr = p.cr + std::size_t(row) * p.crStride;
        return;
    }
    rows.cb.resize(std::size_t(p.width));
    rows.cr.resize(std::size_t(p.width));
    const std::uint8_t* sb = p.cb + std::size_t(row >> p.chromaShiftY) * p.cbStride;
    const std::uint8_t* sr = p.cr + std::size_t(row >> p.chromaShiftY) * p.crStride;
    for (int x = 0; x < p.width; ++x) rows.cb[x] = sb[x >> p.chromaShiftX], rows.cr[x] = sr[x >> p.chromaShiftX];
    *cb = rows.cb.data();
    *cr = rows.cr.data();
}

// libheif's float formula, operation for operation (the same float roundings give the same bytes).
void floatRow(const std::uint8_t* yRow, const std::uint8_t* cbRow, const std::uint8_t* crRow, int from, int width,
              const YCbCrCoefficients& c, YCbCrRange range, std::uint8_t* out) {
    const bool limited = range == YCbCrRange::Limited;
    for (int x = from; x < width; ++x) {
        float yv = float(yRow[x]);
        float cb = float(cbRow[x] - 128);
        float cr = float(crRow[x] - 128);
        if (limited) {
            yv = (yv - 16.0f) * 1.1689f;
            cb = cb * 1.1429f;
            cr = cr * 1.1429f;
        }
        std::uint8_t* p = out + 4 * std::size_t(x);
        p[0] = roundFloatSample(yv + c.rCr * cr);
        p[1] = roundFloatSample(yv + c.gCb * cb + c.gCr * cr);
        p[2] = roundFloatSample(yv + c.bCb * cb);
        p[3] = 255;
    }
}

#if defined(__SSE2__)
// The same formula on sixteen pixels a step: four float vectors per channel, truncated to
// integers, then packed with saturation, which is the clamp to 0..255. Returns the first column
// left for the scalar loop.
int floatRowSse2(const std::uint8_t* yRow, const std::uint8_t* cbRow, const std::uint8_t* crRow, int width,
                 const YCbCrCoefficients& c, YCbCrRange range, std::uint8_t* out) {
    const bool limited = range == YCbCrRange::Limited;
    const __m128i zero = _mm_setzero_si128();
    const __m128i c128 = _mm_set1_epi16(128);
    const __m128i alpha = _mm_set1_epi8(char(0xFF));
    const __m128 half = _mm_set1_ps(0.5f), sixteen = _mm_set1_ps(16.0f);
    const __m128 yScale = _mm_set1_ps(1.1689f), cScale = _mm_set1_ps(1.1429f);
    const __m128 rCr = _mm_set1_ps(c.rCr), gCb = _mm_set1_ps(c.gCb), gCr = _mm_set1_ps(c.gCr), bCb = _mm_set1_ps(c.bCb);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i y8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(yRow + x));
        const __m128i cb8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cbRow + x));
        const __m128i cr8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(crRow + x));
        const __m128i y16[2] = {_mm_unpacklo_epi8(y8, zero), _mm_unpackhi_epi8(y8, zero)};
        const __m128i cb16[2] = {_mm_sub_epi16(_mm_unpacklo_epi8(cb8, zero), c128),
                                 _mm_sub_epi16(_mm_unpackhi_epi8(cb8, zero), c128)};
        const __m128i cr16[2] = {_mm_sub_epi16(_mm_unpacklo_epi8(cr8, zero), c128),
                                 _mm_sub_epi16(_mm_unpackhi_epi8(cr8, zero), c128)};
        __m128i r32[4], g32[4], b32[4];
        for (int q = 0; q < 4; ++q) {
            const __m128i yq = (q & 1) ? _mm_unpackhi_epi16(y16[q / 2], zero) : _mm_unpacklo_epi16(y16[q / 2], zero);
            // Sign-extend the centred chroma: interleave with itself and shift right arithmetically.
            const __m128i cbq = (q & 1) ? _mm_srai_epi32(_mm_unpackhi_epi16(cb16[q / 2], cb16[q / 2]), 16)
                                        : _mm_srai_epi32(_mm_unpacklo_epi16(cb16[q / 2], cb16[q / 2]), 16);
            const __m128i crq = (q & 1) ? _mm_srai_epi32(_mm_unpackhi_epi16(cr16[q / 2], cr16[q / 2]), 16)
                                        : _mm_srai_epi32(_mm_unpacklo_epi16(cr16[q / 2], cr16[q / 2]), 16);
            __m128 yv = _mm_cvtepi32_ps(yq), cb = _mm_cvtepi32_ps(cbq), cr = _mm_cvtepi32_ps(crq);
            if (limited) {
                yv = _mm_mul_ps(_mm_sub_ps(yv, sixteen), yScale);
                cb = _mm_mul_ps(cb, cScale);
                cr = _mm_mul_ps(cr, cScale);
            }
            r32[q] = _mm_cvttps_epi32(_mm_add_ps(_mm_add_ps(yv, _mm_mul_ps(rCr, cr)), half));
            g32[q] = _mm_cvttps_epi32(
                _mm_add_ps(_mm_add_ps(_mm_add_ps(yv, _mm_mul_ps(gCb, cb)), _mm_mul_ps(gCr, cr)), half));
            b32[q] = _mm_cvttps_epi32(_mm_add_ps(_mm_add_ps(yv, _mm_mul_ps(bCb, cb)), half));
        }
        auto pack = [](const __m128i* v) {
            return _mm_packus_epi16(_mm_packs_epi32(v[0], v[1]), _mm_packs_epi32(v[2], v[3]));
        };
        const __m128i r = pack(r32), g = pack(g32), b = pack(b32);
        const __m128i rgLo = _mm_unpacklo_epi8(r, g), rgHi = _mm_unpackhi_epi8(r, g);
        const __m128i baLo = _mm_unpacklo_epi8(b, alpha), baHi = _mm_unpackhi_epi8(b, alpha);
        auto* dst = reinterpret_cast<__m128i*>(out + 4 * std::size_t(x));
        _mm_storeu_si128(dst + 0, _mm_unpacklo_epi16(rgLo, baLo));
        _mm_storeu_si128(dst + 1, _mm_unpackhi_epi16(rgLo, baLo));
        _mm_storeu_si128(dst + 2, _mm_unpacklo_epi16(rgHi, baHi));
        _mm_storeu_si128(dst + 3, _mm_unpackhi_epi16(rgHi, baHi));
    }
    return x;
}
#endif

void convertRows(const YCbCrPlanes& p, const YCbCrCoefficients& c, YCbCrRange range, std::uint8_t* out,
                 std::size_t outStride, YCbCrKernel kernel, int rowFrom, int rowTo) {
    ChromaRows scratch;
    for (int y = rowFrom; y < rowTo; ++y) {
        const std::uint8_t* yRow = p.y + std::size_t(y) * p.yStride;
        const std::uint8_t *cbRow = nullptr, *crRow = nullptr;
        chromaForRow(p, y, scratch, &cbRow, &crRow);
        std::uint8_t* o = out + std::size_t(y) * outStride;
        int from = 0;
#if defined(__SSE2__)
        if (kernel == YCbCrKernel::Fastest) from = floatRowSse2(yRow, cbRow, crRow, p.width, c, range, o);
#endif
        floatRow(yRow, cbRow, crRow, from, p.width, c, range, o);
    }
}

}  // namespace

std::optional<YCbCrCoefficients> ycbcrCoefficients(int matrixCoefficients) {
    float kr = 0, kb = 0;
    switch (matrixCoefficients) {
        case 1: kr = 0.2126f, kb = 0.0722f; break;
        case 2:
        case 5:
        case 6: kr = 0.299f, kb = 0.114f; break;
        case 9: kr = 0.2627f, kb = 0.0593f; break;
        default: return std::nullopt;
    }
    // Written as libheif derives them, so the float path rounds the same way.
    YCbCrCoefficients c;
    c.rCr = 2 * (-kr + 1);
    c.gCb = 2 * kb * (-kb + 1) / (kb + kr - 1);
    c.gCr = 2 * kr * (-kr + 1) / (kb + kr - 1);
    c.bCb = 2 * (-kb + 1);
    return c;
}

void convertToRGBA(const YCbCrPlanes& planes, const YCbCrCoefficients& coefficients, YCbCrRange range,
                   std::uint8_t* out, std::size_t outStride, int threads, YCbCrKernel kernel) {
    if (planes.width <= 0 || planes.height <= 0) return;
    // Below a few hundred rows a thread costs more than it saves.
    const int bands = std::clamp(std::min(threads, planes.height / 128), 1, 64);
    std::vector<std::thread> workers;
    workers.reserve(std::size_t(bands - 1));
    auto bandStart = [&](int b) { return int(std::int64_t(planes.height) * b / bands); };
    for (int b = 1; b < bands; ++b)
        workers.emplace_back(convertRows, std::cref(planes), std::cref(coefficients), range, out, outStride, kernel,
                             bandStart(b), bandStart(b + 1));
    convertRows(planes, coefficients, range, out, outStride, kernel, 0, bandStart(1));
    for (auto& w : workers) w.join();
}

}  // namespace sorvel::image::decode
