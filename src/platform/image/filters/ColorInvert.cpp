// "CIColorInvert": straight colour c -> 1 - c, alpha kept.
#include "platform/image/FilterKit.h"

namespace sorvel::image {
namespace {

class ColorInvertNode final : public PointNode {
public:
    using PointNode::PointNode;
    void apply(const PixelRun& p) const override {
        for (std::size_t i = 0; i < p.count; ++i) {
            p.r[i] = 1.0f - p.r[i];
            p.g[i] = 1.0f - p.g[i];
            p.b[i] = 1.0f - p.b[i];
        }
    }
};

}  // namespace

SORVEL_FILTER(ColorInvert) {
    registerFilter({"CIColorInvert", "Inverts colour (1 - c), keeps alpha.", {},
                    [](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        if (!in) return std::nullopt;
                        return makeImage<ColorInvertNode>(in->node());
                    }});
}

}  // namespace sorvel::image
