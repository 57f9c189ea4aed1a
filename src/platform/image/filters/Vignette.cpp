// "CIVignette": darkens towards the corners of the input's extent: linear colour times
// 1 / (1 + intensity * d^4 / 2), d = distance from the centre over inputRadius times the half
// diagonal (1 at the corners for radius 1). Negative intensities brighten the edges instead.
#include <cmath>
#include <cstring>

#include "platform/image/FilterKit.h"

namespace sorvel::image {
namespace {

class VignetteNode final : public Node {
public:
    VignetteNode(NodePtr in, float intensity, float radius) : Node({std::move(in)}), intensity_(intensity) {
        const Rect e = inputs()[0]->extent();
        cx_ = e.x + e.width / 2;
        cy_ = e.y + e.height / 2;
        scale_ = 1.0 / (std::max(1e-6, double(radius)) * std::hypot(e.width / 2, e.height / 2));
    }

    Rect extent() const override { return inputs()[0]->extent(); }

    void compute(const TileView& out, std::span<const TileView> inputs) const override {
        const TileView& in = inputs[0];
        const std::size_t n = std::size_t(out.rect.width);
        std::vector<float> dx2(n), gain(n);
        for (std::size_t i = 0; i < n; ++i) {
            const double dx = (double(out.rect.x + std::int64_t(i)) + 0.5 - cx_) * scale_;
            dx2[i] = float(dx * dx);
        }
        const float k = intensity_ * 0.5f;
        for (std::int64_t y = out.rect.y; y < out.rect.maxY(); ++y) {
            const double dy = (double(y) + 0.5 - cy_) * scale_;
            const float dy2 = float(dy * dy);
            for (std::size_t i = 0; i < n; ++i) {
                const float d2 = dx2[i] + dy2;
                gain[i] = std::max(0.0f, 1.0f / std::max(1e-6f, 1.0f + k * d2 * d2));
            }
            for (int c = 0; c < 4; ++c) {
                const float* src = in.row(c, y) + (out.rect.x - in.rect.x);
                float* dst = out.row(c, y);
                if (c == 3) {
                    std::memcpy(dst, src, n * sizeof(float));
                } else {
                    for (std::size_t i = 0; i < n; ++i) dst[i] = src[i] * gain[i];
                }
            }
        }
    }

private:
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
