#include "platform/image/raw/ChromaDenoise.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "platform/image/HugePages.h"
#include "platform/image/WideVectors.h"
#include "platform/image/raw/PlaneFilters.h"
#include "platform/image/raw/RecursiveFilter.h"

namespace sorvel::image::raw {

namespace {

// Reach of the smoothing at full strength, in quads (half-size pixels).
constexpr float kReach = 10.0f;
// Domain-transform steps are stretched by (reach / kEdge) x the guide's change between
// neighbours in noise units (after the guide's own 3 x 3 smoothing): a change of a few times
// the noise stops the filter, the noise alone barely slows it.
constexpr float kEdge = 3.0f;
constexpr int kIterations = 2;
// Where the guide changes by less than kFlat noise units within a quad's neighbourhood the
// detail finer than a quad is noise and is dropped; above kDetail it is kept whole.
constexpr float kFlat = 3.0f, kDetail = 6.0f;
// The filter may move a quad's colour by at most this many times the quads' noise: noise is
// rarely larger, while a colour detail finer than the guide's smoothing sees (a line one pixel
// wide) is larger and would otherwise be partly averaged away.
constexpr float kMostChange = 3.0f;

struct Quads {
    int w = 0, h = 0;
    std::size_t size() const { return std::size_t(w) * std::size_t(h); }
};

// Means of each 2 x 2 quad (partial quads at the right and bottom edges) of `full`, through
// `f`.
template <class F>
void binned(const std::vector<float>& full, int w, int h, const Quads& q, float* out, F f) {
    parallelRanges(std::size_t(q.h), [&](std::size_t j0, std::size_t j1) {
        for (std::size_t j = j0; j < j1; ++j) {
            const float* top = full.data() + 2 * j * std::size_t(w);
            const float* bottom = 2 * j + 1 < std::size_t(h) ? top + w : top;
            float* o = out + j * std::size_t(q.w);
            for (int i = 0; i < q.w; ++i) {
                const int x0 = 2 * i, x1 = std::min(x0 + 1, w - 1);
                o[i] = 0.25f * (f(top[x0]) + f(top[x1]) + f(bottom[x0]) + f(bottom[x1]));
            }
        }
    });
}

// The guide: luminance and both colour differences, each in units of its own noise.
struct Guide {
    float* c[3];

    // The L1 change of the guide between pixels i and j.
    float change(std::size_t i, std::size_t j) const {
        return std::fabs(c[0][i] - c[0][j]) + std::fabs(c[1][i] - c[1][j]) + std::fabs(c[2][i] - c[2][j]);
    }
};

// How much of the detail finer than a quad to keep: 0 where the guide is flat within a pixel of
// the quad, 1 where it changes by kDetail noise units or more.
void detailMask(const Guide& g, const Quads& q, float* largest, float* mask) {
    const std::size_t W = std::size_t(q.w), n = q.size();
    eachPixel(n, [&](std::size_t i) {
        const std::size_t x = i % W;
        float m = 0;
        if (x > 0) m = std::max(m, g.change(i, i - 1));
        if (x + 1 < W) m = std::max(m, g.change(i, i + 1));
        if (i >= W) m = std::max(m, g.change(i, i - W));
        if (i + W < n) m = std::max(m, g.change(i, i + W));
        largest[i] = m;
    });
    parallelRanges(std::size_t(q.h), [&](std::size_t j0, std::size_t j1) {
        for (std::size_t j = j0; j < j1; ++j)
            for (int x = 0; x < q.w; ++x) {
                float m = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int yy = std::clamp(int(j) + dy, 0, q.h - 1), xx = std::clamp(x + dx, 0, q.w - 1);
                        m = std::max(m, largest[std::size_t(yy) * W + std::size_t(xx)]);
                    }
                mask[j * W + std::size_t(x)] = std::clamp((m - kFlat) / (kDetail - kFlat), 0.0f, 1.0f);
            }
    });
}

// Row j of a quad plane, and the row beside it that full row y (2j or 2j + 1) lies towards,
// mixed 3 : 1 (a quad's centre lies between its two full rows), into column[1..w]; column[0]
// and column[w + 1] repeat the ends.
SORVEL_WIDE_VECTORS void verticalMix(const float* __restrict near, const float* __restrict far,
                                     float* __restrict column, std::size_t w) {
    for (std::size_t i = 0; i < w; ++i) column[i + 1] = 0.75f * near[i] + 0.25f * far[i];
    column[0] = column[1];
    column[w + 1] = column[w];
}

// Full-size values of a quad row mixed by verticalMix: pixel 2i takes 3 : 1 of quad i and the
// one to its left, pixel 2i + 1 of quad i and the one to its right (an odd width's last quad
// has only its left pixel).
SORVEL_WIDE_VECTORS void horizontalMix(const float* __restrict column, float* __restrict out, std::size_t w) {
    const std::size_t pairs = w / 2;
    for (std::size_t i = 0; i < pairs; ++i) {
        out[2 * i] = 0.75f * column[i + 1] + 0.25f * column[i];
        out[2 * i + 1] = 0.75f * column[i + 1] + 0.25f * column[i + 2];
    }
    if (w & 1) out[w - 1] = 0.75f * column[pairs + 1] + 0.25f * column[pairs];
}

// full = smooth + mask (full - coarse), all but `full` interpolated from quads.
SORVEL_WIDE_VECTORS void compose(float* __restrict full, const float* __restrict smooth, const float* __restrict mask,
                                 const float* __restrict coarse, std::size_t w) {
    for (std::size_t x = 0; x < w; ++x) full[x] = smooth[x] + mask[x] * (full[x] - coarse[x]);
}

}  // namespace

void reduceColourNoise(std::vector<float>& qr, std::vector<float>& qb, const std::vector<float>& y, float offset,
                       int w, int h, float strength, double scale, const std::array<std::vector<float>*, 3>& work) {
    const float sigma = float(kReach * std::clamp(double(strength), 0.0, 1.0) * std::clamp(scale, 0.05, 1.0));
    if (sigma < 0.25f || w < 2 || h < 2) return;
    const Quads quads{(w + 1) / 2, (h + 1) / 2};
    // Ten quad planes, four to each of the caller's planes.
    for (std::vector<float>* p : work)
        resizeInHugePages(*p, std::max({p->size(), std::size_t(w) * std::size_t(h), 4 * quads.size()}));
    int taken = 0;
    auto plane = [&] {
        float* p = work[std::size_t(taken / 4)]->data() + std::size_t(taken % 4) * quads.size();
        ++taken;
        return p;
    };
    float *coarseR = plane(), *coarseB = plane(), *scratch = plane(), *mask = plane(), *r = plane(), *b = plane();
    float* weights = plane();
    Guide guide{{plane(), plane(), plane()}};

    auto same = [](float v) { return v; };
    binned(qr, w, h, quads, coarseR, same);
    binned(qb, w, h, quads, coarseB, same);
    binned(y, w, h, quads, scratch, [offset](float v) { return signedSqrt(v + offset); });
    const float* planes[3] = {scratch, coarseR, coarseB};
    float noise[3];
    for (int c = 0; c < 3; ++c) {
        noise[c] = std::max(estimateNoise(planes[c], quads.w, quads.h), 1e-6f);
        const float k = 1.0f / noise[c];
        mean3x3(planes[c], quads.w, quads.h, k, guide.c[c]);
    }
    detailMask(guide, quads, scratch, mask);

    std::copy_n(coarseR, quads.size(), r);
    std::copy_n(coarseB, quads.size(), b);
    DomainPlanes colour;
    colour.w = quads.w, colour.h = quads.h;
    colour.filtered = {r, b}, colour.filteredCount = 2;
    colour.guide = {guide.c[0], guide.c[1], guide.c[2]}, colour.guideCount = 3;
    domainTransformFilter(colour, sigma, sigma / kEdge, kIterations, weights);
    const float mostR = kMostChange * noise[1], mostB = kMostChange * noise[2];
    eachPixel(quads.size(), [&](std::size_t i) {
        r[i] = coarseR[i] + std::clamp(r[i] - coarseR[i], -mostR, mostR);
        b[i] = coarseB[i] + std::clamp(b[i] - coarseB[i], -mostB, mostB);
    });

    // Full size: the filtered quads, interpolated, plus, near edges, the detail finer than a
    // quad (in flat areas it is noise).
    const std::size_t W = std::size_t(w), QW = std::size_t(quads.w);
    parallelRanges(std::size_t(h), [&](std::size_t y0, std::size_t y1) {
        std::vector<float> column(QW + 2), m(W), smooth(W), coarse(W);
        for (std::size_t yy = y0; yy < y1; ++yy) {
            const std::size_t j = yy / 2;
            const std::size_t other = std::size_t(std::clamp(int(j) + ((yy & 1) ? 1 : -1), 0, quads.h - 1));
            auto upsample = [&](const float* plane, float* out) {
                verticalMix(plane + j * QW, plane + other * QW, column.data(), QW);
                horizontalMix(column.data(), out, W);
            };
            upsample(mask, m.data());
            for (auto [full, quad, filtered] : {std::tuple{&qr, coarseR, r}, std::tuple{&qb, coarseB, b}}) {
                upsample(filtered, smooth.data());
                upsample(quad, coarse.data());
                compose(full->data() + yy * W, smooth.data(), m.data(), coarse.data(), W);
            }
        }
    });
}

}  // namespace sorvel::image::raw
