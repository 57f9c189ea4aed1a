#include "Window.h"

#include <QKeyEvent>
#include <algorithm>

#include "platform/capture/AudioSession.h"
#include "platform/foundation/Dispatch.h"

namespace sorvel {

namespace {
std::vector<Window*>& allWindows() {
    static std::vector<Window*> windows;
    return windows;
}
}  // namespace

const std::vector<Window*>& Window::windows() { return allWindows(); }

Window::Window(ScreenController& root) : root_(root) {
    allWindows().push_back(this);
    const ScreenProfile& p = root.screenProfile();
    setFixedSize(qRound(p.width), qRound(p.height));
    setWindowTitle(QStringLiteral("Sorvel 相机"));
}

Window::~Window() {
    std::erase(allWindows(), this);
    // The root view belongs to its controller, not to this window.
    if (root_.isViewLoaded()) root_.view()->setParent(nullptr);
}

void Window::makeKeyAndVisible() {
    View* v = root_.view();
    v->setParent(this);
    v->move(0, 0);
    v->show();
    show();
    DispatchQueue::main().async([this] { root_.viewDidAppear(); });
}

void Window::keyPressEvent(QKeyEvent* event) {
    float step = 0;
    switch (event->key()) {
    case Qt::Key_VolumeUp:
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        step = kVolumeStep;
        break;
    case Qt::Key_VolumeDown:
    case Qt::Key_Minus:
        step = -kVolumeStep;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    // At either end the clamped value equals the current one, and the session tells its
    // observers of real changes only: a press there is silent, as on a phone.
    AudioSession& session = AudioSession::shared();
    session.setOutputVolume(std::clamp(session.outputVolume() + step, 0.0f, 1.0f));
    event->accept();
}

}  // namespace sorvel
