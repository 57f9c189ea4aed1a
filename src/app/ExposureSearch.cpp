#include "ExposureSearch.h"

#include <cstdio>
#include <cstdlib>

#include "platform/foundation/Console.h"
#include "platform/foundation/Value.h"
#include "platform/image/RenderContext.h"

namespace sorvel {

std::pair<float, float> analyzeImage(const image::Image& picture) {
    image::RenderContext context;
    image::Rect e = picture.extent();
    if (e.isEmpty() || e.isInfinite()) {
        consolePrint("无法创建缩略图");
        return {0.0f, 0.0f};
    }
    // One affine scale to 256 x 256, aspect not kept: the analysis only counts pixels.
    image::Image thumbnail = picture.transformed(image::AffineTransform::scale(256.0 / e.width, 256.0 / e.height));
    auto bitmap = context.render(thumbnail, thumbnail.extent(), image::PixelFormat::RGBA8, image::ColorSpace::SRGB);
    if (!bitmap) {
        consolePrint("无法创建缩略图");
        return {0.0f, 0.0f};
    }
    const int W = bitmap->width(), H = bitmap->height();
    if (!bitmap->data() || bitmap->byteCount() < std::size_t(W) * H * 4) {
        consolePrint("无法访问图像数据");
        return {0.0f, 0.0f};
    }
    const std::uint8_t* p = bitmap->data();
    std::int64_t over = 0, under = 0;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            std::size_t o = (std::size_t(y) * W + x) * 4;
            std::uint8_t r = p[o], g = p[o + 1], b = p[o + 2];
            if (r > 254 && g > 254 && b > 254) ++over;
            if (r < 7 && g < 7 && b < 7) ++under;
        }
    }
    float total = static_cast<float>(W) * static_cast<float>(H);
    return {static_cast<float>(over) / total, static_cast<float>(under) / total};
}

static std::string num(float v) { return shortestDecimal(static_cast<double>(v)); }

// Shortest text of a 32-bit float: -0.9 prints as "-0.90000004" only if the float is not the
// nearest one to -0.9; the float's own shortest form is used, as the platform prints floats.
static std::string floatText(float v) {
    char buf[32];
    for (int precision = 1; precision <= 9; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, static_cast<double>(v));
        // Printed in plain decimals: 50 is "50", never "5e+01".
        if (std::strtof(buf, nullptr) == v) return shortestDecimal(std::strtod(buf, nullptr));
    }
    return num(v);
}

float calculateAdjustedEV(const std::function<std::optional<image::Image>(float ev)>& developAt) {
    float ev = 0.3f;
    for (int i = 1; i <= 3; ++i) {
        auto output = developAt(ev);
        if (!output) {
            consolePrint("无法获取输出图像");
            return ev;
        }
        auto [over, under] = analyzeImage(*output);
        consolePrint("迭代 " + std::to_string(i) + " EV:" + floatText(ev) + " 过曝:" + floatText(over * 100) + "% 欠曝:" +
                     floatText(under * 100) + "%");
        if (under > 0.06f) {
            consolePrint("欠曝超过 7%，停止调整。最终 EV: " + floatText(ev));
            return ev;
        }
        if (over <= 0.01f) {
            consolePrint("找到合适的 EV 值: " + floatText(ev));
            return ev;
        }
        ev = ev - 0.4f;
    }
    consolePrint("达到最大迭代次数，最终 EV: " + floatText(ev));
    return ev;
}

}  // namespace sorvel
