#include "platform/image/raw/RecursiveFilter.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <cstddef>
#include <vector>

#include "platform/image/WideVectors.h"
#include "platform/image/raw/Parallel.h"

namespace sorvel::image::raw {

namespace {

// 2^e for e <= 0: the weights need no more than four digits (degree 4 on the centred fraction,
// 5e-5 relative), and anything below 2^-60 is as good as nothing.
inline float weightExp2(float e) {
    e = std::max(e, -60.0f);
    const float i = float(int(e - 0.5f));  // rounds to nearest for e <= 0
    const float f = (e - i) * 0.69314718f;
    const float p = 1.0f + f * (1.0f + f * (0.5f + f * (1.0f / 6 + f * (1.0f / 24))));
    return p * std::bit_cast<float>((std::int32_t(i) + 127) << 23);
}

// Weights a^(1 + slope change) = 2^(log2a + log2a slope change) between pixel x of a row and
// pixel x - offset (its left neighbour, offset 1, or the one above, offset w), x in
// [first, last). `guide` points at the row in each guide plane.
SORVEL_WIDE_VECTORS void stepWeights(const float* const* guide, int count, std::ptrdiff_t offset,
                                     float* __restrict weights, std::size_t first, std::size_t last, float log2a,
                                     float slope) {
    const float k = log2a * slope;
    if (count == 1) {
        const float* __restrict g = guide[0];
        for (std::size_t x = first; x < last; ++x)
            weights[x] = weightExp2(log2a + k * std::fabs(g[x] - g[std::ptrdiff_t(x) - offset]));
        return;
    }
    const float *__restrict g0 = guide[0], *__restrict g1 = guide[1], *__restrict g2 = guide[2];
    for (std::size_t x = first; x < last; ++x) {
        const std::ptrdiff_t o = std::ptrdiff_t(x) - offset;
        const float change = std::fabs(g0[x] - g0[o]) + std::fabs(g1[x] - g1[o]) + std::fabs(g2[x] - g2[o]);
        weights[x] = weightExp2(log2a + k * change);
    }
}

// One step of the recursion down (or up) a run of columns: row += weight (neighbour - row).
SORVEL_WIDE_VECTORS void verticalStep(float* const* rows, const float* const* neighbours, int count,
                                      const float* __restrict weights, std::size_t first, std::size_t last) {
    float *__restrict a = rows[0];
    const float* __restrict na = neighbours[0];
    if (count == 1) {
        for (std::size_t x = first; x < last; ++x) a[x] += weights[x] * (na[x] - a[x]);
        return;
    }
    float* __restrict b = rows[1];
    const float* __restrict nb = neighbours[1];
    for (std::size_t x = first; x < last; ++x) {
        a[x] += weights[x] * (na[x] - a[x]);
        b[x] += weights[x] * (nb[x] - b[x]);
    }
}

// The recursion along rows, forward then back, several rows at a time so that their
// independent chains of dependent steps overlap in the processor. Each step is
// v[x] = (1 - w) v[x] + w v[x - 1]: only the multiply by w and the add wait for the step before.
template <int P>
void horizontalPass(const DomainPlanes& planes, float log2a, float slope) {
    const std::size_t W = std::size_t(planes.w);
    constexpr std::size_t kRows = P == 1 ? 8 : 4;
    const std::size_t groups = (std::size_t(planes.h) + kRows - 1) / kRows;
    parallelRanges(groups, [&](std::size_t g0, std::size_t g1) {
        std::vector<float> weights(kRows * W);
        for (std::size_t group = g0; group < g1; ++group) {
            const std::size_t y0 = group * kRows, rows = std::min(kRows, std::size_t(planes.h) - y0);
            float* v[kRows][P];
            const float* wr[kRows];
            for (std::size_t k = 0; k < rows; ++k) {
                const std::size_t row = (y0 + k) * W;
                for (int p = 0; p < P; ++p) v[k][p] = planes.filtered[std::size_t(p)] + row;
                const float* guide[3];
                for (int c = 0; c < planes.guideCount; ++c) guide[c] = planes.guide[std::size_t(c)] + row;
                float* out = weights.data() + k * W;
                stepWeights(guide, planes.guideCount, 1, out, 1, W, log2a, slope);
                wr[k] = out;
            }
            auto run = [&](std::size_t first, std::size_t count) {
                for (std::size_t x = 1; x < W; ++x)
                    for (std::size_t k = first; k < first + count; ++k) {
                        const float wk = wr[k][x];
                        for (int p = 0; p < P; ++p) v[k][p][x] = (1.0f - wk) * v[k][p][x] + wk * v[k][p][x - 1];
                    }
                for (std::size_t x = W - 1; x-- > 0;)
                    for (std::size_t k = first; k < first + count; ++k) {
                        const float wk = wr[k][x + 1];
                        for (int p = 0; p < P; ++p) v[k][p][x] = (1.0f - wk) * v[k][p][x] + wk * v[k][p][x + 1];
                    }
            };
            if (rows == kRows) {
                run(0, kRows);
            } else {
                for (std::size_t k = 0; k < rows; ++k) run(k, 1);  // the last, short group
            }
        }
    });
}

// The recursion along columns, down then up; each core takes a range of columns. The weights
// of the way down are kept for the way up.
void verticalPass(const DomainPlanes& planes, float log2a, float slope, float* weights) {
    const std::size_t W = std::size_t(planes.w), H = std::size_t(planes.h);
    const int P = planes.filteredCount;
    parallelRanges(W, [&](std::size_t x0, std::size_t x1) {
        float* rows[2];
        const float* neighbours[2];
        const float* guide[3];
        for (std::size_t y = 1; y < H; ++y) {
            const std::size_t row = y * W;
            for (int c = 0; c < planes.guideCount; ++c) guide[c] = planes.guide[std::size_t(c)] + row;
            stepWeights(guide, planes.guideCount, std::ptrdiff_t(W), weights + row, x0, x1, log2a, slope);
            for (int p = 0; p < P; ++p) rows[p] = planes.filtered[std::size_t(p)] + row, neighbours[p] = rows[p] - W;
            verticalStep(rows, neighbours, P, weights + row, x0, x1);
        }
        for (std::size_t y = H - 1; y-- > 0;) {
            const std::size_t row = y * W;
            for (int p = 0; p < P; ++p) rows[p] = planes.filtered[std::size_t(p)] + row, neighbours[p] = rows[p] + W;
            verticalStep(rows, neighbours, P, weights + row + W, x0, x1);
        }
    });
}

}  // namespace

void domainTransformFilter(const DomainPlanes& planes, float sigma, float slope, int iterations, float* weights) {
    if (planes.w < 2 || planes.h < 2 || sigma <= 0 || iterations < 1) return;
    for (int it = 0; it < iterations; ++it) {
        // Each pass's reach, halving from pass to pass, so that together they spread by sigma.
        const double sigmaPass = sigma * std::sqrt(3.0) * std::exp2(iterations - 1 - it) /
                                 std::sqrt(std::exp2(2 * iterations) - 1);
        const float log2a = float(-std::sqrt(2.0) / sigmaPass / std::log(2.0));
        if (planes.filteredCount == 1) {
            horizontalPass<1>(planes, log2a, slope);
        } else {
            horizontalPass<2>(planes, log2a, slope);
        }
        verticalPass(planes, log2a, slope, weights);
    }
}

}  // namespace sorvel::image::raw
