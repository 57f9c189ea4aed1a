#pragma once
// The Qt application: picks the platform (a window, or offscreen when headless), binds the
// main queue to the event loop, and turns application state changes into the
// become-active / resign-active notifications.

#include <memory>

#include "QtMainQueue.h"

class QApplication;

namespace sorvel {

enum class DisplayMode { Window, Headless };

class Application {
public:
    // argc/argv must outlive the application (Qt keeps them).
    Application(int& argc, char** argv, DisplayMode mode);
    ~Application();
    int exec();
    void quit(int code = 0);
    QApplication& qt() { return *app_; }
    // True when a window system is reachable (DISPLAY or WAYLAND_DISPLAY set).
    static bool displayAvailable();

private:
    std::unique_ptr<QApplication> app_;
    QtMainQueue mainQueue_;
};

}  // namespace sorvel
