// Which cameras there are, which one is active, the row of switch buttons and swapping the
// session's video input.

#include <algorithm>
#include <variant>

#include "app/CameraButtonLayout.h"
#include "app/themes/ThemeManager.h"
#include "app/ViewController.h"
#include "platform/capture/AudioSession.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/SettingsStore.h"

namespace sorvel {

namespace {
// Front first, then ultra-wide, wide-angle and telephoto.
bool sortsBefore(const CaptureDevice& a, const CaptureDevice& b) {
    if (a.position() == DevicePosition::Front) return true;
    if (b.position() == DevicePosition::Front) return false;
    if (a.deviceType() == DeviceType::BuiltInUltraWideCamera) return true;
    if (b.deviceType() == DeviceType::BuiltInUltraWideCamera) return false;
    if (a.deviceType() == DeviceType::BuiltInWideAngleCamera) return true;
    if (b.deviceType() == DeviceType::BuiltInWideAngleCamera) return false;
    return a.deviceType() == DeviceType::BuiltInTelephotoCamera;
}

bool isBackWideCamera(const CaptureDevice& device) {
    return device.position() == DevicePosition::Back && device.deviceType() == DeviceType::BuiltInWideAngleCamera;
}
}  // namespace

std::vector<std::shared_ptr<CaptureDevice>> ViewController::getAllCameras() const {
    auto cameras = CaptureDevice::discover(
        {DeviceType::BuiltInWideAngleCamera, DeviceType::BuiltInUltraWideCamera, DeviceType::BuiltInTelephotoCamera},
        MediaType::Video, DevicePosition::Unspecified);
    // The comparison is not a strict weak order for two cameras of one kind; a stable insertion
    // keeps the discovery order among equals.
    std::vector<std::shared_ptr<CaptureDevice>> sorted;
    for (auto& camera : cameras) {
        auto at = std::find_if(sorted.begin(), sorted.end(), [&](const auto& other) {
            return sortsBefore(*camera, *other) && !sortsBefore(*other, *camera);
        });
        sorted.insert(at, camera);
    }
    return sorted;
}

ViewController::CameraPosition ViewController::getCurrentCameraPosition() const {
    if (!currentVideoDeviceInput) return CameraPosition::backCamera;
    const CaptureDevice& device = *currentVideoDeviceInput->device();
    if (device.position() == DevicePosition::Front) return CameraPosition::frontCamera;
    if (device.position() == DevicePosition::Back) {
        if (device.deviceType() == DeviceType::BuiltInUltraWideCamera) return CameraPosition::ultraWideCamera;
        if (device.deviceType() == DeviceType::BuiltInTelephotoCamera) return CameraPosition::telephotoCamera;
    }
    return CameraPosition::backCamera;
}

void ViewController::switchToCamera(const std::shared_ptr<CaptureDevice>& device) {
    captureSession->beginConfiguration();
    std::shared_ptr<DeviceInput> previous = currentVideoDeviceInput;
    if (previous) captureSession->removeInput(*previous);

    // A camera that cannot be opened must not leave the preview dead: the previous input goes
    // back into the session and stays the active one.
    auto restorePrevious = [&] {
        if (previous && captureSession->canAddInput(*previous)) captureSession->addInput(previous);
    };
    auto made = DeviceInput::make(device);
    if (std::holds_alternative<CaptureError>(made)) {
        consolePrint("无法切换到摄像头: " + device->localizedName());
        restorePrevious();
        captureSession->commitConfiguration();
        return;
    }
    auto input = std::get<std::shared_ptr<DeviceInput>>(made);
    if (captureSession->canAddInput(*input)) {
        captureSession->addInput(input);
        currentVideoDeviceInput = input;
        SettingsStore& settings = SettingsStore::standard();
        settings.setObject(Value(device->uniqueID()), "current_camera_id");
        bool front = device->position() == DevicePosition::Front;
        settings.setBool(front, "is_selfie_camera");
        consolePrint(std::string("is_selfie_camera摄像头: ") + (front ? "true" : "false"));
        // The filtered live picture comes from unmirrored frames; the preview shows a selfie
        // mirrored, so the overlay must too.
        if (filteredImageView) filteredImageView->setMirroredHorizontally(front);
    } else {
        consolePrint("无法添加新的视频设备输入到会话中");
        restorePrevious();
    }
    photoOutput->setLivePhotoCaptureEnabled(photoOutput->isLivePhotoCaptureSupported());
    captureSession->commitConfiguration();
    consolePrint("切换到摄像头: " + device->localizedName());

    DispatchQueue::main().async(weakly(shared_from_this(), [](ViewController& self) {
        self.refreshSliderRanges();
        self.loadAndApplySavedZoomFactor();
        self.updateZoomFactorLabel();
        self.updateCameraButtonColors();
        if (auto error = AudioSession::shared().setAllowHapticsAndSystemSoundsDuringRecording(true))
            consolePrint("设置触觉反馈和系统声音允许失败: " + error->description);
        if (SettingsStore::standard().boolForKey("setting_9")) {
            NotificationFeedbackGenerator generator;
            generator.prepare();
            generator.notificationOccurred(NotificationFeedback::Success);
        }
    }));
}

void ViewController::setupInitialCamera() {
    auto cameras = getAllCameras();
    if (cameras.empty()) return;
    auto wide = std::find_if(cameras.begin(), cameras.end(), [](const auto& c) { return isBackWideCamera(*c); });
    switchToCamera(wide != cameras.end() ? *wide : cameras.front());
}

namespace {
const QColor kLightGray(170, 170, 170);

QColor withAlpha(QColor colour, double alpha) {
    colour.setAlphaF(static_cast<float>(alpha));
    return colour;
}
}  // namespace

void ViewController::setupCameraSwitchButtons() {
    auto cameras = getAllCameras();
    auto frames = cameraButtonFrames(static_cast<int>(cameras.size()), view()->bounds().size());
    const QColor text = ThemeManager::textColor();
    auto weak = weak_from_this();
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        auto* button = new Button(frames[i], nullptr);
        button->setSymbol(symbolForCameraCategory(cameraCategoryForName(cameras[i]->localizedName())));
        button->setTintColor(withAlpha(text, 0.5));
        button->setBackgroundColor(withAlpha(kLightGray, 0.1));
        button->setCornerRadius(30);
        button->setTag(static_cast<int>(i));
        button->setAccessibilityIdentifier(QString::fromStdString("cameraSwitch." + cameras[i]->uniqueID()));
        button->addAction("switchCamera", [weak, button] {
            if (auto self = weak.lock()) self->switchCamera(button);
        });
        view()->addSubview(button);
        cameraSwitchButtons.push_back(button);
    }
    updateCameraButtonColors();
}

void ViewController::updateCameraButtonColors() {
    auto cameras = getAllCameras();
    const QColor text = ThemeManager::textColor();
    for (std::size_t i = 0; i < cameraSwitchButtons.size(); ++i) {
        Button* button = cameraSwitchButtons[i];
        bool active = i < cameras.size() && currentVideoDeviceInput &&
                      cameras[i]->uniqueID() == currentVideoDeviceInput->device()->uniqueID();
        if (active) {
            button->setTintColor(text);
            button->setBackgroundColor(withAlpha(kLightGray, 0.2));
            button->setBorder(2, text);
        } else {
            button->setTintColor(withAlpha(text, 0.5));
            button->setBackgroundColor(withAlpha(kLightGray, 0.1));
            button->setBorder(0, Qt::transparent);
        }
    }
}

void ViewController::switchCamera(Button* sender) {
    auto cameras = getAllCameras();
    // The row is built once; a camera that has gone since leaves its button without a camera.
    if (!sender || sender->tag() < 0 || static_cast<std::size_t>(sender->tag()) >= cameras.size()) return;
    if (!currentVideoDeviceInput) return;
    const auto& camera = cameras[static_cast<std::size_t>(sender->tag())];
    const auto& active = currentVideoDeviceInput->device();
    if (camera->uniqueID() != active->uniqueID()) {
        applyJellyAnimation(sender);
        switchToCamera(camera);
        return;
    }
    if (camera->position() != DevicePosition::Front) return;
    auto backWide = std::find_if(cameras.begin(), cameras.end(), [](const auto& c) { return isBackWideCamera(*c); });
    if (backWide != cameras.end()) switchToCamera(*backWide);
}

void ViewController::applyJellyAnimation(Button* button) {
    button->addScaleKeyframeAnimation("bounceAnimation", {1.0, 1.05, 1.0}, {0.0, 0.02, 1.0}, 2.0);
}

}  // namespace sorvel
