// "CITemperatureAndTint": chromatic adaptation (Bradford) that carries the white of inputNeutral
// (colour temperature in kelvin, tint) to the white of inputTargetNeutral. A neutral bluer than
// the target warms the picture; equal neutrals are the identity.
#include <array>
#include <cmath>

#include "platform/image/FilterKit.h"
#include "platform/image/filters/PixelMath.h"

namespace sorvel::image {
namespace {

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<double, 9>;

Mat3 multiply(const Mat3& a, const Mat3& b) {
    Mat3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r[i * 3 + j] += a[i * 3 + k] * b[k * 3 + j];
    return r;
}

Vec3 multiply(const Mat3& a, const Vec3& v) {
    return {a[0] * v[0] + a[1] * v[1] + a[2] * v[2], a[3] * v[0] + a[4] * v[1] + a[5] * v[2],
            a[6] * v[0] + a[7] * v[1] + a[8] * v[2]};
}

Mat3 inverse(const Mat3& m) {
    const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                       m[2] * (m[3] * m[7] - m[4] * m[6]);
    const double d = 1.0 / det;
    return {(m[4] * m[8] - m[5] * m[7]) * d, (m[2] * m[7] - m[1] * m[8]) * d, (m[1] * m[5] - m[2] * m[4]) * d,
            (m[5] * m[6] - m[3] * m[8]) * d, (m[0] * m[8] - m[2] * m[6]) * d, (m[2] * m[3] - m[0] * m[5]) * d,
            (m[3] * m[7] - m[4] * m[6]) * d, (m[1] * m[6] - m[0] * m[7]) * d, (m[0] * m[4] - m[1] * m[3]) * d};
}

// Chromaticity of a black body (Kim et al. cubic fit, 1667 K to 25000 K).
std::array<double, 2> planckXY(double t) {
    t = std::clamp(t, 1667.0, 25000.0);
    const double t2 = t * t, t3 = t2 * t;
    const double x = t <= 4000 ? -0.2661239e9 / t3 - 0.2343589e6 / t2 + 0.8776956e3 / t + 0.179910
                               : -3.0258469e9 / t3 + 2.1070379e6 / t2 + 0.2226347e3 / t + 0.240390;
    const double x2 = x * x, x3 = x2 * x;
    const double y = t <= 2222   ? -1.1063814 * x3 - 1.34811020 * x2 + 2.18555832 * x - 0.20219683
                     : t <= 4000 ? -0.9549476 * x3 - 1.37418593 * x2 + 2.09137015 * x - 0.16748867
                                 : 3.0817580 * x3 - 5.87338670 * x2 + 3.75112997 * x - 0.37001483;
    return {x, y};
}

// XYZ (Y = 1) of the white for (temperature, tint): the black body's chromaticity moved off the
// locus along its normal in CIE 1960 uv by tint / 10000 (positive tint: towards magenta).
Vec3 whiteXYZ(double temperature, double tint) {
    auto uv = [](std::array<double, 2> xy) {
        const double d = -2 * xy[0] + 12 * xy[1] + 3;
        return std::array<double, 2>{4 * xy[0] / d, 6 * xy[1] / d};
    };
    const auto p = uv(planckXY(temperature));
    const auto p2 = uv(planckXY(temperature + 10));
    double tu = p2[0] - p[0], tv = p2[1] - p[1];
    const double len = std::hypot(tu, tv);
    double u = p[0], v = p[1];
    if (len > 0) {
        // normal pointing below the locus (towards magenta) for positive tint
        u += tint * 1e-4 * (tv / len);
        v += tint * 1e-4 * (-tu / len);
    }
    const double dd = 2 * u - 8 * v + 4;
    const double x = 3 * u / dd, y = 2 * v / dd;
    return {x / y, 1.0, (1 - x - y) / y};
}

px::Matrix3 adaptation(double t0, double tint0, double t1, double tint1) {
    const Mat3 toXYZ = {0.4124564, 0.3575761, 0.1804375, 0.2126729, 0.7151522,
                        0.0721750, 0.0193339, 0.1191920, 0.9503041};
    const Mat3 bradford = {0.8951, 0.2664, -0.1614, -0.7502, 1.7135, 0.0367, 0.0389, -0.0685, 1.0296};
    const Vec3 src = multiply(bradford, whiteXYZ(t0, tint0));
    const Vec3 dst = multiply(bradford, whiteXYZ(t1, tint1));
    const Mat3 gains = {dst[0] / src[0], 0, 0, 0, dst[1] / src[1], 0, 0, 0, dst[2] / src[2]};
    const Mat3 cone = multiply(inverse(bradford), multiply(gains, bradford));
    const Mat3 m = multiply(inverse(toXYZ), multiply(cone, toXYZ));
    px::Matrix3 r;
    for (int i = 0; i < 9; ++i) r.m[i] = float(m[i]);
    return r;
}

class AdaptationNode final : public PointNode {
public:
    AdaptationNode(NodePtr in, px::Matrix3 m) : PointNode(std::move(in)), m_(m) {}
    Alpha alpha() const override { return Alpha::Premultiplied; }
    void apply(const PixelRun& p) const override { m_.apply(p.r, p.g, p.b, p.count); }

private:
    px::Matrix3 m_;
};

}  // namespace

SORVEL_FILTER(TemperatureAndTint) {
    registerFilter({"CITemperatureAndTint",
                    "Adapts the white of inputNeutral (kelvin, tint) to that of inputTargetNeutral.",
                    {{"inputNeutral", Vector{6500, 0}}, {"inputTargetNeutral", Vector{6500, 0}}},
                    [](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        if (!in) return std::nullopt;
                        auto n = vector(f, "inputNeutral"), t = vector(f, "inputTargetNeutral");
                        if (!n || !t) return std::nullopt;
                        for (int i = 0; i < 2; ++i)
                            if (!std::isfinite((*n)[i]) || !std::isfinite((*t)[i])) return std::nullopt;
                        if ((*n)[0] == (*t)[0] && (*n)[1] == (*t)[1]) return *in;
                        const double tintLimit = 150;
                        px::Matrix3 m = adaptation((*n)[0], std::clamp((*n)[1], -tintLimit, tintLimit), (*t)[0],
                                                   std::clamp((*t)[1], -tintLimit, tintLimit));
                        if (m.isIdentity()) return *in;
                        return makeImage<AdaptationNode>(in->node(), m);
                    }});
}

}  // namespace sorvel::image
