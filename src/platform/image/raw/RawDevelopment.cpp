#include "platform/image/raw/RawDevelopment.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/image/HugePages.h"
#include "platform/image/filters/PixelMath.h"
#include "platform/image/raw/ChromaDenoise.h"
#include "platform/image/raw/PlaneFilters.h"
#include "platform/image/raw/RecursiveFilter.h"

namespace sorvel::image::raw {

namespace {

// The luminance noise reduction's reach at full strength (pixels at scale 1), and the guide
// change, in noise units of its 3 x 3 mean, that stretches a step by the whole reach.
constexpr float kLumaReach = 10.0f;
constexpr float kLumaEdge = 0.75f;

}  // namespace

PlanarPicture PlanarPicture::sized(int w, int h) {
    PlanarPicture p;
    p.width = w;
    p.height = h;
    const std::size_t n = std::size_t(w) * std::size_t(h);
    resizeInHugePages(p.r, n);
    resizeInHugePages(p.g, n);
    resizeInHugePages(p.b, n);
    return p;
}

PlanarPicture reduced(const PlanarPicture& in, int factor) {
    factor = std::max(1, factor);
    const int w = (in.width + factor - 1) / factor, h = (in.height + factor - 1) / factor;
    PlanarPicture out = PlanarPicture::sized(w, h);
    parallelRanges(std::size_t(h), [&](std::size_t y0, std::size_t y1) {
        std::vector<double> sum(std::size_t(w) * 3);
        for (std::size_t by = y0; by < y1; ++by) {
            std::fill(sum.begin(), sum.end(), 0.0);
            const int top = int(by) * factor, bottom = std::min(in.height, top + factor);
            for (int y = top; y < bottom; ++y) {
                const std::size_t row = std::size_t(y) * in.width;
                for (int x = 0; x < in.width; ++x) {
                    const std::size_t o = std::size_t(x / factor) * 3;
                    sum[o] += in.r[row + x];
                    sum[o + 1] += in.g[row + x];
                    sum[o + 2] += in.b[row + x];
                }
            }
            for (int bx = 0; bx < w; ++bx) {
                const int cols = std::min(in.width, (bx + 1) * factor) - bx * factor;
                const double inv = 1.0 / (double(cols) * (bottom - top));
                const std::size_t i = by * std::size_t(w) + std::size_t(bx), o = std::size_t(bx) * 3;
                out.r[i] = float(sum[o] * inv);
                out.g[i] = float(sum[o + 1] * inv);
                out.b[i] = float(sum[o + 2] * inv);
            }
        }
    });
    return out;
}

void developDetail(PlanarPicture& p, const DetailOptions& o) { developDetail(p, p, o); }

void developDetail(const PlanarPicture& source, PlanarPicture& p, const DetailOptions& o) {
    const int w = source.width, h = source.height;
    const std::size_t n = source.size();
    const float chromaStrength = std::clamp(o.noiseReduction * o.colorNoiseReduction, 0.0f, 1.0f);
    const float lumaStrength = std::clamp(o.noiseReduction * o.luminanceNoiseReduction, 0.0f, 1.0f);
    const bool anyDetail = chromaStrength > 0 || lumaStrength > 0 || o.sharpen;
    if (n == 0) {
        if (&p != &source) p = PlanarPicture::sized(w, h);
        return;
    }

    // Work planes, reused from step to step: each fresh plane of a 12 MP picture costs its
    // page faults as well as its arithmetic.
    std::vector<float> scratch, work1, work2, work3, work4;
    if (anyDetail) {
        // Luminance (linear) and two colour differences (in the square-root domain, see
        // ChromaDenoise.h); the noise of a Bayer sensor is mostly in the colour differences at
        // the scale of its 2 x 2 quads, and in luminance at the finest.
        std::vector<float> y, qb, qr;
        for (std::vector<float>* plane : {&y, &qb, &qr}) resizeInHugePages(*plane, n);
        eachPixel(n, [&](std::size_t i) { y[i] = px::luma(source.r[i], source.g[i], source.b[i]); });
        const float c = noiseOffset(y.data(), w, h);
        eachPixel(n, [&](std::size_t i) {
            const float sy = signedSqrt(y[i] + c);
            qb[i] = signedSqrt(source.b[i] + c) - sy;
            qr[i] = signedSqrt(source.r[i] + c) - sy;
        });
        // Radii shrink with the output scale: downscaling already averaged the finest noise.
        const double s = std::clamp(o.scale, 0.05, 1.0);
        if (chromaStrength > 0) reduceColourNoise(qr, qb, y, c, w, h, chromaStrength, s, {&work1, &work2, &work3});
        if (lumaStrength > 0) {
            // In the same square-root domain (y holds S(y) here, and y again below), by the
            // domain-transform filter guided by S(y)'s 3 x 3 mean in noise units: it smooths
            // along edges, never across them, so even edges of a few times the noise stay as
            // sharp as they were (one pass of rows and columns is enough at this reach).
            // Squaring the smoothed values back would darken by the variance removed, which is
            // added back (the square of what was removed, at most the noise's variance).
            std::vector<float>& sy = y;
            eachPixel(n, [&](std::size_t i) { sy[i] = signedSqrt(y[i] + c); });
            const float sigma = std::max(estimateNoise(sy.data(), w, h), 1e-6f);
            std::vector<float>&guide = work1, &smooth = work3, &weights = work2;
            for (std::vector<float>* plane : {&guide, &smooth, &weights}) resizeInHugePages(*plane, n);
            mean3x3(sy.data(), w, h, 1.0f / sigma, guide.data());
            std::copy(sy.begin(), sy.end(), smooth.begin());
            const float reach = float(kLumaReach * lumaStrength * s);
            DomainPlanes luminance;
            luminance.w = w, luminance.h = h;
            luminance.filtered = {smooth.data(), nullptr};
            luminance.guide = {guide.data(), nullptr, nullptr};
            domainTransformFilter(luminance, reach, reach / kLumaEdge, 1, weights.data());
            const float keep = 0.5f * std::clamp(o.noiseReductionSharpness, 0.0f, 1.0f);
            const float variance = sigma * sigma;
            eachPixel(n, [&](std::size_t i) {
                const float d = sy[i] - smooth[i];
                const float v = smooth[i] + keep * d;
                y[i] = signedSquare(v) - c + (1.0f - keep * keep) * std::min(variance, d * d);
            });
        }
        if (o.sharpen) {
            resizeInHugePages(work1, n);
            boxBlur(y.data(), work1.data(), w, h, 1, scratch);
            eachPixel(n, [&](std::size_t i) { y[i] += 0.6f * (y[i] - work1[i]); });
        }
        // Back to RGB in the planes at hand, which then become the picture's: red and blue from
        // the luminance and their differences, green from what the luminance leaves.
        eachPixel(n, [&](std::size_t i) {
            const float sy = signedSqrt(y[i] + c);
            const float r = signedSquare(sy + qr[i]) - c, b = signedSquare(sy + qb[i]) - c;
            qr[i] = r;
            qb[i] = b;
            y[i] = (y[i] - px::kLumaR * r - px::kLumaB * b) * (1.0f / px::kLumaG);
        });
        p.width = w;
        p.height = h;
        p.r = std::move(qr);
        p.g = std::move(y);
        p.b = std::move(qb);
    } else if (&p != &source) {
        p.width = w;
        p.height = h;
        p.r = source.r;
        p.g = source.g;
        p.b = source.b;
    }

    const float tm = std::clamp(o.localToneMap, 0.0f, 1.0f);
    if (tm > 0) {
        // The large-scale brightness (log2 of luminance over ~1/18 of the picture) is pulled
        // towards its mean by up to half; the detail around it is kept. The base is smoothed
        // with the guided filter, which stops at differences of more than about a fifth of a stop:
        // a plain blur would carry a bright area's base into its dark surround, which would
        // then be darkened in a band along the edge (a halo). The gain does not depend on
        // exposure: scaling the picture shifts the base and its mean alike.
        std::vector<float> &logY = work1, &tmp = work3;
        resizeInHugePages(logY, n);
        eachPixel(n, [&](std::size_t i) { logY[i] = px::fastLog2(std::max(1e-5f, px::luma(p.r[i], p.g[i], p.b[i]))); });
        const int r = std::max(1, std::max(w, h) / 36);
        guidedSmooth(logY, w, h, r, 0.04f, tmp, work2, work4, scratch);
        double mean = 0;
        for (std::size_t i = 0; i < n; ++i) mean += tmp[i];
        mean /= double(n);
        const float k = -0.5f * tm;
        eachPixel(n, [&](std::size_t i) {
            const float g = px::fastExp2(std::clamp(k * (tmp[i] - float(mean)), -3.0f, 3.0f));
            p.r[i] *= g, p.g[i] *= g, p.b[i] *= g;
        });
    }
}

namespace {

class PlanarNode final : public Node {
public:
    explicit PlanarNode(std::shared_ptr<const PlanarPicture> p) : picture_(std::move(p)) {}
    Rect extent() const override { return {0, 0, double(picture_->width), double(picture_->height)}; }
    void compute(const TileView& out, std::span<const TileView>) const override {
        const PlanarPicture& p = *picture_;
        const std::size_t n = std::size_t(out.rect.width);
        for (std::int64_t y = out.rect.y; y < out.rect.maxY(); ++y) {
            const std::size_t row = std::size_t(p.height - 1 - y) * p.width + std::size_t(out.rect.x);
            // A tile's rows are short runs a plane's width apart, too short for the hardware
            // prefetcher to get ahead of: ask for the rows a few ahead.
            if (y + kAhead < out.rect.maxY())
                for (const std::vector<float>* plane : {&p.r, &p.g, &p.b})
                    for (std::size_t i = 0; i < n; i += 16)
                        __builtin_prefetch(plane->data() + row - kAhead * std::size_t(p.width) + i);
            std::memcpy(out.row(0, y), p.r.data() + row, n * sizeof(float));
            std::memcpy(out.row(1, y), p.g.data() + row, n * sizeof(float));
            std::memcpy(out.row(2, y), p.b.data() + row, n * sizeof(float));
            std::fill_n(out.row(3, y), n, 1.0f);
        }
    }

private:
    static constexpr std::int64_t kAhead = 4;
    std::shared_ptr<const PlanarPicture> picture_;
};

// The boost curve on sRGB-encoded values: a filmic S that keeps mid-grey, deepens the darks a
// little and rolls the highlights off; its shadow lift is a separate term.
double boostCurve(double e) { return e + 0.35 * (e * e * (3 - 2 * e) - e); }

// Exposure gain and the shadow lift over a batch (the lift brightens by up to 1 + 0.6 `lift`
// towards black, in the square root of luminance).
SORVEL_WIDE_VECTORS void gainAndLift(float* __restrict r, float* __restrict g, float* __restrict b, std::size_t n,
                                     float k, float lift) {
    if (lift == 0) {
        for (std::size_t i = 0; i < n; ++i) r[i] *= k, g[i] *= k, b[i] *= k;
        return;
    }
    for (std::size_t i = 0; i < n; ++i) {  // one pass: gain, then the lift of the gained colour
        const float cr = r[i] * k, cg = g[i] * k, cb = b[i] * k;
        const float dark = 1.0f - std::clamp(std::sqrt(std::max(0.0f, px::luma(cr, cg, cb))), 0.0f, 1.0f);
        const float s = 1.0f + 0.6f * lift * dark * dark * dark;
        r[i] = cr * (s * s), g[i] = cg * (s * s), b[i] = cb * (s * s);
    }
}

class ToneNode final : public PointNode {
public:
    ToneNode(NodePtr in, float ev, float boost, float boostShadow)
        : PointNode(std::move(in)), gain_(std::exp2(ev)), boost_(boost), shadow_(boost * boostShadow) {
        // The boost mixes each channel towards the curve: c + boost (curve(c) - c), itself a
        // curve, tabulated as one (interpolation is linear, so mixing the table's entries is
        // mixing its values).
        const double mix = boost_;
        if (boost_ != 0)
            curve_ = px::ToneTable([mix](double l) { return l + mix * (px::srgbDecode(boostCurve(px::srgbEncode(l))) - l); });
    }

    // A batch at a time, each step over whole rows so the loops vectorise and the curve's
    // table positions are computed a vector at a time (ToneTable::apply).
    void apply(const PixelRun& p) const override {
        constexpr std::size_t kBatch = 256;
        for (std::size_t base = 0; base < p.count; base += kBatch) {
            const std::size_t n = std::min(kBatch, p.count - base);
            float *r = p.r + base, *g = p.g + base, *b = p.b + base;
            gainAndLift(r, g, b, n, gain_, shadow_);
            if (boost_ != 0) curve_.apply(r, n), curve_.apply(g, n), curve_.apply(b, n);
        }
    }

private:
    float gain_, boost_, shadow_;
    px::ToneTable curve_;
};

}  // namespace

Image planarImage(std::shared_ptr<const PlanarPicture> picture) {
    return makeImage<PlanarNode>(std::move(picture));
}

Image toned(const Image& developed, float ev, float boost, float boostShadow) {
    if (ev == 0 && boost == 0) return developed;
    return makeImage<ToneNode>(developed.node(), ev, boost, boostShadow);
}

}  // namespace sorvel::image::raw
