#include "AppMain.h"

#include <QApplication>
#include <memory>

#include "app/AppEnvironment.h"
#include "app/ViewController.h"
#include "platform/capture/virtual/VirtualRig.h"
#include "platform/foundation/Console.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/Application.h"
#include "platform/ui/FeedbackdHaptics.h"
#include "platform/ui/Window.h"

namespace sorvel {

std::optional<std::string> prepareCameraAndLibrary(const CommandLine& line, const AppEnvironment& env, RigMode mode) {
    VirtualRig& rig = VirtualRig::shared();
    rig.setMode(mode);
    if (auto error = rig.applyOptions(line.rig ? line.rig->string() : "", line.scene ? line.scene->string() : ""))
        return error;
    PhotoLibrary::setShared(PhotoLibrary::open(env.library()));
    return std::nullopt;
}

int runCameraApp(const CommandLine& line, int& argc, char** argv) {
    bool headless = line.headless || !Application::displayAvailable();
    Application app(argc, argv, headless ? DisplayMode::Headless : DisplayMode::Window);
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
    controller->stopCaptureAndWaitForFrames();
    return code;
}

}  // namespace sorvel
