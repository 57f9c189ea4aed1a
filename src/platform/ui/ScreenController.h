#pragma once
// A controller of one screen: owns its root view, loads it once, and hears when it appears.
//
// Presenting: `present(other)` shows another controller's screen over this one's window, full
// size, sliding up from the bottom (0.3 s on the Clock when animated). The presented screen is
// dismissed by `dismiss()` (on either controller) or by a downward swipe on it that travels a
// quarter of its height or is flung faster than 500 points per second; a shorter swipe springs
// back. The presenter keeps the presented controller alive until it is dismissed; a
// controller's `presentingController()` / `presentedController()` tell the relation, and
// `onDismiss` hears the end of a presentation however it came about.
//
//   auto theme = std::make_shared<ThemeSettingsViewController>(profile);
//   controller.present(theme);                       // viewDidLoad, then viewDidAppear
//   theme->dismiss();                                // viewDidDisappear after the slide
//
// `navigationItem()` holds the title and bar buttons a NavigationController shows for it.
// Main thread only.

#include <functional>
#include <memory>
#include <optional>

#include "Animation.h"
#include "BarButtonItem.h"
#include "ScreenProfile.h"
#include "View.h"

namespace sorvel {

struct NavigationItem {
    QString title;
    std::optional<BarButtonItem> leftBarButtonItem;
    std::optional<BarButtonItem> rightBarButtonItem;
};

class ScreenController {
public:
    static constexpr double kPresentationDuration = 0.3;
    // A swipe that ends faster than this (points per second, downward) dismisses.
    static constexpr double kDismissVelocity = 500;

    explicit ScreenController(ScreenProfile profile);
    virtual ~ScreenController();
    ScreenController(const ScreenController&) = delete;
    ScreenController& operator=(const ScreenController&) = delete;

    // The root view, created and loaded (viewDidLoad) on first use.
    View* view();
    bool isViewLoaded() const { return loaded_; }
    void loadViewIfNeeded() { view(); }

    const ScreenProfile& screenProfile() const { return profile_; }
    EdgeInsets safeAreaInsets() const { return profile_.safeArea; }

    virtual void viewDidLoad() {}
    virtual void viewDidAppear() {}
    virtual void viewDidDisappear() {}
    // The root view changed size (a navigation bar took room): lay the screen out again.
    virtual void viewDidLayoutSubviews() {}

    // Shows `controller`'s screen over this one's window (see above). A controller that is
    // already presenting passes the request to the one it presents, as a phone stacks them.
    void present(std::shared_ptr<ScreenController> controller, Animated animated = Animated::Yes,
                 std::function<void()> completion = nullptr);
    // Dismisses what this controller presents, or, when it presents nothing, itself.
    void dismiss(Animated animated = Animated::Yes, std::function<void()> completion = nullptr);
    // For a screen inside a container (a NavigationController's root), the container's.
    ScreenController* presentingController() const;
    // The container this screen is shown in, if any.
    ScreenController* parentController() const { return parent_; }
    ScreenController* presentedController() const { return presented_.get(); }
    bool isBeingDismissed() const { return dismissing_; }
    // Whether a downward swipe dismisses this screen while presented (true by default).
    void setDismissesOnSwipe(bool dismisses) { dismissesOnSwipe_ = dismisses; }
    // Runs once the presented screen is gone (by code or by a swipe).
    std::function<void()> onDismiss;

    NavigationItem& navigationItem() { return navigationItem_; }

    // The root view of the screen the app is shown on: the first window's root controller, or,
    // before any window exists (headless tests), the first controller still alive that was not
    // presented. Nothing when there is neither.
    static View* mainRootView();
    // The controller whose screen holds `widget` (the nearest one up its parents), or nullptr.
    static ScreenController* owning(const QWidget* widget);

protected:
    // Containers adopt the screens they show.
    void adopt(ScreenController& child) { child.parent_ = this; }

private:
    void finishDismissal(std::function<void()> completion);
    void installDismissSwipe();

    ScreenProfile profile_;
    std::unique_ptr<View> view_;
    bool loaded_ = false;
    ScreenController* presenting_ = nullptr;
    ScreenController* parent_ = nullptr;
    std::shared_ptr<ScreenController> presented_;
    bool dismissing_ = false;
    bool dismissesOnSwipe_ = true;
    bool swipeInstalled_ = false;
    double swipeStartY_ = 0;
    NavigationItem navigationItem_;
};

}  // namespace sorvel
