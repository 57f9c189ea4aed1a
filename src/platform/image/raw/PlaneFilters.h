#pragma once
// Filters over whole float planes (w x h, rows top down) that the development steps share, on
// all cores; each output depends only on its inputs, never on how the rows are split between
// the cores. Internal to the RAW developer.

#include <cstddef>
#include <vector>

#include "platform/image/raw/Parallel.h"

namespace sorvel::image::raw {

// Runs body(i) for every i in [0, n) on all cores (pointwise plane arithmetic).
template <class F>
void eachPixel(std::size_t n, F body) {
    parallelRanges(n, [&](std::size_t a, std::size_t b) {
        for (std::size_t i = a; i < b; ++i) body(i);
    });
}

// Mean over the (2r + 1)^2 square around each pixel, edge pixels repeated; `src` and `dst` may
// not alias; `scratch` is resized to w x h and reused by callers so each blur does not fault in
// a fresh plane.
void boxBlur(const float* src, float* dst, int w, int h, int r, std::vector<float>& scratch);

// The 3 x 3 mean (edge pixels repeated) times `scale`, without a scratch plane; `in` and `out`
// may not alias.
void mean3x3(const float* in, int w, int h, float scale, float* out);

// Noise level of a plane: the median absolute deviation of its difference from the 3 x 3 mean,
// on a sparse grid of pixels, as a standard deviation (robust to edges, cheap).
float estimateNoise(const float* plane, int w, int h);

// A sensor's noise grows with the signal: variance = alpha x value + beta (photon noise, then
// read noise that stays in the dark). Fitted to the plane's local deviations, binned by level,
// this returns beta / alpha: sqrt(value + that) has about the same noise at every level.
// 0 when the fit finds no read noise (or no signal-dependent noise at all).
float noiseOffset(const float* plane, int w, int h);

// Edge-preserving smoothing of `y` guided by itself (He, Sun and Tang's guided filter, radius
// r): flat areas are averaged, edges stronger than sqrt(eps) are kept. The result lands in
// `out`, and the mean slope (0 where y was flattened, 1 where it was kept) in `b`; `a` and
// `scratch` are work planes (all resized to y's size).
void guidedSmooth(const std::vector<float>& y, int w, int h, int r, float eps, std::vector<float>& out,
                  std::vector<float>& a, std::vector<float>& b, std::vector<float>& scratch);

}  // namespace sorvel::image::raw
