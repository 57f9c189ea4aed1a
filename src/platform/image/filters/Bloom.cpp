// "CIBloom": a soft glow. The picture is blurred by three box passes whose reach adds up to
// ceil(3 inputRadius) (close to a Gaussian of deviation inputRadius), the blur is scaled by
// inputIntensity and screened over the picture: out = in + glow (1 - min(in, 1)), channel by
// channel, alpha too. The extent grows by the blur's reach (the caller crops that margin).
#include <cmath>

#include "platform/image/FilterKit.h"
#include "platform/image/filters/BoxSums.h"

namespace sorvel::image {
namespace {

std::vector<int> passesFor(int reach) {
    std::vector<int> radii;
    for (int i = 0; i < 3; ++i) {
        const int r = reach / 3 + (i < reach % 3 ? 1 : 0);
        if (r > 0) radii.push_back(r);
    }
    return radii;
}

class BloomNode final : public Node {
public:
    BloomNode(NodePtr in, int reach, float intensity)
        : Node({std::move(in)}), radii_(passesFor(reach)), reach_(reach), intensity_(intensity),
          bounds_(box::bounds(*inputs()[0])), extent_(box::grown(inputs()[0]->extent(), reach)) {}

    Rect extent() const override { return extent_; }
    PixelRect regionOfInterest(std::size_t, const PixelRect& out) const override {
        return box::regionOfInterest(out, reach_, bounds_).intersection(bounds_);
    }

    void compute(const TileView& out, std::span<const TileView> inputs) const override {
        const TileView& in = inputs[0];
        const std::size_t n = std::size_t(out.rect.width);
        const PixelRect inside = out.rect.intersection(bounds_);
        for (int c = 0; c < 4; ++c) {
            box::blurChannel(in, c, bounds_, out, c, radii_);
            for (std::int64_t y = out.rect.y; y < out.rect.maxY(); ++y) {
                float* dst = out.row(c, y);
                for (std::size_t i = 0; i < n; ++i) dst[i] *= intensity_;
                if (y < inside.y || y >= inside.maxY() || inside.isEmpty()) continue;
                // Inside the picture the glow is screened over it; the margin holds glow only.
                const float* src = in.row(c, y);
                for (std::int64_t x = inside.x; x < inside.maxX(); ++x) {
                    const float v = src[x - in.rect.x];
                    float& d = dst[x - out.rect.x];
                    d = v + d * (1.0f - std::clamp(v, 0.0f, 1.0f));
                }
            }
        }
    }

private:
    std::vector<int> radii_;
    int reach_;
    float intensity_;
    PixelRect bounds_;
    Rect extent_;
};

}  // namespace

SORVEL_FILTER(Bloom) {
    registerFilter({"CIBloom", "Screens a blur of reach 3 inputRadius, scaled by inputIntensity, over the picture.",
                    {{"inputRadius", 10.0}, {"inputIntensity", 0.5}},
                    [](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        if (!in) return std::nullopt;
                        const double r = number(f, "inputRadius", 10.0), k = number(f, "inputIntensity", 0.5);
                        if (!std::isfinite(r) || !std::isfinite(k) || r < 0) return std::nullopt;
                        const int reach = int(std::ceil(std::min(3.0 * r, 6000.0)));
                        if (reach < 1 || in->isEmpty()) return *in;
                        return makeImage<BloomNode>(in->node(), reach, float(std::clamp(k, -16.0, 16.0)));
                    }});
}

}  // namespace sorvel::image
