#include "StillPhotoPipeline.h"

#include <chrono>

#include "app/StillPhotoMath.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/PausePoint.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/image/ImageDestination.h"
#include "platform/image/ImageSource.h"
#include "platform/image/RenderContext.h"

namespace sorvel {

using namespace image;

namespace {

// Sizes print as the platform prints a size: "(4032.0, 3024.0)".
std::string sizeText(const Image& img) {
    auto num = [](double v) {
        std::string s = shortestDecimal(v);
        if (s.find('.') == std::string::npos && s.find('e') == std::string::npos) s += ".0";
        return s;
    };
    Rect e = img.extent();
    return "(" + num(e.width) + ", " + num(e.height) + ")";
}

// Whole numbers print without a fraction ("2016 x 1520").
std::string intText(double v) { return shortestDecimal(v); }

class Stopwatch {
public:
    explicit Stopwatch(double* slot) : slot_(slot), start_(std::chrono::steady_clock::now()) {}
    ~Stopwatch() {
        // Benchmarks read real elapsed time here; nothing in the app's behaviour depends on it.
        if (slot_) *slot_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    double* slot_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace

std::optional<Bytes> scalePhotoResolutionAndConvertToHEIC(const Bytes& photoData, double scale, int orientation,
                                                          bool /*isFrontCamera*/, const StillPhotoHooks& hooks,
                                                          StillPhotoTimings* timings) {
    pausePoint("processing");
    SettingsStore& settings = SettingsStore::standard();
    const float quality = settings.floatForKey("quality_setting_2");
    auto slot = [&](double StillPhotoTimings::*field) { return timings ? &(timings->*field) : nullptr; };

    std::optional<ImageSource> source;
    std::optional<Image> decoded;
    {
        Stopwatch sw(slot(&StillPhotoTimings::decode));
        source = ImageSource::make(photoData);
        if (!source) {
            consolePrint("无法创建图像源");
            return std::nullopt;
        }
        decoded = source->image();
    }
    const Dictionary& properties = source->properties();
    if (properties.empty()) {
        consolePrint("无法获取原始元数据");
        return std::nullopt;
    }
    if (!decoded) {
        consolePrint("无法创建 CIImage");
        return std::nullopt;
    }
    consolePrint("原始图片尺寸: " + sizeText(*decoded));

    const double W = decoded->extent().width, H = decoded->extent().height;
    ScaledPhotoSize size = scaledPhotoSize(W, H, scale);
    consolePrint("计算的新尺寸 (宽度 x 高度): " + intText(std::max(std::floor(W * scale), 2.0)) + " x " +
                 intText(std::max(std::floor(H * scale), 2.0)));
    if (size.roundedToMultipleOf16)
        consolePrint("调整为16的倍数后的新尺寸 (宽度 x 高度): " + intText(size.width) + " x " + intText(size.height));
    consolePrint("调整后的缩放比例: " + shortestDecimal(size.effectiveScale));

    std::optional<Image> scaled;
    {
        Stopwatch sw(slot(&StillPhotoTimings::scale));
        scaled = decoded->applyingFilter("CILanczosScaleTransform", {{"inputScale", size.effectiveScale}, {"inputAspectRatio", 1.0}});
    }
    if (!scaled) {
        consolePrint("无法创建输出图像");
        return std::nullopt;
    }
    consolePrint("缩放后的图像尺寸: " + sizeText(*scaled));
    Image picture = *scaled;

    if (hooks.filter) {
        Stopwatch sw(slot(&StillPhotoTimings::filter));
        if (auto filtered = hooks.filter(picture)) {
            picture = *filtered;
            consolePrint("应用滤镜后的图像尺寸: " + sizeText(picture));
        }
    }

    {
        Stopwatch sw(slot(&StillPhotoTimings::orient));
        bool mirror = settings.boolForKey("setting_5");
        bool selfie = settings.boolForKey("is_selfie_camera");
        picture = picture.oriented(imageOrientationFor(orientation, selfie, mirror));
    }
    consolePrint("应用方向后的图像尺寸: " + sizeText(picture));

    if (hooks.watermark) {
        Stopwatch sw(slot(&StillPhotoTimings::watermark));
        picture = hooks.watermark(picture, properties);
    }
    consolePrint("添加水印后的图像尺寸: " + sizeText(picture));

    RenderContext context;
    Bytes output;
    auto destination = ImageDestination::make(output, kTypeHEIC, 1);
    if (!destination) {
        consolePrint("无法创建图像目标");
        return std::nullopt;
    }
    Dictionary kept;
    for (const char* key : {"{Exif}", "{GPS}"}) {
        auto it = properties.find(key);
        if (it != properties.end()) kept[key] = it->second;
    }
    consolePrint("准备保存的图像尺寸: " + sizeText(picture));
    Dictionary options = {
        {kLossyCompressionQuality, static_cast<double>(quality)},
        {kOptimizeColorForSharing, true},
        {kHasAlpha, false},
        {kColorModel, kColorModelRGB},
        {kProfileName, kColorSpaceDisplayP3},
    };
    std::optional<Bitmap> bitmap;
    {
        Stopwatch sw(slot(&StillPhotoTimings::render));
        bitmap = context.render(picture, picture.extent(), PixelFormat::RGBA8, ColorSpace::DisplayP3);
    }
    if (!bitmap) {
        consolePrint("无法创建 CGImage");
        return std::nullopt;
    }
    // The Exif's pixel size is the saved picture's, not the camera's.
    if (auto exif = kept.find("{Exif}"); exif != kept.end() && exif->second.dictionaryValue()) {
        Dictionary updated = *exif->second.dictionaryValue();
        updated["PixelXDimension"] = Value(bitmap->width());
        updated["PixelYDimension"] = Value(bitmap->height());
        exif->second = Value(std::move(updated));
    }
    for (const auto& [key, value] : kept) options[key] = value;
    destination->addImage(*bitmap, options);
    bool ok;
    pausePoint("encoding");
    {
        Stopwatch sw(slot(&StillPhotoTimings::encode));
        ok = destination->finalize();
    }
    if (!ok) {
        consolePrint("无法完成图像目标");
        return std::nullopt;
    }
    consolePrint("成功保存图片，保存后的图像尺寸为: " + sizeText(picture));
    return output;
}

std::optional<Bytes> heicData(const Bitmap& bitmap, double compressionQuality, const Dictionary& metadata) {
    Bytes output;
    auto destination = ImageDestination::make(output, kTypeHEIC, 1);
    if (!destination) return std::nullopt;
    Dictionary options = {{kLossyCompressionQuality, compressionQuality}};
    for (const auto& [key, value] : metadata) options[key] = value;
    destination->addImage(bitmap, options);
    if (!destination->finalize()) return std::nullopt;
    return output;
}

}  // namespace sorvel
