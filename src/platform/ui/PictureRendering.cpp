#include "PictureRendering.h"

#include <algorithm>

namespace sorvel {

std::optional<QImage> renderToQImage(const image::Image& picture, const image::RenderContext& context, int maxSide) {
    image::Rect e = picture.extent();
    if (e.isEmpty() || e.isInfinite()) return std::nullopt;
    image::Image source = picture;
    double longSide = std::max(e.width, e.height);
    if (longSide > maxSide) {
        auto scaled = picture.applyingFilter("CILanczosScaleTransform", {{"inputScale", maxSide / longSide}, {"inputAspectRatio", 1.0}});
        if (scaled) source = *scaled;
    }
    auto bitmap = context.render(source, source.extent(), image::PixelFormat::RGBA8Premultiplied, image::ColorSpace::SRGB);
    if (!bitmap) return std::nullopt;
    QImage view(bitmap->data(), bitmap->width(), bitmap->height(), static_cast<qsizetype>(bitmap->bytesPerRow()),
                QImage::Format_RGBA8888_Premultiplied);
    return view.copy();
}

}  // namespace sorvel
