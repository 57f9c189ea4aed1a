#pragma once
// Linear float pictures in and out of the image framework, for checking filters value by value.

#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "platform/image/Image.h"
#include "platform/image/RenderContext.h"

namespace sorvel::image::test {

// Straight linear RGBA of pixel (x, y), y counted from the bottom as extents are.
using Rgba = std::array<float, 4>;

// A w x h picture at (0, 0) whose pixel (x, y) has the colour `at(x, y)` (straight, linear).
Image linearImage(int w, int h, const std::function<Rgba(int x, int y)>& at);

// Rendered linear premultiplied floats of `rect`, with pixel access from the bottom-left.
struct LinearPixels {
    int width = 0, height = 0;
    std::vector<float> data;  // rows bottom to top, RGBA
    const float* at(int x, int y) const { return data.data() + (std::size_t(y) * width + x) * 4; }
    // Largest absolute difference of any channel; infinity when the sizes differ.
    float maxDifference(const LinearPixels& o) const;
};
std::optional<LinearPixels> renderLinear(const Image& image, const Rect& rect, RenderOptions options = {});

// A varied opaque test picture: smooth gradients, saturated patches, darks and lights.
Image variedImage(int w, int h);

}  // namespace sorvel::image::test
