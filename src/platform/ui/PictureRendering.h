#pragma once
// Turning image-framework pictures into something the screen can draw.

#include <QImage>
#include <optional>

#include "platform/image/Image.h"
#include "platform/image/RenderContext.h"

namespace sorvel {

// Renders `picture` (its whole extent) to an 8-bit sRGB QImage no larger than `maxSide` pixels
// on its long side (scaled down with the Lanczos filter first when larger). Any thread.
std::optional<QImage> renderToQImage(const image::Image& picture, const image::RenderContext& context, int maxSide);

}  // namespace sorvel
