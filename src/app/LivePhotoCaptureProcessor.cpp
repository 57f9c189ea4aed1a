#include "LivePhotoCaptureProcessor.h"

#include "app/PhotoLibrarySaves.h"
#include "app/StillPhotoPipeline.h"
#include "app/ViewController.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/SettingsStore.h"

namespace sorvel {

void LivePhotoCaptureProcessor::willBeginCapture(PhotoOutput&, const ResolvedPhotoSettings& settings) {
    const Dimensions& d = settings.livePhotoMovieDimensions;
    livePhotoStatusHandler(d.width > 0 && d.height > 0);
}

void LivePhotoCaptureProcessor::didFinishProcessingPhoto(PhotoOutput&, const CapturedPhoto& photo,
                                                         const CaptureStatus& error) {
    if (error) {
        consolePrint("捕捉实况照片静态图像时出错: " + error->description);
        livePhotoStatusHandler(false);
        if (auto vc = viewController.lock()) vc->reportOutcome(false, "捕捉实况照片静态图像时出错: " + error->description);
        return;
    }
    stillImageData = photo.fileDataRepresentation();
    if (!stillImageData) {
        consolePrint("获取静态图像数据失败。");
        if (auto vc = viewController.lock()) vc->reportOutcome(false, "获取静态图像数据失败。");
        return;
    }
    consolePrint("成功捕捉到静态图像数据。");
    if (isLivePhotoCaptureFailed) {
        stillHandled_ = true;
        saveFilteredPhoto(*stillImageData);
        isLivePhotoCaptureFailed = false;
        showPhotoPreview();
    }
}

void LivePhotoCaptureProcessor::didFinishRecordingLivePhotoMovie(PhotoOutput&, const std::filesystem::path&,
                                                                 const ResolvedPhotoSettings&) {}

void LivePhotoCaptureProcessor::didFinishProcessingLivePhotoMovie(PhotoOutput&, const std::filesystem::path& movieFile,
                                                                  double, double, const ResolvedPhotoSettings&,
                                                                  const CaptureStatus& error) {
    if (error) {
        consolePrint("捕捉实况照片电影文件时出错: " + error->description);
        isLivePhotoCaptureFailed = true;
        livePhotoStatusHandler(false);
        // The still came first and nothing would save it: keep the shot as a still on its own,
        // exactly as when the movie fails before the still.
        if (stillImageData && !stillHandled_) {
            stillHandled_ = true;
            saveFilteredPhoto(*stillImageData);
            isLivePhotoCaptureFailed = false;
            showPhotoPreview();
        }
        return;
    }
    if (!stillImageData) {
        consolePrint("没有可用的静态图像数据。");
        livePhotoStatusHandler(false);
        return;
    }
    saveLivePhotoToPhotosLibrary(*stillImageData, movieFile, currentLocation);
    consolePrint("成功捕捉到实况照片电影文件: " + movieFile.string());
    if (auto vc = viewController.lock()) {
        DispatchQueue::main().async([weak = viewController] {
            if (auto vc = weak.lock()) vc->completeProgressBar();
        });
        showPhotoPreview();
        if (vc->isFilterEnabled()) saveFilteredPhoto(*stillImageData);
    }
    livePhotoStatusHandler(false);
}

void LivePhotoCaptureProcessor::saveLivePhotoToPhotosLibrary(const Bytes& still, const std::filesystem::path& movie,
                                                             const std::optional<Location>& location) {
    auto weak = viewController;
    saveToPhotoLibrary(LibrarySaveKind::LivePhoto, still, movie, location,
                       [weak](bool success, const std::string& line, const std::string& asset) {
                           if (auto vc = weak.lock()) vc->reportOutcome(success, line, asset);
                       });
}

void LivePhotoCaptureProcessor::saveFilteredPhoto(const Bytes& still) {
    auto vc = viewController.lock();
    if (!vc) return;
    bool front = vc->isUsingFrontCamera();
    double scale = static_cast<double>(SettingsStore::standard().floatForKey("normal_resolution_scale"));
    int orientation = vc->currentDeviceOrientation.load();
    StillPhotoHooks hooks;
    hooks.filter = [vc](const image::Image& picture) { return vc->applyActiveFilter(picture); };
    hooks.watermark = [vc](const image::Image& picture, const Dictionary& properties) {
        return vc->addWatermark(picture, properties);
    };
    auto heic = scalePhotoResolutionAndConvertToHEIC(still, scale, orientation, front, hooks);
    if (!heic) {
        consolePrint("滤镜应用或HEIC转换失败");
        vc->reportOutcome(false, "滤镜应用或HEIC转换失败");
        return;
    }
    std::weak_ptr<ViewController> weak = vc;
    saveToPhotoLibrary(LibrarySaveKind::FilteredLivePhotoStill, std::move(*heic), std::nullopt, std::nullopt,
                       [weak](bool success, const std::string& line, const std::string& asset) {
                           if (auto vc = weak.lock()) vc->reportOutcome(success, line, asset);
                       });
}

void LivePhotoCaptureProcessor::showPhotoPreview() {
    auto vc = viewController.lock();
    std::optional<image::Image> picture = stillImageData ? image::Image::fromBytes(*stillImageData) : std::nullopt;
    if (!picture || !vc) {
        consolePrint("无法创建预览图像或视图控制器未设置");
        return;
    }
    DispatchQueue::main().async([weak = viewController, picture] {
        if (auto vc = weak.lock()) vc->showPreview(picture, 1.0);
    });
}

}  // namespace sorvel
