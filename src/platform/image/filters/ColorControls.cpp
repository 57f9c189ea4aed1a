// "CIColorControls": saturation (mix with Rec.709 luma), then brightness (added), then contrast
// (around 0.5), on straight linear colour.
#include "platform/image/FilterKit.h"
#include "platform/image/WideVectors.h"

namespace sorvel::image {
namespace {

SORVEL_WIDE_VECTORS void adjust(const PixelRun& p, float s, float bias, float c) {
    for (std::size_t i = 0; i < p.count; ++i) {
        float l = 0.2125f * p.r[i] + 0.7154f * p.g[i] + 0.0721f * p.b[i];
        float r = l + (p.r[i] - l) * s, g = l + (p.g[i] - l) * s, b = l + (p.b[i] - l) * s;
        p.r[i] = r * c + bias;
        p.g[i] = g * c + bias;
        p.b[i] = b * c + bias;
    }
}

class ColorControlsNode final : public PointNode {
public:
    ColorControlsNode(NodePtr in, float saturation, float brightness, float contrast)
        : PointNode(std::move(in)), s_(saturation), b_(brightness), c_(contrast) {}

    void apply(const PixelRun& p) const override { adjust(p, s_, b_ + 0.5f - 0.5f * c_, c_); }

private:
    float s_, b_, c_;
};

}  // namespace

SORVEL_FILTER(ColorControls) {
    registerFilter({"CIColorControls", "Saturation, then brightness, then contrast.",
                    {{"inputSaturation", 1.0}, {"inputBrightness", 0.0}, {"inputContrast", 1.0}},
                    [](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        if (!in) return std::nullopt;
                        float s = float(number(f, "inputSaturation", 1.0));
                        float b = float(number(f, "inputBrightness", 0.0));
                        float c = float(number(f, "inputContrast", 1.0));
                        if (s == 1.0f && b == 0.0f && c == 1.0f) return *in;
                        return makeImage<ColorControlsNode>(in->node(), s, b, c);
                    }});
}

}  // namespace sorvel::image
