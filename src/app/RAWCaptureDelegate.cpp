#include "RAWCaptureDelegate.h"

#include <algorithm>
#include <chrono>

#include "app/ExposureSearch.h"
#include "app/PhotoLibrarySaves.h"
#include "app/StillPhotoPipeline.h"
#include "app/ViewController.h"
#include "app/journal/CaptureJournal.h"
#include "app/journal/PressProcessing.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/PausePoint.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/image/ImageSource.h"
#include "platform/image/RenderContext.h"
#include "platform/image/raw/RawFilter.h"

namespace sorvel {

namespace {

double secondsNow() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// Adds the time of its scope to a slot of the delegate's timings.
class Stopwatch {
public:
    explicit Stopwatch(double& slot) : slot_(slot), start_(secondsNow()) {}
    ~Stopwatch() { slot_ += secondsNow() - start_; }

private:
    double& slot_;
    double start_;
};

}  // namespace

std::string deepSaveFormat() {
    SettingsStore& settings = SettingsStore::standard();
    if (settings.boolForKey("innovative_extreme_mode")) return "HEIC";
    auto stored = settings.stringForKey("save_format");
    // An unknown text would otherwise save nothing at all: it counts as absent.
    if (!stored || (*stored != "RAW" && *stored != "HEIC" && *stored != "RAW+HEIC")) return "RAW+HEIC";
    return *stored;
}

void RAWCaptureDelegate::didFinishProcessingPhoto(PhotoOutput&, const CapturedPhoto& photo, const CaptureStatus& error) {
    if (error) {
        consolePrint("捕捉照片时出错: " + error->description);
        return;
    }
    const auto& data = photo.fileDataRepresentation();
    if (!data) {
        consolePrint("没有可写入的照片数据。");
        return;
    }
    if (!photo.isRawPhoto) return;
    rawData = *data;
    if (auto journal = CaptureJournal::shared())
        if (auto problem = journal->attachPhoto(*entry, *rawData))
            consolePrint("无法把照片写入拍摄日志（" + *problem + "）：照片只在内存中处理。");
}

void RAWCaptureDelegate::didFinishCapture(PhotoOutput&, const ResolvedPhotoSettings&, const CaptureStatus& error) {
    auto vc = viewController.lock();
    auto journal = CaptureJournal::shared();
    if (error) {
        consolePrint("捕捉照片时出错: " + error->description);
        if (journal) journal->abandon(*entry);
        if (vc) vc->reportOutcome(false, "捕捉照片时出错: " + error->description);
        finishCapture();
        return;
    }
    if (!rawData) {
        consolePrint("预期的RAW照片数据不可用。");
        if (journal) journal->abandon(*entry);
        if (vc) vc->reportOutcome(false, "预期的RAW照片数据不可用。");
        finishCapture();
        return;
    }
    develop();

    std::optional<image::Image> preview;
    if (heicData) preview = image::Image::fromBytes(*heicData);
    if (!preview) {
        // The DNG's own picture when no HEIC was made: developed at a tenth of the size, which is
        // all a preview card shows.
        if (auto raw = image::RawFilter::make(*rawData, {})) {
            raw->setValue("inputScaleFactor", 0.1);
            preview = raw->outputImage();
        }
    }
    if (preview) {
        DispatchQueue::main().async([weak = viewController, preview] {
            if (auto vc = weak.lock()) vc->showPreview(preview, 1.0);
        });
    }
    finishCapture();
}

bool RAWCaptureDelegate::develop() {
    pausePoint("deep-develop");
    PressSettingsScope pressSettings(*entry);
    std::string format = deepSaveFormat();
    bool developed = true;
    if (format == "RAW" || format == "RAW+HEIC") saveRawToPhotoLibrary(*rawData);
    if (format == "HEIC" || format == "RAW+HEIC") developed = convertRawToHEICAndSave(*rawData);
    return developed;
}

void RAWCaptureDelegate::finishCapture() {
    if (endCaptureAnimation) DispatchQueue::main().async(endCaptureAnimation);
    if (didFinish) didFinish();
}

void RAWCaptureDelegate::saveRawToPhotoLibrary(const Bytes& raw) {
    savePressAsset(entry, assetSlot::kRaw, LibrarySaveKind::DeepRaw, raw, std::nullopt, currentLocation,
                   [weak = viewController](bool success, const std::string& line, const std::string& asset) {
                       if (auto vc = weak.lock()) vc->reportOutcome(success, line, asset);
                   });
}

bool RAWCaptureDelegate::convertRawToHEICAndSave(const Bytes& raw) {
    using namespace image;
    auto fail = [this](const std::string& line) {
        consolePrint(line);
        // A recovery (no controller) keeps the whole entry aside instead.
        if (auto vc = viewController.lock()) {
            dropPressSlot(entry, assetSlot::kHeic);
            vc->reportOutcome(false, line);
        }
        return false;
    };
    timings = {};
    RenderContext context;
    std::unique_ptr<RawFilter> developer;
    {
        Stopwatch sw(timings.open);
        developer = RawFilter::make(raw, {});
    }
    if (!developer) return fail("无法创建RAW滤镜");
    auto source = ImageSource::make(raw);
    if (!source) return fail("无法获取原始元数据");
    Dictionary metadata;
    if (auto exif = source->properties().find("{Exif}"); exif != source->properties().end()) metadata["{Exif}"] = exif->second;

    SettingsStore& settings = SettingsStore::standard();
    const bool extreme = settings.boolForKey("innovative_extreme_mode");
    development = {};
    auto set = [&](const char* key, double value) {
        developer->setValue(key, value);
        development.options[key] = value;
    };
    if (!extreme) {
        float ev = -0.6f;
        if (settings.boolForKey("setting_4")) {
            // A try is its read and its analysis, so it lasts from one read to the next.
            double tryStart = 0, decodedBefore = 0;
            auto endTry = [&] {
                const double decoded = developer->workCounts().decodeSeconds;
                timings.searchTries.push_back(secondsNow() - tryStart - (decoded - decodedBefore));
                decodedBefore = decoded;
            };
            // Each try reads the developer's reduced copy (1/8 of the sensor's size, made once):
            // the analysis looks at a 256 x 256 rendition, so the full picture would only be
            // resampled down, at many times the cost of a try.
            ev = calculateAdjustedEV([&](float tryEV) {
                if (tryStart != 0) endTry();
                tryStart = secondsNow();
                developer->setValue("inputEV", static_cast<double>(tryEV));
                return developer->reducedOutputImage();
            });
            if (tryStart != 0) endTry();
        }
        set("inputEV", static_cast<double>(ev));
    }
    const double scale = extreme ? 0.341333 : static_cast<double>(std::clamp(settings.floatForKey("heic_resolution_scale"), 0.01f, 1.0f));
    set("inputEnableSharpening", 0.0);
    set("inputNoiseReductionAmount", extreme ? 0.0 : 1.0);
    set("inputColorNoiseReductionAmount", extreme ? 0.0 : 0.9);
    set("inputLuminanceNoiseReductionAmount", extreme ? 0.0 : 0.8);
    set("inputNoiseReductionSharpnessAmount", 0.0);
    set("inputScaleFactor", scale);
    set("inputLocalToneMapAmount", 0.0);
    set("inputBoost", 0.0);
    set("inputBoostShadowAmount", 0.0);

    std::optional<Image> output;
    const double decodedBefore = developer->workCounts().decodeSeconds;
    {
        Stopwatch sw(timings.develop);
        output = developer->outputImage();
    }
    timings.decode = developer->workCounts().decodeSeconds;
    timings.develop -= timings.decode - decodedBefore;
    if (!output) return fail("无法获取输出图像");
    Image picture = *output;

    shouldMirrorImage = settings.boolForKey("is_selfie_camera") && settings.boolForKey("setting_5");
    if (shouldMirrorImage) {
        picture = picture.transformed(AffineTransform::scale(-1, 1));
        consolePrint("自拍照片已镜像");
    }
    if (!extreme) {
        if (settings.boolForKey("setting_11")) {
            Stopwatch sw(timings.boost);
            if (auto boosted = picture.applyingFilter("CIColorControls", {{"inputContrast", 1.015}, {"inputSaturation", 1.08}})) {
                picture = *boosted;
                development.colourBoosted = true;
            }
        }
        {
            Stopwatch sw(timings.filter);
            if (auto filtered = applyPressFilter(*entry, picture)) picture = *filtered;
        }
        Stopwatch sw(timings.watermark);
        picture = applyPressWatermark(*entry, picture, metadata, shouldMirrorImage);
    }
    std::optional<Bitmap> bitmap;
    {
        Stopwatch sw(timings.render);
        bitmap = context.render(picture, picture.extent(), PixelFormat::RGBAHalf, ColorSpace::DisplayP3);
    }
    if (!bitmap) return fail("无法创建调整后的CGImage");
    double quality = extreme ? 0.3 : static_cast<double>(settings.floatForKey("quality_setting"));
    development.quality = quality;
    std::optional<Bytes> heic;
    {
        Stopwatch sw(timings.encode);
        heic = sorvel::heicData(*bitmap, quality, metadata);
    }
    if (!heic) return fail("无法转换为HEIC格式");
    heicData = *heic;
    savePressAsset(entry, assetSlot::kHeic, LibrarySaveKind::DeepHeic, *heic, std::nullopt, currentLocation,
                   [weak = viewController](bool success, const std::string& line, const std::string& asset) {
                       if (auto vc = weak.lock()) vc->reportOutcome(success, line, asset);
                   });
    return true;
}

}  // namespace sorvel
