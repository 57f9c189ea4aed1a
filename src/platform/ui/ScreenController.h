#pragma once
// A controller of one screen: owns its root view, loads it once, and hears when it appears.
// Main thread only.

#include <memory>

#include "ScreenProfile.h"
#include "View.h"

namespace sorvel {

class ScreenController {
public:
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

private:
    ScreenProfile profile_;
    std::unique_ptr<View> view_;
    bool loaded_ = false;
};

}  // namespace sorvel
