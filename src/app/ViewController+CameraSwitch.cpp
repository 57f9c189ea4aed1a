// Which cameras there are, which one is active, and swapping the session's video input.

#include <algorithm>
#include <variant>

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
    } else {
        consolePrint("无法添加新的视频设备输入到会话中");
        restorePrevious();
    }
    photoOutput->setLivePhotoCaptureEnabled(photoOutput->isLivePhotoCaptureSupported());
    captureSession->commitConfiguration();
    consolePrint("切换到摄像头: " + device->localizedName());

    DispatchQueue::main().async(weakly(shared_from_this(), [](ViewController& self) {
        if (auto error = AudioSession::shared().setAllowHapticsAndSystemSoundsDuringRecording(true))
            consolePrint("设置触觉反馈和系统声音允许失败: " + error->description);
        if (SettingsStore::standard().boolForKey("setting_9")) {
            NotificationFeedbackGenerator generator;
            generator.prepare();
            generator.notificationOccurred(NotificationFeedback::Success);
        }
        (void)self;
    }));
}

void ViewController::setupInitialCamera() {
    auto cameras = getAllCameras();
    if (cameras.empty()) return;
    auto wide = std::find_if(cameras.begin(), cameras.end(), [](const auto& c) {
        return c->position() == DevicePosition::Back && c->deviceType() == DeviceType::BuiltInWideAngleCamera;
    });
    switchToCamera(wide != cameras.end() ? *wide : cameras.front());
}

}  // namespace sorvel
