// "CIVignette": darkens towards the corners of the input's extent: linear colour times
// 1 / (1 + intensity * d^4 / 2), d = distance from the centre over inputRadius times the half
// diagonal (1 at the corners for radius 1). Negative intensities brighten the edges instead.
#include <cmath>
#include <algorithm>
#include <cstring>

#include "platform/image/FilterKit.h"

namespace sorvel::image {
namespace {

// A point operation of the pixel and its position, on premultiplied colour (a gain keeps
// premultiplication).
class VignetteNode final : public PointNode {
public:
    VignetteNode(NodePtr in, float intensity, float radius) : PointNode(std::move(in)), intensity_(intensity) {
        const Rect e = inputs()[0]->extent();
        cx_ = e.x + e.width / 2;
        cy_ = e.y + e.height / 2;
        scale_ = 1.0 / (std::max(1e-6, double(radius)) * std::hypot(e.width / 2, e.height / 2));
    }

    Alpha alpha() const override { return Alpha::Premultiplied; }

    void apply(const PixelRun& p) const override {
        const float k = intensity_ * 0.5f;
        const double dy = (double(p.y) + 0.5 - cy_) * scale_;
        const float dy2 = float(dy * dy);
        float gain[kChunk];
        for (std::size_t base = 0; base < p.count; base += kChunk) {
            const std::size_t m = std::min(kChunk, p.count - base);
            for (std::size_t i = 0; i < m; ++i) {
                const double dx = (double(p.x + std::int64_t(base + i)) + 0.5 - cx_) * scale_;
                const float d2 = float(dx * dx) + dy2;
                gain[i] = std::max(0.0f, 1.0f / std::max(1e-6f, 1.0f + k * d2 * d2));
            }
            for (std::size_t i = 0; i < m; ++i) {
                p.r[base + i] *= gain[i];
                p.g[base + i] *= gain[i];
                p.b[base + i] *= gain[i];
            }
        }
    }

private:
    static constexpr std::size_t kChunk = 256;
    float intensity_;
    double cx_, cy_, scale_;
};

}  // namespace

SORVEL_FILTER(Vignette) {
    registerFilter({"CIVignette", "Darkens the picture towards its corners.",
                    {{"inputIntensity", 0.0}, {"inputRadius", 1.0}},
                    [](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        if (!in) return std::nullopt;
                        const double k = number(f, "inputIntensity"), r = number(f, "inputRadius", 1.0);
                        if (!std::isfinite(k) || !std::isfinite(r) || r <= 0) return std::nullopt;
                        if (k == 0.0 || in->isEmpty() || in->extent().isInfinite()) return *in;
                        // Below -1.9 the gain would pass through a pole inside the picture.
                        return makeImage<VignetteNode>(in->node(), float(std::clamp(k, -1.9, 1e4)), float(r));
                    }});
}

}  // namespace sorvel::image
