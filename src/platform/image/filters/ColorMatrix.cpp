// "CIColorMatrix": straight colour (r, g, b, a) -> (R.v, G.v, B.v, A.v) + Bias, per pixel.
#include "platform/image/FilterKit.h"
#include "platform/image/WideVectors.h"

namespace sorvel::image {
namespace {

SORVEL_WIDE_VECTORS void multiply(const PixelRun& p, const float* m) {
    for (std::size_t i = 0; i < p.count; ++i) {
        float r = p.r[i], g = p.g[i], b = p.b[i], a = p.a[i];
        p.r[i] = m[0] * r + m[1] * g + m[2] * b + m[3] * a + m[16];
        p.g[i] = m[4] * r + m[5] * g + m[6] * b + m[7] * a + m[17];
        p.b[i] = m[8] * r + m[9] * g + m[10] * b + m[11] * a + m[18];
        p.a[i] = std::clamp(m[12] * r + m[13] * g + m[14] * b + m[15] * a + m[19], 0.0f, 1.0f);
    }
}

class ColorMatrixNode final : public PointNode {
public:
    ColorMatrixNode(NodePtr in, const float (&m)[20]) : PointNode(std::move(in)) {
        std::copy(std::begin(m), std::end(m), m_);
    }

    void apply(const PixelRun& p) const override { multiply(p, m_); }

private:
    float m_[20];
};

}  // namespace

SORVEL_FILTER(ColorMatrix) {
    registerFilter({"CIColorMatrix", "Each output channel is a dot product of the input with a vector, plus a bias.",
                    {{"inputRVector", Vector{1, 0, 0, 0}},
                     {"inputGVector", Vector{0, 1, 0, 0}},
                     {"inputBVector", Vector{0, 0, 1, 0}},
                     {"inputAVector", Vector{0, 0, 0, 1}},
                     {"inputBiasVector", Vector{0, 0, 0, 0}}},
                    [](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        if (!in) return std::nullopt;
                        float m[20];
                        const char* keys[5] = {"inputRVector", "inputGVector", "inputBVector",
                                               "inputAVector", "inputBiasVector"};
                        for (int k = 0; k < 5; ++k) {
                            auto v = vector(f, keys[k]);
                            if (!v) return std::nullopt;
                            for (int i = 0; i < 4; ++i) m[k * 4 + i] = float((*v)[i]);
                        }
                        return makeImage<ColorMatrixNode>(in->node(), m);
                    }});
}

}  // namespace sorvel::image
