// "CIDither": adds triangular noise of peak inputIntensity to each channel on a square-root
// (roughly perceptual) scale, so grain is as visible in the shadows as in the highlights. The
// noise comes from a hash of the absolute pixel position: the same picture renders the same
// bytes whatever the tiling.
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/image/FilterKit.h"
#include "platform/image/filters/PixelMath.h"

namespace sorvel::image {
namespace {

class DitherNode final : public Node {
public:
    DitherNode(NodePtr in, float intensity) : Node({std::move(in)}), intensity_(intensity) {}

    Rect extent() const override { return inputs()[0]->extent(); }

    void compute(const TileView& out, std::span<const TileView> inputs) const override {
        const TileView& in = inputs[0];
        const std::size_t n = std::size_t(out.rect.width);
        const float k = intensity_;
        std::vector<float> noise(3 * n);
        for (std::int64_t y = out.rect.y; y < out.rect.maxY(); ++y) {
            // One hash per pixel gives six 10-bit uniforms: two per channel, summed to triangular
            // noise in (-1, 1).
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint64_t h = px::hash(out.rect.x + std::int64_t(i), y);
                for (int c = 0; c < 3; ++c) {
                    const float u = float((h >> (20 * c)) & 1023), v = float((h >> (20 * c + 10)) & 1023);
                    noise[std::size_t(c) * n + i] = ((u + v + 1.0f) * (1.0f / 1024.0f) - 1.0f) * k;
                }
            }
            const float* a = in.row(3, y) + (out.rect.x - in.rect.x);
            std::memcpy(out.row(3, y), a, n * sizeof(float));
            for (int c = 0; c < 3; ++c) {
                const float* src = in.row(c, y) + (out.rect.x - in.rect.x);
                const float* add = noise.data() + std::size_t(c) * n;
                float* dst = out.row(c, y);
                for (std::size_t i = 0; i < n; ++i) {
                    // straight colour, to the square-root scale, noise, back; times alpha again
                    const float alpha = a[i];
                    const float v = src[i] / std::max(alpha, 1e-12f);
                    const float s = std::copysign(std::sqrt(std::fabs(v)), v) + add[i];
                    dst[i] = alpha > 0.0f ? std::copysign(s * s, s) * alpha : src[i];
                }
            }
        }
    }

private:
    float intensity_;
};

}  // namespace

SORVEL_FILTER(Dither) {
    registerFilter({"CIDither", "Adds deterministic grain of peak inputIntensity.", {{"inputIntensity", 0.1}},
                    [](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        if (!in) return std::nullopt;
                        const double k = number(f, "inputIntensity", 0.1);
                        if (!std::isfinite(k)) return std::nullopt;
                        if (k == 0.0) return *in;
                        return makeImage<DitherNode>(in->node(), float(std::clamp(k, -4.0, 4.0)));
                    }});
}

}  // namespace sorvel::image
