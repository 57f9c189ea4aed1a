// "CIGammaAdjust": straight linear colour c -> sign(c) |c|^inputPower per channel; powers above 1
// darken the middle tones, below 1 lighten them, black and white stay where they are.
#include <cmath>

#include "platform/image/FilterKit.h"
#include "platform/image/filters/PixelMath.h"

namespace sorvel::image {
namespace {

SORVEL_WIDE_VECTORS void raise(const PixelRun& p, float k) {
    for (std::size_t i = 0; i < p.count; ++i) {
        p.r[i] = px::signedPow(p.r[i], k);
        p.g[i] = px::signedPow(p.g[i], k);
        p.b[i] = px::signedPow(p.b[i], k);
    }
}

class GammaNode final : public PointNode {
public:
    GammaNode(NodePtr in, float power) : PointNode(std::move(in)), power_(power) {}
    void apply(const PixelRun& p) const override { raise(p, power_); }

private:
    float power_;
};

}  // namespace

SORVEL_FILTER(GammaAdjust) {
    registerFilter({"CIGammaAdjust", "Raises linear colour to inputPower.", {{"inputPower", 1.0}},
                    [](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        if (!in) return std::nullopt;
                        const double power = number(f, "inputPower", 1.0);
                        if (!std::isfinite(power) || power <= 0.0) return std::nullopt;
                        if (power == 1.0) return *in;
                        return makeImage<GammaNode>(in->node(), float(std::min(power, 64.0)));
                    }});
}

}  // namespace sorvel::image
