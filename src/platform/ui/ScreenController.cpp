#include "ScreenController.h"

#include <QPointer>
#include <algorithm>
#include <vector>

#include "GestureRecognizer.h"
#include "Window.h"

namespace sorvel {

namespace {
std::vector<ScreenController*>& liveControllers() {
    static std::vector<ScreenController*> controllers;
    return controllers;
}

// The root view tells its controller when its size changes.
class RootView final : public View {
public:
    RootView(const QRectF& frame, ScreenController& owner) : View(frame, nullptr), owner_(owner) {}

protected:
    void resizeEvent(QResizeEvent* event) override {
        View::resizeEvent(event);
        if (owner_.isViewLoaded()) owner_.viewDidLayoutSubviews();
    }

private:
    ScreenController& owner_;
};

// The top of the window a view is shown in: where presented screens go.
View* topView(View* v) {
    View* top = v;
    for (QWidget* w = v; w; w = w->parentWidget())
        if (auto* view = dynamic_cast<View*>(w)) top = view;
    return top;
}
}  // namespace

ScreenController::ScreenController(ScreenProfile profile) : profile_(profile) { liveControllers().push_back(this); }

ScreenController::~ScreenController() {
    std::erase(liveControllers(), this);
    // The presented screen's view lives in this window's view tree; take it out before its
    // controller (and so its view) goes.
    if (presented_) {
        if (presented_->isViewLoaded()) presented_->view()->setParent(nullptr);
        presented_->presenting_ = nullptr;
        presented_.reset();
    }
}

View* ScreenController::view() {
    if (!view_) {
        view_ = std::make_unique<RootView>(QRectF(0, 0, profile_.width, profile_.height), *this);
        view_->setAccessibilityIdentifier("rootView");
    }
    if (!loaded_) {
        loaded_ = true;
        viewDidLoad();
    }
    return view_.get();
}

View* ScreenController::mainRootView() {
    for (Window* w : Window::windows())
        if (w->rootController().isViewLoaded()) return w->rootController().view();
    for (ScreenController* c : liveControllers())
        if (!c->presentingController() && !c->parent_ && c->isViewLoaded()) return c->view();
    return nullptr;
}

ScreenController* ScreenController::owning(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget())
        for (ScreenController* c : liveControllers())
            if (c->view_.get() == w) return c;
    return nullptr;
}

void ScreenController::present(std::shared_ptr<ScreenController> controller, Animated animated,
                               std::function<void()> completion) {
    if (!controller || controller.get() == this || controller->presenting_) return;
    if (presented_) {
        presented_->present(std::move(controller), animated, std::move(completion));
        return;
    }
    View* host = topView(view());
    presented_ = std::move(controller);
    presented_->presenting_ = this;
    presented_->dismissing_ = false;
    View* shown = presented_->view();
    const QRectF full = host->bounds();
    shown->setFrame(animated == Animated::Yes ? full.translated(0, full.height()) : full);
    host->addSubview(shown);
    presented_->installDismissSwipe();
    double duration = animated == Animated::Yes ? kPresentationDuration : 0;
    if (duration > 0) animate(duration, [shown, full] { shown->setFrame(full); });
    ScreenController* presented = presented_.get();
    auto appeared = [presented, completion = std::move(completion)](bool) {
        presented->viewDidAppear();
        if (completion) completion();
    };
    if (duration > 0) animate(0, [] {}, appeared, AnimationOptions{duration});
    else appeared(true);
}

ScreenController* ScreenController::presentingController() const {
    for (const ScreenController* c = this; c; c = c->parent_)
        if (c->presenting_) return c->presenting_;
    return nullptr;
}

void ScreenController::dismiss(Animated animated, std::function<void()> completion) {
    ScreenController* owner = presented_ ? this : presentingController();
    if (!owner || !owner->presented_ || owner->presented_->dismissing_) return;
    ScreenController* leaving = owner->presented_.get();
    leaving->dismissing_ = true;
    View* shown = leaving->view();
    if (animated == Animated::No) {
        owner->finishDismissal(std::move(completion));
        return;
    }
    QRectF f = shown->frame();
    double h = shown->parentWidget() ? shown->parentWidget()->height() : f.height();
    animate(kPresentationDuration, [shown, f, h] { shown->setFrame(QRectF(f.x(), h, f.width(), f.height())); },
            [owner, leaving, completion = std::move(completion)](bool) mutable {
                // The presenter may have presented afresh meanwhile; only this presentation ends.
                if (owner->presented_.get() == leaving) owner->finishDismissal(std::move(completion));
            });
}

void ScreenController::finishDismissal(std::function<void()> completion) {
    std::shared_ptr<ScreenController> leaving = std::move(presented_);
    if (!leaving) return;
    // Whatever it presented goes with it.
    if (leaving->presented_) leaving->finishDismissal(nullptr);
    leaving->view()->hide();
    leaving->view()->setParent(nullptr);
    leaving->presenting_ = nullptr;
    leaving->dismissing_ = false;
    leaving->viewDidDisappear();
    if (leaving->onDismiss) leaving->onDismiss();
    if (completion) completion();
}

void ScreenController::installDismissSwipe() {
    if (swipeInstalled_) return;
    swipeInstalled_ = true;
    view()->addGestureRecognizer(std::make_unique<PanGestureRecognizer>([this](GestureRecognizer& g) {
        auto& pan = static_cast<PanGestureRecognizer&>(g);
        if (!presenting_ || dismissing_ || !dismissesOnSwipe_) return;
        View* shown = view();
        QRectF f = shown->frame();
        double dy = pan.translationInView(nullptr).y();
        switch (pan.state()) {
        case GestureState::Began:
            swipeStartY_ = f.y();
            [[fallthrough]];
        case GestureState::Changed:
            // Follows the finger down, never above its place.
            shown->setFrame(QRectF(f.x(), swipeStartY_ + std::max(0.0, dy), f.width(), f.height()));
            break;
        case GestureState::Ended: {
            double moved = f.y() - swipeStartY_;
            if (moved > f.height() / 4 || pan.velocityInView(nullptr).y() > kDismissVelocity) {
                dismiss(Animated::Yes);
                break;
            }
            double y = swipeStartY_;
            animate(kPresentationDuration, [shown, f, y] { shown->setFrame(QRectF(f.x(), y, f.width(), f.height())); },
                    nullptr, AnimationOptions{0, 0.8, 0});
            break;
        }
        case GestureState::Cancelled:
            shown->setFrame(QRectF(f.x(), swipeStartY_, f.width(), f.height()));
            break;
        default:
            break;
        }
    }));
}

}  // namespace sorvel
