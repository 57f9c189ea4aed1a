// The Live Photo press: settings with a movie file, the connection's orientation and
// mirroring, and a processor that lives until the next Live Photo press.

#include "app/LivePhotoCaptureProcessor.h"
#include "app/StillPhotoMath.h"
#include "app/ViewController.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/foundation/Uuid.h"

namespace sorvel {

void ViewController::captureLivePhoto() {
    SettingsStore& settings = SettingsStore::standard();
    std::int64_t flash = settings.integerForKey("flash_mode");
    PhotoSettings photoSettings = PhotoSettings::withFormat(VideoCodec::Hevc);
    std::error_code ec;
    std::filesystem::path movie = std::filesystem::temp_directory_path(ec) / (makeUuid() + ".mov");
    photoSettings.livePhotoMovieFileURL = movie;
    photoSettings.isAutoStillImageStabilizationEnabled = false;
    photoSettings.flashMode = static_cast<FlashMode>(captureFlashModeFor(flash));
    consolePrint("实况照片电影文件URL: " + movie.string());

    bool mirror = settings.boolForKey("setting_5");
    bool selfie = settings.boolForKey("is_selfie_camera");
    if (CaptureConnection* connection = photoOutput->connection(MediaType::Video)) {
        if (connection->isVideoOrientationSupported()) {
            int o = currentDeviceOrientation.load();
            connection->setVideoOrientation(o >= 1 && o <= 4 ? static_cast<VideoOrientation>(o) : VideoOrientation::Portrait);
        }
        connection->setVideoMirrored(selfie && mirror);
    }

    auto processor = std::make_shared<LivePhotoCaptureProcessor>();
    processor->viewController = weak_from_this();
    processor->livePhotoStatusHandler = [weak = weak_from_this()](bool capturing) {
        if (auto self = weak.lock()) self->isCapturingLivePhoto.store(capturing);
    };
    processor->currentLocation = currentLocation();
    // In the journal and with the camera before the haptic and the blink acknowledge the press.
    processor->entry = journalPress(CaptureKind::LivePhoto);
    photoSettings.captureIdentifier = processor->entry->identifier;
    livePhotoCaptureProcessor = processor;
    photoOutput->capturePhoto(photoSettings, processor);
    if (feedbackGenerator1) feedbackGenerator1->impactOccurred();
    flashAnimation();
    consolePrint("调用捕捉照片。");
}

}  // namespace sorvel
