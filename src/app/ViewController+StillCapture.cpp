// The normal still: settings for the press, the photo callback, the save into the library.

#include "app/PhotoLibrarySaves.h"
#include "app/StillPhotoMath.h"
#include "app/StillPhotoPipeline.h"
#include "app/ViewController.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/location/GpsMetadata.h"

namespace sorvel {

void ViewController::captureStillPhoto() {
    PhotoSettings settings = PhotoSettings::withFormat(VideoCodec::Hevc);
    settings.isAutoStillImageStabilizationEnabled = false;
    settings.flashMode = static_cast<FlashMode>(captureFlashModeFor(SettingsStore::standard().integerForKey("flash_mode")));
    if (feedbackGenerator1) feedbackGenerator1->impactOccurred();
    flashAnimation();
    if (auto location = currentLocation()) settings.metadata["{GPS}"] = gpsMetadata(*location);
    // Always portrait: the picture is turned upright later, from the orientation at the press.
    if (CaptureConnection* connection = photoOutput->connection(MediaType::Video);
        connection && connection->isVideoOrientationSupported())
        connection->setVideoOrientation(VideoOrientation::Portrait);
    photoOutput->capturePhoto(settings, std::static_pointer_cast<PhotoCaptureDelegate>(shared_from_this()));
    consolePrint("捕捉静态照片。");
}

// Capture callback queue: the whole still is processed here, off the main thread.
void ViewController::didFinishProcessingPhoto(PhotoOutput&, const CapturedPhoto& photo, const CaptureStatus& error) {
    if (error) {
        consolePrint("捕捉静态照片时出错: " + error->description);
        reportOutcome(false, "捕捉静态照片时出错: " + error->description);
        return;
    }
    const auto& data = photo.fileDataRepresentation();
    if (!data) {
        consolePrint("获取静态照片数据失败。");
        reportOutcome(false, "获取静态照片数据失败。");
        return;
    }
    double scale = static_cast<double>(SettingsStore::standard().floatForKey("normal_resolution_scale"));
    int orientation = currentDeviceOrientation.load();
    consolePrint("拍照时的设备方向: " + std::to_string(orientation));

    StillPhotoHooks hooks;
    hooks.filter = [this](const image::Image& picture) { return applyActiveFilter(picture); };
    hooks.watermark = [this](const image::Image& picture, const Dictionary& properties) {
        return addWatermark(picture, properties);
    };
    auto heic = scalePhotoResolutionAndConvertToHEIC(*data, scale, orientation, isUsingFrontCamera(), hooks);
    if (!heic) {
        consolePrint("缩放照片分辨率或转换为HEIC失败。");
        reportOutcome(false, "缩放照片分辨率或转换为HEIC失败。");
        return;
    }
    if (auto preview = image::Image::fromBytes(*heic)) {
        DispatchQueue::main().async(weakly(shared_from_this(), [preview](ViewController& self) {
            self.showPreview(preview, 1.0);
        }));
    }
    saveStillToLibrary(*heic);
}

void ViewController::saveStillToLibrary(const Bytes& heic) const {
    auto report = onCaptureOutcome;
    saveToPhotoLibrary(LibrarySaveKind::Still, {heic}, std::nullopt, std::nullopt,
                       [report](bool success, const std::string& line, const std::string& asset) {
                           if (report) report(CaptureOutcome{success, line, asset});
                       });
}

}  // namespace sorvel
