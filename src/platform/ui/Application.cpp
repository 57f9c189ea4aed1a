#include "Application.h"

#include <QApplication>
#include <QFont>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/foundation/NotificationCenter.h"

namespace sorvel {

bool Application::displayAvailable() {
    auto set = [](const char* name) {
        const char* v = std::getenv(name);
        return v && *v;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY");
}

Application::Application(int& argc, char** argv, DisplayMode mode) {
    if (mode == DisplayMode::Headless) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt wants a private runtime folder; containers and CI often have none.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        QByteArray dir = "/tmp/sorvel-runtime-" + QByteArray::number(static_cast<qulonglong>(::getuid()));
        ::mkdir(dir.constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", dir);
    }
    app_ = std::make_unique<QApplication>(argc, argv);
    QApplication::setApplicationName(QStringLiteral("sorvel-camera"));
    // The interface is Chinese: prefer a CJK face so every glyph comes from one font.
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setStyleHint(QFont::SansSerif);
    QApplication::setFont(font);
    DispatchQueue::installMain(&mainQueue_);
    QObject::connect(app_.get(), &QGuiApplication::applicationStateChanged, [](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) NotificationCenter::defaultCenter().post(notifications::kDidBecomeActive);
        else if (state == Qt::ApplicationInactive || state == Qt::ApplicationSuspended)
            NotificationCenter::defaultCenter().post(notifications::kWillResignActive);
    });
}

Application::~Application() {
    DispatchQueue::installMain(nullptr);
}

int Application::exec() { return app_->exec(); }

void Application::quit(int code) { QApplication::exit(code); }

}  // namespace sorvel
