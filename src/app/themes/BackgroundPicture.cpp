#include "app/themes/BackgroundPicture.h"

#include <algorithm>

#include "platform/image/ImageDestination.h"
#include "platform/image/ImageSource.h"
#include "platform/image/RenderContext.h"

namespace sorvel {

std::optional<Bytes> backgroundPictureJPEG(const Bytes& picked, int orientation, int maxSide) {
    auto source = image::ImageSource::make(picked);
    if (!source) return std::nullopt;
    auto picture = source->image();
    if (!picture) return std::nullopt;
    image::Image upright = picture->oriented(std::clamp(orientation, 1, 8));
    image::Rect e = upright.extent();
    double longSide = std::max(e.width, e.height);
    if (longSide <= 0) return std::nullopt;
    if (longSide > maxSide) {
        auto scaled = upright.applyingFilter("CILanczosScaleTransform",
                                             {{"inputScale", maxSide / longSide}, {"inputAspectRatio", 1.0}});
        if (scaled) upright = *scaled;
    }
    image::RenderContext context;
    auto bitmap = context.render(upright, upright.extent(), image::PixelFormat::RGBA8, image::ColorSpace::SRGB);
    if (!bitmap) return std::nullopt;
    Bytes jpeg;
    auto destination = image::ImageDestination::make(jpeg, image::kTypeJPEG, 1);
    if (!destination) return std::nullopt;
    Dictionary options = {{image::kLossyCompressionQuality, 0.8}};
    destination->addImage(*bitmap, options);
    if (!destination->finalize() || jpeg.empty()) return std::nullopt;
    return jpeg;
}

}  // namespace sorvel
