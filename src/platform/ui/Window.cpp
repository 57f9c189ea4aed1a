#include "Window.h"


#include "platform/foundation/Dispatch.h"

namespace sorvel {

Window::Window(ScreenController& root) : root_(root) {
    const ScreenProfile& p = root.screenProfile();
    setFixedSize(qRound(p.width), qRound(p.height));
    setWindowTitle(QStringLiteral("Sorvel 相机"));
}

Window::~Window() {
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

}  // namespace sorvel
