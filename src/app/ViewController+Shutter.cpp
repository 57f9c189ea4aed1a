// The shutter dispatch: which capture a press means, and the feedback it gives.

#include "app/ViewController.h"
#include "platform/capture/AudioSession.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/SettingsStore.h"

namespace sorvel {

// The steps every shutter takes first: permissions, the deep-mode busy state, and letting
// haptics play while the camera records. False when the press ends here.
bool ViewController::acceptShutterPress() {
    if (!checkPermissions()) {
        reportOutcome(false, "permissions_explanation");
        return false;
    }
    if (isProcessingPhoto) {
        consolePrint("正在拍摄raw,跳过本次拍摄");
        reportOutcome(false, "正在拍摄raw,跳过本次拍摄");
        return false;
    }
    if (auto error = AudioSession::shared().setAllowHapticsAndSystemSoundsDuringRecording(true))
        consolePrint("设置触觉反馈和系统声音允许失败: " + error->description);
    return true;
}

void ViewController::按下拍照按钮() {
    if (!acceptShutterPress()) return;
    if (isFilterUsePhotoEnabled) {
        runFilterTestWithPhoto();
        return;
    }
    SettingsStore& settings = SettingsStore::standard();
    if (settings.boolForKey("innovative_extreme_mode") || settings.boolForKey("setting_0")) {
        if (feedbackGenerator1) feedbackGenerator1->impactOccurred();
        captureRawPhoto();
        return;
    }
    if (!settings.boolForKey("setting_2") || isCapturingLivePhoto.load()) {
        // A press while a Live Photo is still recording takes a plain still, not a second movie.
        captureStillPhoto();
        return;
    }
    captureLivePhoto();
}

void ViewController::按下拍照按钮2() {
    if (!acceptShutterPress()) return;
    if (feedbackGenerator1) feedbackGenerator1->impactOccurred();
    captureRawPhoto();
}

void ViewController::capturePhoto() {
    DispatchQueue::main().async(weakly(shared_from_this(), [](ViewController& self) { self.按下拍照按钮(); }));
}

bool ViewController::isUsingFrontCamera() const {
    return currentVideoDeviceInput && currentVideoDeviceInput->device()->position() == DevicePosition::Front;
}

}  // namespace sorvel
