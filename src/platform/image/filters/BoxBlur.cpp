// "CIBoxBlur": the mean of the (2 floor(r) + 1)^2 square around each pixel, r = inputRadius; the
// picture's edge pixels are repeated outward, and the extent grows by floor(r) on every side
// (the caller crops that margin). Radii below 1 leave the picture as it is.
#include <cmath>

#include "platform/image/FilterKit.h"
#include "platform/image/filters/BoxSums.h"

namespace sorvel::image {
namespace {

class BoxBlurNode final : public Node {
public:
    BoxBlurNode(NodePtr in, int radius)
        : Node({std::move(in)}), radii_{radius}, bounds_(box::bounds(*inputs()[0])),
          extent_(box::grown(inputs()[0]->extent(), radius)) {}

    Rect extent() const override { return extent_; }
    PixelRect regionOfInterest(std::size_t, const PixelRect& out) const override {
        return box::regionOfInterest(out, radii_[0], bounds_);
    }
    void compute(const TileView& out, std::span<const TileView> inputs) const override {
        for (int c = 0; c < 4; ++c) box::blurChannel(inputs[0], c, bounds_, out, c, radii_);
    }

private:
    std::vector<int> radii_;
    PixelRect bounds_;
    Rect extent_;
};

}  // namespace

SORVEL_FILTER(BoxBlur) {
    registerFilter({"CIBoxBlur", "Mean over a square of side 2 inputRadius + 1.", {{"inputRadius", 10.0}},
                    [](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        if (!in) return std::nullopt;
                        const double r = number(f, "inputRadius", 10.0);
                        if (!std::isfinite(r) || r < 0) return std::nullopt;
                        const int radius = int(std::min(std::floor(r), 2000.0));
                        if (radius < 1 || in->isEmpty()) return *in;
                        return makeImage<BoxBlurNode>(in->node(), radius);
                    }});
}

}  // namespace sorvel::image
