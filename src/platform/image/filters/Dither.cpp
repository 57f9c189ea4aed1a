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

// Straight colour, to the square-root scale, noise, back; times alpha again.
SORVEL_WIDE_VECTORS void addNoise(float* d, const float* add, const float* a, std::size_t m) {
    for (std::size_t i = 0; i < m; ++i) {
        const float alpha = a[i];
        const float src = d[i];
        const float v = src / std::max(alpha, 1e-12f);
        const float s = std::copysign(std::sqrt(std::fabs(v)), v) + add[i];
        d[i] = alpha > 0.0f ? std::copysign(s * s, s) * alpha : src;
    }
}

// A point operation of the pixel and its position, on premultiplied colour (the division by
// alpha is its own, as it has always been computed).
class DitherNode final : public PointNode {
public:
    DitherNode(NodePtr in, float intensity) : PointNode(std::move(in)), intensity_(intensity) {}

    Alpha alpha() const override { return Alpha::Premultiplied; }

    void apply(const PixelRun& p) const override {
        const std::size_t n = p.count;
        const float k = intensity_;
        // One hash per pixel gives six 10-bit uniforms: two per channel, summed to triangular
        // noise in (-1, 1).
        float noise[3][kChunk];
        for (std::size_t base = 0; base < n; base += kChunk) {
            const std::size_t m = std::min(kChunk, n - base);
            for (std::size_t i = 0; i < m; ++i) {
                const std::uint64_t h = px::hash(p.x + std::int64_t(base + i), p.y);
                for (int c = 0; c < 3; ++c) {
                    const float u = float((h >> (20 * c)) & 1023), v = float((h >> (20 * c + 10)) & 1023);
                    noise[c][i] = ((u + v + 1.0f) * (1.0f / 1024.0f) - 1.0f) * k;
                }
            }
            const float* a = p.a + base;
            float* planes[3] = {p.r + base, p.g + base, p.b + base};
            for (int c = 0; c < 3; ++c) addNoise(planes[c], noise[c], a, m);
        }
    }

private:
    static constexpr std::size_t kChunk = 256;
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
