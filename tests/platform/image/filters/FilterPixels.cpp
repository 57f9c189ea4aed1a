#include "FilterPixels.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace sorvel::image::test {

Image linearImage(int w, int h, const std::function<Rgba(int, int)>& at) {
    Bitmap b = *Bitmap::make(w, h, PixelFormat::RGBAFloat, ColorSpace::LinearSRGB);
    for (int row = 0; row < h; ++row)
        for (int x = 0; x < w; ++x) {
            Rgba c = at(x, h - 1 - row);
            float p[4] = {c[0] * c[3], c[1] * c[3], c[2] * c[3], c[3]};
            std::memcpy(b.mutableRow(row) + 16 * x, p, 16);
        }
    return Image(b);
}

float LinearPixels::maxDifference(const LinearPixels& o) const {
    if (width != o.width || height != o.height) return std::numeric_limits<float>::infinity();
    float m = 0;
    for (std::size_t i = 0; i < data.size(); ++i) m = std::max(m, std::fabs(data[i] - o.data[i]));
    return m;
}

std::optional<LinearPixels> renderLinear(const Image& image, const Rect& rect, RenderOptions options) {
    auto b = RenderContext(options).render(image, rect, PixelFormat::RGBAFloat, ColorSpace::LinearSRGB);
    if (!b) return std::nullopt;
    LinearPixels p;
    p.width = b->width();
    p.height = b->height();
    p.data.resize(std::size_t(p.width) * p.height * 4);
    for (int row = 0; row < p.height; ++row)
        std::memcpy(p.data.data() + std::size_t(p.height - 1 - row) * p.width * 4, b->row(row),
                    std::size_t(p.width) * 16);
    return p;
}

Image variedImage(int w, int h) {
    return linearImage(w, h, [w, h](int x, int y) -> Rgba {
        const float u = float(x) / float(std::max(1, w - 1)), v = float(y) / float(std::max(1, h - 1));
        const int patch = (x * 4 / std::max(1, w)) + 4 * (y * 3 / std::max(1, h));
        switch (patch % 6) {
            case 0: return {u * u, v * v, 0.2f * u * v, 1};
            case 1: return {0.9f, 0.05f + 0.1f * u, 0.02f, 1};          // saturated red
            case 2: return {0.55f * v, 0.3f * v, 0.2f * v, 1};           // skin-like ramp
            case 3: return {0.01f + 0.02f * u, 0.015f, 0.03f * v, 1};   // deep shadows
            case 4: return {0.7f + 0.3f * u, 0.75f + 0.25f * v, 0.8f, 1};  // highlights
            default: return {0.1f + 0.5f * std::fabs(std::sin(x * 0.7f)), 0.3f * v, 0.6f * u, 1};
        }
    });
}

}  // namespace sorvel::image::test
