#include "ScreenController.h"

namespace sorvel {

ScreenController::ScreenController(ScreenProfile profile) : profile_(profile) {}

ScreenController::~ScreenController() = default;

View* ScreenController::view() {
    if (!view_) {
        view_ = std::make_unique<View>(QRectF(0, 0, profile_.width, profile_.height));
        view_->setAccessibilityIdentifier("rootView");
    }
    if (!loaded_) {
        loaded_ = true;
        viewDidLoad();
    }
    return view_.get();
}

}  // namespace sorvel
