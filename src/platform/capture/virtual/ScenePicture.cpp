// A user's picture as the scene (--scene FILE), decoded by the image framework.

#include "platform/capture/virtual/VirtualRig.h"

#include <cstring>

#include "platform/foundation/Files.h"
#include "platform/image/ImageSource.h"
#include "platform/image/RenderContext.h"

namespace sorvel {

namespace {
constexpr std::int64_t kMaxScenePixels = 64'000'000;
}

std::variant<std::shared_ptr<const Scene>, std::string> VirtualRig::scenePicture(const std::string& path) {
    auto bytes = readFile(path, std::uintmax_t(1) << 30);
    if (!bytes) return "cannot read scene picture " + path;
    auto source = image::ImageSource::make(*bytes);
    if (!source) return path + ": not a picture the scene can use (HEIC, JPEG or PNG)";
    // The scene is rendered in float; a bigger picture would only cost memory, never detail
    // the 12-megapixel sensors could use.
    if (static_cast<std::int64_t>(source->width()) * source->height() > kMaxScenePixels)
        return path + ": the picture is larger than 64 megapixels; scale it down to use it as the scene";
    auto picture = source->image();
    if (!picture) return path + ": the picture cannot be decoded";
    image::Image upright = picture->oriented(source->orientation());
    auto extent = upright.extent();
    // Rendered in linear light, which is what the sensor model integrates.
    auto bitmap = image::RenderContext().render(upright, extent, image::PixelFormat::RGBAFloat,
                                                image::ColorSpace::LinearSRGB);
    if (!bitmap) return path + ": the picture is too large for a scene";
    int w = bitmap->width(), h = bitmap->height();
    std::vector<float> rgb(static_cast<std::size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        const float* row = reinterpret_cast<const float*>(bitmap->row(y));
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) rgb[(static_cast<std::size_t>(y) * w + x) * 3 + c] = row[4 * x + c];
    }
    auto scene = Scene::fromPicture(w, h, std::move(rgb));
    if (!scene) return path + ": the picture's size cannot be used";
    return scene;
}

std::optional<std::string> VirtualRig::loadScenePicture(const std::string& path) {
    auto scene = scenePicture(path);
    if (auto* message = std::get_if<std::string>(&scene)) return *message;
    setScene(std::get<std::shared_ptr<const Scene>>(scene));
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    std::lock_guard lock(mutex_);
    sceneName_ = "picture:" + (ec ? path : absolute.string());
    return std::nullopt;
}

}  // namespace sorvel
