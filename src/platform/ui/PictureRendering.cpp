#include "PictureRendering.h"

#include <algorithm>

namespace sorvel {

namespace {

std::optional<image::Bitmap> renderAtMost(const image::Image& picture, const image::RenderContext& context, int maxSide,
                                          image::PixelFormat format) {
    image::Rect e = picture.extent();
    if (e.isEmpty() || e.isInfinite()) return std::nullopt;
    image::Image source = picture;
    double longSide = std::max(e.width, e.height);
    if (longSide > maxSide) {
        auto scaled = picture.applyingFilter("CILanczosScaleTransform", {{"inputScale", maxSide / longSide}, {"inputAspectRatio", 1.0}});
        if (scaled) source = *scaled;
    }
    return context.render(source, source.extent(), format, image::ColorSpace::SRGB);
}

}  // namespace

std::optional<image::Image> renderReduced(const image::Image& picture, const image::RenderContext& context, int maxSide) {
    auto bitmap = renderAtMost(picture, context, maxSide, image::PixelFormat::RGBA8);
    if (!bitmap) return std::nullopt;
    return image::Image(*bitmap);
}

std::optional<QImage> renderToQImage(const image::Image& picture, const image::RenderContext& context, int maxSide) {
    auto bitmap = renderAtMost(picture, context, maxSide, image::PixelFormat::RGBA8Premultiplied);
    if (!bitmap) return std::nullopt;
    QImage view(bitmap->data(), bitmap->width(), bitmap->height(), static_cast<qsizetype>(bitmap->bytesPerRow()),
                QImage::Format_RGBA8888_Premultiplied);
    return view.copy();
}

}  // namespace sorvel
