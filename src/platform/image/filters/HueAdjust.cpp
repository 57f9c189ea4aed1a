// "CIHueAdjust": turns every colour's hue by inputAngle radians around the grey axis with a
// matrix that keeps luminance; a whole turn is the identity.
#include <cmath>

#include "platform/image/FilterKit.h"
#include "platform/image/filters/PixelMath.h"

namespace sorvel::image {
namespace {

px::Matrix3 hueRotation(double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    const double wr = px::kLumaR, wg = px::kLumaG, wb = px::kLumaB;
    // Rotation in the chroma plane orthogonal to the luminance direction: luminance is the
    // fixed row sum, the chroma components turn by the angle.
    const double m[9] = {wr + c * (1 - wr) - s * wr,    wg - c * wg - s * wg,       wb - c * wb + s * (1 - wb),
                         wr - c * wr + s * 0.143,       wg + c * (1 - wg) + s * 0.140, wb - c * wb - s * 0.283,
                         wr - c * wr - s * (1 - wr),    wg - c * wg + s * wg,       wb + c * (1 - wb) + s * wb};
    px::Matrix3 r;
    for (int i = 0; i < 9; ++i) r.m[i] = float(m[i]);
    return r;
}

class HueNode final : public PointNode {
public:
    HueNode(NodePtr in, px::Matrix3 m) : PointNode(std::move(in)), m_(m) {}
    Alpha alpha() const override { return Alpha::Premultiplied; }
    void apply(const PixelRun& p) const override { m_.apply(p.r, p.g, p.b, p.count); }

private:
    px::Matrix3 m_;
};

}  // namespace

SORVEL_FILTER(HueAdjust) {
    registerFilter({"CIHueAdjust", "Rotates hue by inputAngle radians, keeping luminance.", {{"inputAngle", 0.0}},
                    [](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        if (!in) return std::nullopt;
                        const double angle = number(f, "inputAngle");
                        if (!std::isfinite(angle)) return std::nullopt;
                        if (angle == 0.0) return *in;
                        return makeImage<HueNode>(in->node(), hueRotation(angle));
                    }});
}

}  // namespace sorvel::image
