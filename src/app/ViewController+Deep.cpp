// The deep-mode press: a Bayer RAW capture with its own delegate, the screen dimmed until the
// development has finished.

#include "app/RAWCaptureDelegate.h"
#include "app/StillPhotoMath.h"
#include "app/ViewController.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/ui/Alert.h"

namespace sorvel {

void ViewController::captureRawPhoto() {
    if (!checkPermissions()) {
        reportOutcome(false, "permissions_explanation");
        return;
    }
    std::optional<std::uint32_t> format;
    for (std::uint32_t f : photoOutput->availableRawPhotoPixelFormatTypes()) {
        if (PhotoOutput::isBayerRawPixelFormat(f)) {
            format = f;
            break;
        }
    }
    if (!format) {
        startCaptureAnimation();
        consolePrint("没有找到可用的Bayer RAW格式。");
        auto weak = weak_from_this();
        DispatchQueue::main().async([weak] {
            if (auto self = weak.lock()) self->endCaptureAnimation();
        });
        DispatchQueue::main().async([weak] {
            auto self = weak.lock();
            if (!self) return;
            auto text = [](const char* key) { return QString::fromStdString(localized(key)); };
            auto alert = Alert::make(text("当前的摄像头无法使用深度Sorvel模式"), text("可尝试其他摄像头"));
            alert->addAction(text("确定"));
            alert->present(self->view());
        });
        reportOutcome(false, "没有找到可用的Bayer RAW格式。");
        return;
    }
    PhotoSettings settings = PhotoSettings::withRawPixelFormat(*format);
    settings.flashMode = static_cast<FlashMode>(captureFlashModeFor(SettingsStore::standard().integerForKey("flash_mode")));
    if (CaptureConnection* connection = photoOutput->connection(MediaType::Video);
        connection && connection->isVideoOrientationSupported()) {
        int o = currentDeviceOrientation.load();
        connection->setVideoOrientation(o >= 1 && o <= 4 ? static_cast<VideoOrientation>(o) : VideoOrientation::Portrait);
    }

    auto delegate = std::make_shared<RAWCaptureDelegate>();
    delegate->viewController = weak_from_this();
    delegate->currentLocation = currentLocation();
    delegate->entry = journalPress(CaptureKind::Deep);
    settings.captureIdentifier = delegate->entry->identifier;
    const std::int64_t id = settings.uniqueID();
    auto weak = weak_from_this();
    delegate->didFinish = [weak, id] {
        if (auto self = weak.lock()) self->removeRawCaptureDelegate(id);
    };
    delegate->endCaptureAnimation = [weak] {
        if (auto self = weak.lock()) self->endCaptureAnimation();
    };
    {
        std::lock_guard lock(rawDelegatesMutex_);
        rawCaptureDelegates[id] = delegate;
    }
    photoOutput->capturePhoto(settings, delegate);
    // The dimming acknowledges the press once it is in the journal and with the camera.
    startCaptureAnimation();
}

void ViewController::removeRawCaptureDelegate(std::int64_t id) {
    std::lock_guard lock(rawDelegatesMutex_);
    rawCaptureDelegates.erase(id);
}

std::size_t ViewController::rawCaptureDelegateCount() const {
    std::lock_guard lock(rawDelegatesMutex_);
    return rawCaptureDelegates.size();
}

bool ViewController::isDevelopingMirroredDeepPicture() const {
    std::lock_guard lock(rawDelegatesMutex_);
    return !rawCaptureDelegates.empty() && rawCaptureDelegates.begin()->second->shouldMirrorImage.load();
}

}  // namespace sorvel
