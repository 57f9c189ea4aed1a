// "CIBlendWithMask": inputImage where the mask is white, inputBackgroundImage where it is
// black, mixed linearly between: out = bg + m (in - bg), m = the mask's red channel clamped to
// [0, 1] (a grey mask's red is its luminance). Outside the mask's extent m is 0. The extent is
// the union of the image's and the background's.
#include <algorithm>

#include "platform/image/FilterKit.h"

namespace sorvel::image {
namespace {

class BlendWithMaskNode final : public Node {
public:
    BlendWithMaskNode(NodePtr image, NodePtr background, NodePtr mask)
        : Node({std::move(image), std::move(background), std::move(mask)}) {
        extent_ = inputs()[0]->extent().unionWith(inputs()[1]->extent());
    }

    Rect extent() const override { return extent_; }

    void compute(const TileView& out, std::span<const TileView> in) const override {
        const std::size_t n = std::size_t(out.rect.width);
        const std::int64_t x0 = out.rect.x;
        for (std::int64_t y = out.rect.y; y < out.rect.maxY(); ++y) {
            const float* m = in[2].row(0, y) + (x0 - in[2].rect.x);
            for (int c = 0; c < 4; ++c) {
                const float* fg = in[0].row(c, y) + (x0 - in[0].rect.x);
                const float* bg = in[1].row(c, y) + (x0 - in[1].rect.x);
                float* dst = out.row(c, y);
                for (std::size_t i = 0; i < n; ++i) {
                    const float k = std::clamp(m[i], 0.0f, 1.0f);
                    dst[i] = bg[i] + k * (fg[i] - bg[i]);
                }
            }
        }
    }

private:
    Rect extent_;
};

}  // namespace

SORVEL_FILTER(BlendWithMask) {
    registerFilter({"CIBlendWithMask", "inputImage over inputBackgroundImage through the mask's red channel.", {},
                    [](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        const Image* bg = inputImage(f, kInputBackgroundImageKey);
                        const Image* mask = inputImage(f, "inputMaskImage");
                        if (!in || !bg || !mask) return std::nullopt;
                        return makeImage<BlendWithMaskNode>(in->node(), bg->node(), mask->node());
                    }});
}

}  // namespace sorvel::image
