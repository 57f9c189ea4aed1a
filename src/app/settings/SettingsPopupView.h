#pragma once
// The bottom sheet that holds the app's settings. The controller creates it below the screen,
// slides it up and gives it `closeAction`; the sheet calls that to be closed.

#include <functional>
#include <memory>

#include "platform/ui/View.h"

namespace sorvel {

class ViewController;

class SettingsPopupView : public View {
public:
    SettingsPopupView(const QRectF& frame, std::weak_ptr<ViewController> viewController);

    std::function<void()> closeAction;

private:
    std::weak_ptr<ViewController> viewController_;
};

}  // namespace sorvel
