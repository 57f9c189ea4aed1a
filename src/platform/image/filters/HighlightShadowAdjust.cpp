// "CIHighlightShadowAdjust": tone changes driven by luminance on a square-root scale, applied as
// one gain per pixel so hues stay: shadows brighten by up to 2x (on that scale) for
// inputShadowAmount 1, highlights darken by up to a third as inputHighlightAmount falls from 1
// to 0. With inputRadius > 0 the gain follows the luminance blurred over that radius (local
// tone mapping) instead of the pixel's own.
#include <cmath>
#include <cstring>

#include "platform/image/FilterKit.h"
#include "platform/image/filters/BoxSums.h"
#include "platform/image/filters/PixelMath.h"

namespace sorvel::image {
namespace {

struct Tone {
    float shadow, highlight;  // shadow amount, 1 - highlight amount

    // Gain on linear light for a square-root-scale base value `b` (clamped to [0, 1]).
    float gain(float b) const {
        b = std::clamp(b, 0.0f, 1.0f);
        const float dark = 1.0f - b;
        const float lift = 1.0f + shadow * 2.0f * dark * dark * dark;
        const float fall = 1.0f - highlight * 0.35f * b * b * b;
        const float g = std::max(0.0f, lift * fall);
        return g * g;
    }
};

void applyGain(const float* gain, std::size_t n, float* r, float* g, float* b) {
    for (std::size_t i = 0; i < n; ++i) r[i] *= gain[i], g[i] *= gain[i], b[i] *= gain[i];
}

// Straight luminance of premultiplied pixels.
void straightLuma(const float* r, const float* g, const float* b, const float* a, std::size_t n, float* out) {
    for (std::size_t i = 0; i < n; ++i) out[i] = a[i] > 0.0f ? px::luma(r[i], g[i], b[i]) / a[i] : 0.0f;
}

class PointToneNode final : public PointNode {
public:
    PointToneNode(NodePtr in, Tone tone) : PointNode(std::move(in)), tone_(tone) {}
    void apply(const PixelRun& p) const override {
        for (std::size_t i = 0; i < p.count; ++i) {
            const float l = px::luma(p.r[i], p.g[i], p.b[i]);
            const float k = tone_.gain(std::sqrt(std::max(0.0f, l)));
            p.r[i] *= k, p.g[i] *= k, p.b[i] *= k;
        }
    }

private:
    Tone tone_;
};

class LocalToneNode final : public Node {
public:
    LocalToneNode(NodePtr in, Tone tone, int radius)
        : Node({std::move(in)}), tone_(tone), radii_{radius / 3 + (radius % 3 > 0), radius / 3 + (radius % 3 > 1), radius / 3},
          reach_(radius), bounds_(box::bounds(*inputs()[0])) {
        radii_.erase(std::remove(radii_.begin(), radii_.end(), 0), radii_.end());
    }

    Rect extent() const override { return inputs()[0]->extent(); }
    PixelRect regionOfInterest(std::size_t, const PixelRect& out) const override {
        return box::regionOfInterest(out, reach_, bounds_);
    }

    void compute(const TileView& out, std::span<const TileView> inputs) const override {
        const TileView& in = inputs[0];
        // Square-root luminance of the whole region, then its blur over out.rect.
        const std::size_t iw = std::size_t(in.rect.width), n = std::size_t(out.rect.width);
        std::vector<float> lumaPlane(iw * std::size_t(in.rect.height));
        TileView lumaView;
        lumaView.rect = in.rect;
        lumaView.stride = std::ptrdiff_t(iw);
        lumaView.planes[0] = lumaPlane.data();
        for (std::int64_t y = in.rect.y; y < in.rect.maxY(); ++y) {
            float* l = lumaView.row(0, y);
            straightLuma(in.row(0, y), in.row(1, y), in.row(2, y), in.row(3, y), iw, l);
            for (std::size_t i = 0; i < iw; ++i) l[i] = std::sqrt(std::max(0.0f, l[i]));
        }
        std::vector<float> basePlane(n * std::size_t(out.rect.height));
        TileView baseView;
        baseView.rect = out.rect;
        baseView.stride = std::ptrdiff_t(n);
        baseView.planes[0] = basePlane.data();
        box::blurChannel(lumaView, 0, bounds_, baseView, 0, radii_);
        std::vector<float> gain(n);
        for (std::int64_t y = out.rect.y; y < out.rect.maxY(); ++y) {
            const float* base = baseView.row(0, y);
            for (std::size_t i = 0; i < n; ++i) gain[i] = tone_.gain(base[i]);
            for (int c = 0; c < 4; ++c)
                std::memcpy(out.row(c, y), in.row(c, y) + (out.rect.x - in.rect.x), n * sizeof(float));
            applyGain(gain.data(), n, out.row(0, y), out.row(1, y), out.row(2, y));
        }
    }

private:
    Tone tone_;
    std::vector<int> radii_;
    int reach_;
    PixelRect bounds_;
};

}  // namespace

SORVEL_FILTER(HighlightShadowAdjust) {
    registerFilter({"CIHighlightShadowAdjust", "Brightens shadows and holds back highlights by luminance.",
                    {{"inputHighlightAmount", 1.0}, {"inputShadowAmount", 0.0}, {"inputRadius", 0.0}},
                    [](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        if (!in) return std::nullopt;
                        const double h = number(f, "inputHighlightAmount", 1.0);
                        const double s = number(f, "inputShadowAmount", 0.0);
                        const double r = number(f, "inputRadius", 0.0);
                        if (!std::isfinite(h) || !std::isfinite(s) || !std::isfinite(r) || r < 0) return std::nullopt;
                        if (h == 1.0 && s == 0.0) return *in;
                        const Tone tone{float(std::clamp(s, -1.0, 1.0)), float(std::clamp(1.0 - h, -1.0, 1.0))};
                        const int radius = int(std::min(std::floor(r), 2000.0));
                        if (radius < 1 || in->isEmpty()) return makeImage<PointToneNode>(in->node(), tone);
                        return makeImage<LocalToneNode>(in->node(), tone, radius);
                    }});
}

}  // namespace sorvel::image
