// "CIExposureAdjust": linear colour times 2^inputEV (one photographic stop per unit); alpha
// kept. Premultiplied colour scales the same way, so no unpremultiply is needed.
#include <cmath>

#include "platform/image/FilterKit.h"

namespace sorvel::image {
namespace {

class ExposureNode final : public PointNode {
public:
    ExposureNode(NodePtr in, float ev) : PointNode(std::move(in)), gain_(std::exp2(ev)) {}
    Alpha alpha() const override { return Alpha::Premultiplied; }
    void apply(const PixelRun& p) const override {
        const float k = gain_;
        for (std::size_t i = 0; i < p.count; ++i) p.r[i] *= k, p.g[i] *= k, p.b[i] *= k;
    }

private:
    float gain_;
};

}  // namespace

SORVEL_FILTER(ExposureAdjust) {
    registerFilter({"CIExposureAdjust", "Multiplies linear colour by 2^inputEV.", {{"inputEV", 0.0}},
                    [](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        if (!in) return std::nullopt;
                        const double ev = number(f, "inputEV");
                        if (!std::isfinite(ev)) return std::nullopt;
                        if (ev == 0.0) return *in;
                        return makeImage<ExposureNode>(in->node(), float(std::clamp(ev, -64.0, 64.0)));
                    }});
}

}  // namespace sorvel::image
