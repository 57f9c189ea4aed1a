// "CILanczosScaleTransform": scales by inputScale (x also by inputAspectRatio) with a Lanczos-3
// kernel (widened by 1/scale when shrinking), edges clamped; extent scaled and rounded outward.
#include <cmath>
#include <vector>

#include "platform/image/FilterKit.h"

namespace sorvel::image {
namespace {

double lanczos3(double x) {
    x = std::fabs(x);
    if (x < 1e-12) return 1.0;
    if (x >= 3.0) return 0.0;
    const double px = M_PI * x;
    return 3.0 * std::sin(px) * std::sin(px / 3.0) / (px * px);
}

// Taps of one axis for output pixels [first, first + count): for output i, taps[i * n + t]
// weights input pixel index[i * n + t]. Computed from absolute coordinates only, so a pixel's
// weights do not depend on the tile it falls in.
struct Axis {
    int n = 0;
    std::vector<std::int64_t> index;
    std::vector<float> weight;
    std::int64_t lo = 0, hi = 0;  // input pixels used, [lo, hi)
};

Axis makeAxis(std::int64_t first, std::int64_t count, double scale, std::int64_t inLo, std::int64_t inHi) {
    Axis a;
    const double f = std::min(scale, 1.0);
    const double support = 3.0 / f;
    a.n = int(std::ceil(support)) * 2;
    a.index.resize(std::size_t(count * a.n));
    a.weight.resize(std::size_t(count * a.n));
    a.lo = INT64_MAX;
    a.hi = INT64_MIN;
    std::vector<double> w(std::size_t(a.n));
    for (std::int64_t i = 0; i < count; ++i) {
        const double centre = (double(first + i) + 0.5) / scale;  // input coordinate
        const std::int64_t k0 = std::int64_t(std::floor(centre - 0.5)) - (a.n / 2) + 1;
        double sum = 0;
        for (int t = 0; t < a.n; ++t) {
            double d = (double(k0 + t) + 0.5 - centre) * f;
            w[t] = lanczos3(d);
            sum += w[t];
        }
        for (int t = 0; t < a.n; ++t) {
            std::int64_t k = std::clamp(k0 + t, inLo, inHi - 1);
            a.index[std::size_t(i * a.n + t)] = k;
            a.weight[std::size_t(i * a.n + t)] = float(w[t] / sum);
            a.lo = std::min(a.lo, k), a.hi = std::max(a.hi, k + 1);
        }
    }
    if (a.lo > a.hi) a.lo = inLo, a.hi = inLo + 1;
    return a;
}

class LanczosNode final : public Node {
public:
    LanczosNode(NodePtr input, double sx, double sy)
        : Node({input}), sx_(sx), sy_(sy), in_(PixelRect::covering(input->extent())) {
        Rect e = input->extent();
        extent_ = e.isInfinite() ? e : Rect{e.x * sx, e.y * sy, e.width * sx, e.height * sy}.integral();
    }

    Rect extent() const override { return extent_; }

    PixelRect regionOfInterest(std::size_t, const PixelRect& out) const override {
        Axis ax = makeAxis(out.x, out.width, sx_, in_.x, in_.maxX());
        Axis ay = makeAxis(out.y, out.height, sy_, in_.y, in_.maxY());
        return {ax.lo, ay.lo, ax.hi - ax.lo, ay.hi - ay.lo};
    }

    // Vertical pass first, over the region's full width (contiguous rows, vectorised across x),
    // then the horizontal pass on the few output rows. The horizontal dot products keep four
    // partial sums so the adds do not wait on each other; the order is fixed per pixel.
    void compute(const TileView& out, std::span<const TileView> inputs) const override {
        const TileView& in = inputs[0];
        const Axis ax = makeAxis(out.rect.x, out.rect.width, sx_, in_.x, in_.maxX());
        const Axis ay = makeAxis(out.rect.y, out.rect.height, sy_, in_.y, in_.maxY());
        const std::size_t iw = std::size_t(in.rect.width);
        const std::size_t ow = std::size_t(out.rect.width);
        std::vector<float> mid(iw);
        std::vector<std::int32_t> local(ax.index.size());
        for (std::size_t i = 0; i < local.size(); ++i) local[i] = std::int32_t(ax.index[i] - in.rect.x);
        const int n = ax.n;
        for (int c = 0; c < 4; ++c) {
            for (std::int64_t j = 0; j < out.rect.height; ++j) {
                float* acc = mid.data();
                std::fill(mid.begin(), mid.end(), 0.0f);
                for (int t = 0; t < ay.n; ++t) {
                    const float w = ay.weight[std::size_t(j * ay.n + t)];
                    const float* src = in.planes[c] + (ay.index[std::size_t(j * ay.n + t)] - in.rect.y) * in.stride;
                    for (std::size_t i = 0; i < iw; ++i) acc[i] += w * src[i];
                }
                float* dst = out.row(c, out.rect.y + j);
                for (std::size_t i = 0; i < ow; ++i) {
                    const std::int32_t* idx = &local[i * std::size_t(n)];
                    const float* w = &ax.weight[i * std::size_t(n)];
                    float s0 = 0, s1 = 0, s2 = 0, s3 = 0;
                    int t = 0;
                    for (; t + 4 <= n; t += 4) {
                        s0 += w[t] * acc[idx[t]];
                        s1 += w[t + 1] * acc[idx[t + 1]];
                        s2 += w[t + 2] * acc[idx[t + 2]];
                        s3 += w[t + 3] * acc[idx[t + 3]];
                    }
                    for (; t < n; ++t) s0 += w[t] * acc[idx[t]];
                    dst[i] = (s0 + s1) + (s2 + s3);
                }
            }
        }
    }

private:
    double sx_, sy_;
    PixelRect in_;
    Rect extent_;
};

}  // namespace

SORVEL_FILTER(LanczosScale) {
    registerFilter({"CILanczosScaleTransform",
                    "Scales by inputScale (x also by inputAspectRatio) with a Lanczos-3 kernel.",
                    {{"inputScale", 1.0}, {"inputAspectRatio", 1.0}},
                    [](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        if (!in) return std::nullopt;
                        double s = number(f, "inputScale", 1.0);
                        double ar = number(f, "inputAspectRatio", 1.0);
                        double sx = s * ar, sy = s;
                        if (!(sx > 0) || !(sy > 0) || !std::isfinite(sx) || !std::isfinite(sy)) return std::nullopt;
                        if (in->isEmpty()) return *in;
                        // At scale 1 on whole pixels every output pixel centre is an input pixel
                        // centre, where the kernel is 1 and 0 at every other tap: the input itself.
                        // (Computed, the zero taps come out near 1e-17 instead of 0.)
                        const Rect e = in->extent();
                        if (sx == 1.0 && sy == 1.0 && (e.isInfinite() || e.integral() == e)) return *in;
                        return makeImage<LanczosNode>(in->node(), sx, sy);
                    }});
}

}  // namespace sorvel::image
