#include "AppMain.h"

#include <QApplication>
#include <QTimer>
#include <memory>

#include "app/AppEnvironment.h"
#include "app/ViewController.h"
#include "platform/foundation/Console.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace sorvel {

int runCameraApp(const CommandLine& line, int& argc, char** argv) {
    bool headless = line.headless || !Application::displayAvailable();
    Application app(argc, argv, headless ? DisplayMode::Headless : DisplayMode::Window);
    AppEnvironment env(line.home, line.library);

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
    return app.exec();
}

}  // namespace sorvel
