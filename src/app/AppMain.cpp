#include "AppMain.h"

#include <QApplication>
#include <QIcon>
#include <memory>

#include "app/AppEnvironment.h"
#include "app/ViewController.h"
#include "app/journal/CaptureJournal.h"
#include "platform/capture/gstreamer/CameraBackendSelection.h"
#include "platform/capture/virtual/VirtualRig.h"
#include "platform/foundation/Console.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/AlternateIcons.h"
#include "platform/ui/Application.h"
#include "platform/ui/FeedbackdHaptics.h"
#include "platform/ui/Window.h"

namespace sorvel {

std::optional<std::string> prepareCameraAndLibrary(const CommandLine& line, const AppEnvironment& env, RigMode mode) {
    auto request = cameraBackendRequest(line.cameraBackend, line.gstSource);
    if (auto* why = std::get_if<std::string>(&request)) return *why;
    auto chosen = chooseCameraBackend(std::get<CameraBackendRequest>(request));
    if (auto* why = std::get_if<std::string>(&chosen)) return *why;
    auto& choice = std::get<CameraBackendChoice>(chosen);
    if (!choice.consoleLine.empty()) consolePrint(choice.consoleLine);
    // A GStreamer backend lives as long as the process: its streaming threads are never torn
    // down while the app exits.
    CaptureBackend::install(choice.owned ? choice.owned.release() : nullptr);

    VirtualRig& rig = VirtualRig::shared();
    rig.setMode(mode);
    if (auto error = rig.applyOptions(line.rig ? line.rig->string() : "", line.scene ? line.scene->string() : ""))
        return error;
    PhotoLibrary::setShared(PhotoLibrary::open(env.library()));
    return std::nullopt;
}

void waitForPendingCaptures(double seconds) {
    auto journal = CaptureJournal::shared();
    if (!journal || journal->inFlight() == 0) return;
    consolePrint("还有 " + std::to_string(journal->inFlight()) + " 张照片正在保存，请稍候……");
    int left = journal->waitForInFlight(seconds);
    if (left == 0) consolePrint("照片都已存入相册。");
    else
        consolePrint("还有 " + std::to_string(left) + " 张照片没有保存完，它们留在拍摄日志中（" + journal->folder().string() +
                     "），下次启动时会继续保存。");
}

int runCameraApp(const CommandLine& line, int& argc, char** argv) {
    bool headless = line.headless || !Application::displayAvailable();
    Application app(argc, argv, headless ? DisplayMode::Headless : DisplayMode::Window);
    // Wayland shells match a window to its desktop entry by this id; the window's own icon is
    // the one the user chose for the launcher.
    QGuiApplication::setDesktopFileName(QString::fromUtf8(AlternateIcons::kAppId));
    QApplication::setWindowIcon(QIcon::fromTheme(QString::fromStdString(AlternateIcons::currentIconName())));
    AppEnvironment env(line.home, line.library);
    if (auto error = prepareCameraAndLibrary(line, env, RigMode::RealTime)) {
        consolePrint("sorvel-camera: " + *error);
        return 2;
    }

    // On a phone with a feedback daemon the haptics are felt; elsewhere they go nowhere.
    installPlatformHaptics();

    ScreenProfile profile = ScreenProfile::phone();
    profile.width = line.width;
    profile.height = line.height;
    auto controller = std::make_shared<ViewController>(profile);
    Window window(*controller);
    window.makeKeyAndVisible();

    if (headless) {
        // Without a display there is nobody to press anything: say what started, then leave
        // once the screen has appeared and the event loop has run its first round.
        DispatchQueue::main().async([&] {
            consolePrint("Sorvel 相机已在无显示模式下启动：" + std::to_string(static_cast<int>(profile.width)) + " x " +
                         std::to_string(static_cast<int>(profile.height)) + " 点，设置在 " + env.home().string() +
                         "，照片库在 " + env.library().string() + "。");
            app.quit(0);
        });
    }
    int code = app.exec();
    // The camera keeps running meanwhile: a press not yet exposed needs its frame.
    waitForPendingCaptures();
    controller->stopCaptureAndWaitForFrames();
    return code;
}

}  // namespace sorvel
