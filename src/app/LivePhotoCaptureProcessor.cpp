#include "LivePhotoCaptureProcessor.h"

#include "app/PhotoLibrarySaves.h"
#include "app/StillPhotoPipeline.h"
#include "app/ViewController.h"
#include "app/journal/CaptureJournal.h"
#include "app/journal/PressProcessing.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/PausePoint.h"
#include "platform/foundation/SettingsStore.h"

namespace sorvel {

namespace {

bool pending(const JournalEntry& entry, const char* slot) {
    auto it = entry.required.find(slot);
    return it != entry.required.end() && it->second == SlotState::Pending;
}

}  // namespace

void LivePhotoCaptureProcessor::willBeginCapture(PhotoOutput&, const ResolvedPhotoSettings& settings) {
    const Dimensions& d = settings.livePhotoMovieDimensions;
    livePhotoStatusHandler(d.width > 0 && d.height > 0);
}

void LivePhotoCaptureProcessor::didFinishProcessingPhoto(PhotoOutput&, const CapturedPhoto& photo,
                                                         const CaptureStatus& error) {
    auto journal = CaptureJournal::shared();
    if (error) {
        consolePrint("捕捉实况照片静态图像时出错: " + error->description);
        livePhotoStatusHandler(false);
        if (journal) journal->abandon(*entry);
        if (auto vc = viewController.lock()) vc->reportOutcome(false, "捕捉实况照片静态图像时出错: " + error->description);
        return;
    }
    stillImageData = photo.fileDataRepresentation();
    if (!stillImageData) {
        consolePrint("获取静态图像数据失败。");
        if (journal) journal->abandon(*entry);
        if (auto vc = viewController.lock()) vc->reportOutcome(false, "获取静态图像数据失败。");
        return;
    }
    if (journal)
        if (auto problem = journal->attachPhoto(*entry, *stillImageData))
            consolePrint("无法把照片写入拍摄日志（" + *problem + "）：照片只在内存中处理。");
    pausePoint("live-still-journalled");
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
    auto journal = CaptureJournal::shared();
    // A movie file that is missing or empty is no movie: the shot is kept as a still, as when
    // the camera reports the movie failed.
    std::error_code ec;
    CaptureStatus failure = error;
    if (!failure && (!std::filesystem::is_regular_file(movieFile, ec) || std::filesystem::file_size(movieFile, ec) == 0))
        failure = CaptureError{CaptureErrorCode::MovieFailed, "the movie file " + movieFile.string() + " is missing or empty"};
    if (failure) {
        if (!error) std::filesystem::remove(movieFile, ec);
        consolePrint("捕捉实况照片电影文件时出错: " + failure->description);
        isLivePhotoCaptureFailed = true;
        // The shot is kept as a still on its own, whenever the still arrives.
        if (journal) journal->markMovieFailed(*entry);
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
    std::filesystem::path movie = movieFile;
    if (journal)
        if (auto problem = journal->attachMovie(*entry, movie))
            consolePrint("无法把实况照片的视频写入拍摄日志（" + *problem + "）：它只在原处等待保存。");
    saveLivePhotoToPhotosLibrary(*stillImageData, movie, currentLocation);
    consolePrint("成功捕捉到实况照片电影文件: " + movieFile.string());
    if (auto vc = viewController.lock()) {
        DispatchQueue::main().async([weak = viewController] {
            if (auto vc = weak.lock()) vc->completeProgressBar();
        });
        showPhotoPreview();
    }
    if (pending(*entry, assetSlot::kFiltered)) saveFilteredPhoto(*stillImageData);
    livePhotoStatusHandler(false);
}

bool LivePhotoCaptureProcessor::finishRecovered(const Bytes& still, const std::optional<std::filesystem::path>& movie) {
    stillImageData = still;
    bool processed = true;
    if (movie && pending(*entry, assetSlot::kLivePhoto)) saveLivePhotoToPhotosLibrary(still, *movie, currentLocation);
    if (pending(*entry, assetSlot::kFiltered)) processed = saveFilteredPhoto(still);
    return processed;
}

void LivePhotoCaptureProcessor::saveLivePhotoToPhotosLibrary(const Bytes& still, const std::filesystem::path& movie,
                                                             const std::optional<Location>& location) {
    auto weak = viewController;
    savePressAsset(entry, assetSlot::kLivePhoto, LibrarySaveKind::LivePhoto, still, movie, location,
                   [weak](bool success, const std::string& line, const std::string& asset) {
                       if (auto vc = weak.lock()) vc->reportOutcome(success, line, asset);
                   });
}

bool LivePhotoCaptureProcessor::saveFilteredPhoto(const Bytes& still) {
    auto vc = viewController.lock();  // none in a recovery after a restart
    PressSettingsScope pressSettings(*entry);
    double scale = static_cast<double>(SettingsStore::standard().floatForKey("normal_resolution_scale"));
    auto heic = scalePhotoResolutionAndConvertToHEIC(still, scale, entry->orientation, entry->frontCamera, pressHooks(*entry));
    if (!heic) {
        consolePrint("滤镜应用或HEIC转换失败");
        if (vc) {
            dropPressSlot(entry, assetSlot::kFiltered);
            vc->reportOutcome(false, "滤镜应用或HEIC转换失败");
        }
        return false;
    }
    std::weak_ptr<ViewController> weak = vc;
    savePressAsset(entry, assetSlot::kFiltered, LibrarySaveKind::FilteredLivePhotoStill, std::move(*heic), std::nullopt,
                   std::nullopt, [weak](bool success, const std::string& line, const std::string& asset) {
                       if (auto vc = weak.lock()) vc->reportOutcome(success, line, asset);
                   });
    return true;
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
