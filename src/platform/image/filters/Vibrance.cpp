// "CIVibrance": saturation change around luminance whose strength falls off for colours that are
// already saturated and for skin tones, so dull colours gain most and faces stay natural;
// negative inputAmount desaturates, again sparing skin.
#include <algorithm>
#include <cmath>

#include "platform/image/FilterKit.h"
#include "platform/image/filters/PixelMath.h"

namespace sorvel::image {
namespace {

SORVEL_WIDE_VECTORS void vibrance(const PixelRun& p, const float amount) {
    const bool raise = amount > 0;
    // Branch-free (max() instead of tests for zero, selects for the order test) so the loop
    // vectorises.
    for (std::size_t i = 0; i < p.count; ++i) {
        const float r = p.r[i], g = p.g[i], b = p.b[i];
        const float hi = std::max(r, std::max(g, b)), lo = std::min(r, std::min(g, b));
        const float sat = std::clamp((hi - lo) / std::max(hi, 1e-6f), 0.0f, 1.0f);
        // Skin: red over green over blue with the green between a fifth and four fifths of
        // the way from blue to red (orange hues), and a moderate saturation.
        const float t = (g - b) / std::max(r - b, 1e-6f);
        const float hueWeight = std::clamp(1.0f - std::fabs(t - 0.45f) * (1.0f / 0.35f), 0.0f, 1.0f);
        const float orderWeight = (r >= g) & (g >= b) ? 1.0f : 0.0f;
        const float satWeight = std::clamp(sat * 6.0f, 0.0f, 1.0f) * std::clamp((0.85f - sat) * 4.0f, 0.0f, 1.0f);
        const float skin = hueWeight * orderWeight * satWeight;
        const float spare = raise ? (1.0f - sat) * (1.0f - sat) : 1.0f;
        const float k = 1.0f + amount * spare * (1.0f - 0.75f * skin);
        const float l = px::luma(r, g, b);
        p.r[i] = l + (r - l) * k;
        p.g[i] = l + (g - l) * k;
        p.b[i] = l + (b - l) * k;
    }
}

class VibranceNode final : public PointNode {
public:
    VibranceNode(NodePtr in, float amount) : PointNode(std::move(in)), amount_(amount) {}

    void apply(const PixelRun& p) const override { vibrance(p, amount_); }

private:
    float amount_;
};

}  // namespace

SORVEL_FILTER(Vibrance) {
    registerFilter({"CIVibrance", "Saturation that spares saturated colours and skin tones.", {{"inputAmount", 0.0}},
                    [](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        if (!in) return std::nullopt;
                        const double amount = number(f, "inputAmount");
                        if (!std::isfinite(amount)) return std::nullopt;
                        if (amount == 0.0) return *in;
                        return makeImage<VibranceNode>(in->node(), float(std::clamp(amount, -1.0, 4.0)));
                    }});
}

}  // namespace sorvel::image
