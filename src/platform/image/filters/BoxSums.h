#pragma once
// Separable box blurs for the neighbourhood filters of this folder (header only: every .cpp here
// is a registered filter).
//
// The source is read as if its edge pixels repeated outward for ever (reads are clamped into
// `bounds`, the source's whole-pixel extent), so a blurred picture keeps its brightness up to
// its edges. Running sums are kept in 64-bit fixed point: integer sums are exact whatever the
// order, so a pixel's value is the same whichever tile computes it and wherever that tile's
// running sum started.

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include "platform/image/FilterKit.h"
#include "platform/image/WideVectors.h"

namespace sorvel::image::box {

inline constexpr double kFixedScale = 16777216.0;  // 2^24: finer than a float's step at 1
inline constexpr float kFixedLimit = 4096.0f;      // larger values are clamped: |value| < 2^36
// Sums of several passes are kept unnormalised while their combined window count stays below
// this (2^36 x 2^26 < 2^63), so most blurs divide once per direction instead of once per pass.
inline constexpr std::int64_t kMaxWindowProduct = std::int64_t(1) << 26;

inline std::int64_t toFixed(float v) {
    if (!(v == v)) return 0;
    return std::llrint(double(std::clamp(v, -kFixedLimit, kFixedLimit)) * kFixedScale);
}

// Divides `n` values by `d` (rounded), in place.
inline void normalise(std::int64_t* v, std::size_t n, std::int64_t d) {
    if (d == 1) return;
    const double inv = 1.0 / double(d);
    for (std::size_t i = 0; i < n; ++i) v[i] = std::llrint(double(v[i]) * inv);
}

inline int reach(const std::vector<int>& radii) { return std::accumulate(radii.begin(), radii.end(), 0); }

// The source pixels needed to blur `out` with total reach `r`.
inline PixelRect regionOfInterest(const PixelRect& out, std::int64_t r, const PixelRect& bounds) {
    PixelRect roi = out.outset(r, r).intersection(bounds);
    return roi;
}

// One pass over `len` values of `src` (len >= 2r + 1) into len - 2r values of `dst`: the sum of
// each window of 2r + 1.
inline void boxPass(const std::int64_t* src, std::size_t len, int r, std::int64_t* dst) {
    const std::size_t w = std::size_t(2 * r + 1);
    std::int64_t sum = 0;
    for (std::size_t k = 0; k < w; ++k) sum += src[k];
    dst[0] = sum;
    for (std::size_t j = 1; j + w <= len; ++j) {
        sum += src[j + w - 1] - src[j - 1];
        dst[j] = sum;
    }
}

// True when channel `c` of `in` holds exactly `value` in every column of [x0, x1] and row of
// [y0, y1].
inline bool holdsOnly(const TileView& in, int c, std::int64_t x0, std::int64_t x1, std::int64_t y0, std::int64_t y1,
                      float value) {
    for (std::int64_t y = y0; y <= y1; ++y) {
        const float* row = in.row(c, y) + (x0 - in.rect.x);
        bool same = true;
        for (std::int64_t i = 0; i <= x1 - x0; ++i) same &= row[i] == value;
        if (!same) return false;
    }
    return true;
}

// Blurs channel `c` of `in` with the passes `radii` (each a box of 2r + 1, horizontally then
// vertically) into channel `outChannel` of `out` over out.rect. `in` must cover
// regionOfInterest(out.rect, reach(radii), bounds).
SORVEL_WIDE_VECTORS inline void blurChannel(const TileView& in, int c, const PixelRect& bounds, const TileView& out,
                                            int outChannel, const std::vector<int>& radii) {
    const std::int64_t R = reach(radii);
    const PixelRect o = out.rect;
    const std::size_t ow = std::size_t(o.width);
    auto clampX = [&](std::int64_t x) { return std::clamp(x, bounds.x, bounds.maxX() - 1); };
    auto clampY = [&](std::int64_t y) { return std::clamp(y, bounds.y, bounds.maxY() - 1); };
    const std::int64_t rowLo = clampY(o.y - R), rowHi = clampY(o.maxY() - 1 + R);
    assert(rowLo >= in.rect.y && rowHi < in.rect.maxY());

    // The alpha of an opaque picture: every sum below would be n x 2^24 and every division
    // would give 2^24 back, so the blur is exactly 1 (and exactly 0 for a channel of zeros).
    for (const float constant : {1.0f, 0.0f}) {
        if (holdsOnly(in, c, clampX(o.x - R), clampX(o.maxX() - 1 + R), rowLo, rowHi, constant)) {
            for (std::int64_t y = o.y; y < o.maxY(); ++y) std::fill_n(out.row(outChannel, y), ow, constant);
            return;
        }
    }

    // Horizontal passes on every distinct source row.
    const std::size_t extW = ow + std::size_t(2 * R);
    std::vector<std::int64_t> horiz(std::size_t(rowHi - rowLo + 1) * ow);
    std::vector<std::int64_t> a(extW), b(extW);
    std::vector<std::int64_t> column(extW);
    for (std::size_t j = 0; j < extW; ++j) column[j] = clampX(o.x - R + std::int64_t(j)) - in.rect.x;
    for (std::int64_t y = rowLo; y <= rowHi; ++y) {
        const float* src = in.row(c, y);
        for (std::size_t j = 0; j < extW; ++j) a[j] = toFixed(src[column[j]]);
        std::size_t len = extW;
        std::int64_t windows = 1;
        for (int r : radii) {
            if (windows * (2 * r + 1) > kMaxWindowProduct) normalise(a.data(), len, windows), windows = 1;
            boxPass(a.data(), len, r, b.data());
            windows *= 2 * r + 1;
            len -= std::size_t(2 * r);
            std::swap(a, b);
        }
        normalise(a.data(), ow, windows);
        std::copy_n(a.data(), ow, horiz.data() + std::size_t(y - rowLo) * ow);
    }

    // Vertical passes, a whole row at a time.
    const std::size_t extH = std::size_t(o.height + 2 * R);
    std::vector<std::int64_t> va(extH * ow), vb(extH * ow);
    for (std::size_t j = 0; j < extH; ++j) {
        const std::int64_t y = clampY(o.y - R + std::int64_t(j));
        std::copy_n(horiz.data() + std::size_t(y - rowLo) * ow, ow, va.data() + j * ow);
    }
    std::vector<std::int64_t> sum(ow);
    std::size_t len = extH;
    std::int64_t windows = 1;
    for (int r : radii) {
        const std::size_t w = std::size_t(2 * r + 1);
        if (windows * std::int64_t(w) > kMaxWindowProduct) normalise(va.data(), len * ow, windows), windows = 1;
        windows *= std::int64_t(w);
        std::fill(sum.begin(), sum.end(), 0);
        for (std::size_t k = 0; k < w; ++k) {
            const std::int64_t* row = va.data() + k * ow;
            for (std::size_t i = 0; i < ow; ++i) sum[i] += row[i];
        }
        for (std::size_t j = 0; j + w <= len; ++j) {
            if (j > 0) {
                const std::int64_t* add = va.data() + (j + w - 1) * ow;
                const std::int64_t* drop = va.data() + (j - 1) * ow;
                for (std::size_t i = 0; i < ow; ++i) sum[i] += add[i] - drop[i];
            }
            std::copy_n(sum.data(), ow, vb.data() + j * ow);
        }
        len -= std::size_t(2 * r);
        std::swap(va, vb);
    }
    const double scale = 1.0 / (kFixedScale * double(windows));
    for (std::int64_t y = o.y; y < o.maxY(); ++y) {
        const std::int64_t* src = va.data() + std::size_t(y - o.y) * ow;
        float* dst = out.row(outChannel, y);
        for (std::size_t i = 0; i < ow; ++i) dst[i] = float(double(src[i]) * scale);
    }
}

// The source's whole-pixel extent, for clamping.
inline PixelRect bounds(const Node& source) { return PixelRect::covering(source.extent()); }

// Extent of a blur of reach r over `e`: whole pixels, grown by r on every side.
inline Rect grown(const Rect& e, std::int64_t r) {
    if (e.isInfinite() || e.isEmpty()) return e;
    return PixelRect::covering(e).outset(r, r).rect();
}

}  // namespace sorvel::image::box
