#include "app/settings/SettingsPopupView.h"

#include "app/Theme.h"

namespace sorvel {

SettingsPopupView::SettingsPopupView(const QRectF& frame, std::weak_ptr<ViewController> viewController)
    : View(frame, nullptr), viewController_(std::move(viewController)) {
    QColor background = themeBackgroundColor();
    background.setAlphaF(0.92f);
    setBackgroundColor(background);
    setCornerRadius(20);
    setAccessibilityIdentifier("settingsPopupView");
}

}  // namespace sorvel
