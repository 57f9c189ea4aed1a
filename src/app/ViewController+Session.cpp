// Capture session configuration, permission requests and the permission check of every press.

#include <variant>

#include "app/ViewController.h"
#include "platform/capture/CaptureAuthorization.h"
#include "platform/capture/CaptureDevice.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Localization.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/Alert.h"

namespace sorvel {

void ViewController::configureSession() {
    if (captureSession->isRunning()) captureSession->stopRunning();
    captureSession->beginConfiguration();
    bool configured = true;

    // Every exit after beginConfiguration commits, then starts the session off the main queue
    // or reports that it stays stopped.
    auto finish = [&] {
        captureSession->commitConfiguration();
        if (configured) {
            DispatchQueue::global().async([session = captureSession] {
                session->startRunning();
                consolePrint("捕捉会话开始运行。");
            });
        } else {
            consolePrint("捕捉会话配置失败，未启动。");
        }
    };
    auto fail = [&](const std::string& line) {
        consolePrint(line);
        configured = false;
        finish();
    };

    auto videoDevice = CaptureDevice::defaultDevice(DeviceType::BuiltInWideAngleCamera, MediaType::Video, DevicePosition::Unspecified);
    if (!videoDevice) return fail("无法获取视频设备");
    auto videoInput = DeviceInput::make(videoDevice);
    if (auto* error = std::get_if<CaptureError>(&videoInput)) return fail("创建视频设备输入时出错: " + error->description);
    auto input = std::get<std::shared_ptr<DeviceInput>>(videoInput);
    if (!captureSession->canAddInput(*input)) return fail("无法添加视频设备输入到会话中");
    captureSession->addInput(input);
    currentVideoDeviceInput = input;

    auto audioDevice = CaptureDevice::defaultDevice(MediaType::Audio);
    if (!audioDevice) return fail("无法获取音频设备");
    auto audioInput = DeviceInput::make(audioDevice);
    if (auto* error = std::get_if<CaptureError>(&audioInput)) return fail("创建音频设备输入时出错: " + error->description);
    auto audio = std::get<std::shared_ptr<DeviceInput>>(audioInput);
    if (!captureSession->canAddInput(*audio)) return fail("无法添加音频设备输入到会话中");
    captureSession->addInput(audio);

    if (!captureSession->canAddOutput(*photoOutput)) return fail("无法添加照片输出到会话中");
    captureSession->setSessionPreset(SessionPreset::Photo);
    captureSession->addOutput(photoOutput);
    photoOutput->setHighResolutionCaptureEnabled(true);
    photoOutput->setLivePhotoCaptureEnabled(photoOutput->isLivePhotoCaptureSupported());

    auto frames = std::make_shared<VideoDataOutput>();
    if (!captureSession->canAddOutput(*frames)) return fail("无法添加视频数据输出到会话中");
    captureSession->addOutput(frames);
    videoDataOutput = frames;
    videoDataOutputQueue = DispatchQueue::makeSerial("VideoDataOutputQueue");
    frames->setSampleBufferDelegate(std::static_pointer_cast<VideoFrameDelegate>(shared_from_this()), videoDataOutputQueue);
    finish();
}

void ViewController::requestPermissions() {
    auto weak = weak_from_this();
    auto alertOnMain = [weak](const char* key) {
        DispatchQueue::main().async([weak, key] {
            if (auto self = weak.lock()) self->showAlert(localized(key));
        });
    };
    CaptureAuthorization::requestAccess(MediaType::Video, [alertOnMain](bool granted) {
        if (!granted) alertOnMain("camera_permission_message");
    });
    CaptureAuthorization::requestAccess(MediaType::Audio, [alertOnMain](bool granted) {
        if (!granted) alertOnMain("microphone_permission_message");
    });
    PhotoLibrary::requestAuthorization([alertOnMain](AuthorizationStatus status) {
        if (status != AuthorizationStatus::Authorized) alertOnMain("photo_library_permission_message");
    });
}

void ViewController::showAlert(const std::string& message) {
    auto alert = Alert::make(QString::fromStdString(localized("permission_required")), QString::fromStdString(message));
    alert->addAction(QString::fromStdString(localized("ok")));
    alert->present(view());
}

bool ViewController::checkPermissions() {
    bool all = PhotoLibrary::authorizationStatus() == AuthorizationStatus::Authorized &&
               CaptureAuthorization::authorizationStatus(MediaType::Video) == AuthorizationStatus::Authorized &&
               CaptureAuthorization::authorizationStatus(MediaType::Audio) == AuthorizationStatus::Authorized;
    if (all) return true;
    DispatchQueue::main().async(weakly(shared_from_this(), [](ViewController& self) {
        self.showAlert(localized("permissions_explanation"));
    }));
    return false;
}

}  // namespace sorvel
