// "CIEdges": edge strength per channel — the Sobel gradient magnitude of the square-root
// (roughly perceptual) values, times inputIntensity / 16, squared back to linear light; flat
// areas turn black, edges glow in their own colours. Edge pixels repeat outward; alpha is kept.
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/image/FilterKit.h"

namespace sorvel::image {
namespace {

class EdgesNode final : public Node {
public:
    EdgesNode(NodePtr in, float intensity)
        : Node({std::move(in)}), intensity_(intensity), bounds_(PixelRect::covering(inputs()[0]->extent())) {}

    Rect extent() const override { return inputs()[0]->extent(); }
    PixelRect regionOfInterest(std::size_t, const PixelRect& out) const override {
        return out.outset(1, 1).intersection(bounds_);
    }

    void compute(const TileView& out, std::span<const TileView> inputs) const override {
        const TileView& in = inputs[0];
        const std::size_t n = std::size_t(out.rect.width), iw = std::size_t(in.rect.width);
        // Columns of the three-wide window, clamped into the picture, relative to the region.
        std::vector<std::int64_t> col(n + 2);
        for (std::size_t i = 0; i < n + 2; ++i)
            col[i] = std::clamp(out.rect.x - 1 + std::int64_t(i), bounds_.x, bounds_.maxX() - 1) - in.rect.x;
        const float k = intensity_ * (1.0f / 16.0f);
        // Square roots of the straight colour, once per source pixel.
        std::vector<float> roots(iw * std::size_t(in.rect.height));
        std::vector<float> lo(n + 2), mid(n + 2), hi(n + 2);
        for (int c = 0; c < 3; ++c) {
            for (std::int64_t y = in.rect.y; y < in.rect.maxY(); ++y) {
                const float* src = in.row(c, y);
                const float* alpha = in.row(3, y);
                float* dst = roots.data() + std::size_t(y - in.rect.y) * iw;
                for (std::size_t i = 0; i < iw; ++i) dst[i] = std::sqrt(std::max(0.0f, src[i] / std::max(alpha[i], 1e-12f)));
            }
            auto gather = [&](std::int64_t y, std::vector<float>& row) {
                const std::int64_t sy = std::clamp(y, bounds_.y, bounds_.maxY() - 1);
                const float* r = roots.data() + std::size_t(sy - in.rect.y) * iw;
                for (std::size_t i = 0; i < n + 2; ++i) row[i] = r[col[i]];
            };
            for (std::int64_t y = out.rect.y; y < out.rect.maxY(); ++y) {
                gather(y - 1, lo);
                gather(y, mid);
                gather(y + 1, hi);
                float* dst = out.row(c, y);
                for (std::size_t i = 0; i < n; ++i) {
                    const float gx = (lo[i + 2] + 2 * mid[i + 2] + hi[i + 2]) - (lo[i] + 2 * mid[i] + hi[i]);
                    const float gy = (hi[i] + 2 * hi[i + 1] + hi[i + 2]) - (lo[i] + 2 * lo[i + 1] + lo[i + 2]);
                    const float e = std::sqrt(gx * gx + gy * gy) * k;
                    dst[i] = e * e;
                }
            }
        }
        // Premultiplied output: colour times alpha, alpha as it was.
        for (std::int64_t y = out.rect.y; y < out.rect.maxY(); ++y) {
            const float* a = in.row(3, y) + (out.rect.x - in.rect.x);
            std::memcpy(out.row(3, y), a, n * sizeof(float));
            for (int c = 0; c < 3; ++c) {
                float* dst = out.row(c, y);
                for (std::size_t i = 0; i < n; ++i) dst[i] = std::min(dst[i], 1e4f) * a[i];
            }
        }
    }

private:
    float intensity_;
    PixelRect bounds_;
};

}  // namespace

SORVEL_FILTER(Edges) {
    registerFilter({"CIEdges", "Sobel edge strength per channel, times inputIntensity.", {{"inputIntensity", 1.0}},
                    [](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        if (!in) return std::nullopt;
                        const double k = number(f, "inputIntensity", 1.0);
                        if (!std::isfinite(k)) return std::nullopt;
                        if (in->isEmpty()) return *in;
                        return makeImage<EdgesNode>(in->node(), float(std::clamp(std::fabs(k), 0.0, 1e3)));
                    }});
}

}  // namespace sorvel::image
