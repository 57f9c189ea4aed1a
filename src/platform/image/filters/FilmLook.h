#pragma once
// The film looks ("CIPhotoEffect..."): a colour matrix on linear light followed by one tone curve
// per channel drawn on sRGB-encoded values. Each look file only describes its matrix and curves.

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/image/FilterKit.h"
#include "platform/image/filters/PixelMath.h"

namespace sorvel::image::look {

// Curve pieces on encoded values in [0, 1].
// Contrast S around mid-grey: k = 0 identity, 1 a full smoothstep, negative flattens.
inline double sCurve(double e, double k) { return e + k * (e * e * (3 - 2 * e) - e); }
// Black and white points: 0 -> black, 1 -> white.
inline double levels(double e, double black, double white) { return black + e * (white - black); }
inline double clamp01(double e) { return std::clamp(e, 0.0, 1.0); }

struct Recipe {
    px::Matrix3 matrix;
    std::function<double(double)> red, green, blue;  // encoded value -> encoded value
};

// The look's matrix and its curves tabulated on linear light; built once per look.
struct Tables {
    px::Matrix3 matrix;
    std::array<px::ToneTable, 3> curves;

    explicit Tables(const Recipe& recipe) : matrix(recipe.matrix) {
        auto table = [](const std::function<double(double)>& curve) {
            return px::ToneTable([&](double l) { return px::srgbDecode(curve(px::srgbEncode(l))); });
        };
        curves = {table(recipe.red), table(recipe.green), table(recipe.blue)};
    }
};

class LookNode final : public PointNode {
public:
    LookNode(NodePtr in, std::shared_ptr<const Tables> tables) : PointNode(std::move(in)), t_(std::move(tables)) {}

    void apply(const PixelRun& p) const override {
        t_->matrix.apply(p.r, p.g, p.b, p.count);
        t_->curves[0].apply(p.r, p.count);
        t_->curves[1].apply(p.g, p.count);
        t_->curves[2].apply(p.b, p.count);
    }

private:
    std::shared_ptr<const Tables> t_;
};

inline void registerLook(const char* name, const char* summary, const Recipe& recipe) {
    auto tables = std::make_shared<const Tables>(recipe);
    registerFilter({name, summary, {}, [tables](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        if (!in) return std::nullopt;
                        return makeImage<LookNode>(in->node(), tables);
                    }});
}

// A monochrome matrix: every output channel is the weighted sum (weights add up to 1).
inline px::Matrix3 mono(float wr, float wg, float wb) { return {{wr, wg, wb, wr, wg, wb, wr, wg, wb}}; }

}  // namespace sorvel::image::look
