#include "app/SettingsPopupView.h"

#include "app/themes/ThemeManager.h"

namespace sorvel {

SettingsPopupView::SettingsPopupView(const QRectF& frame, std::weak_ptr<ViewController> viewController)
    : View(frame, nullptr), viewController_(std::move(viewController)) {
    QColor background = ThemeManager::bgColor();
    background.setAlphaF(0.92f);
    setBackgroundColor(background);
    setCornerRadius(20);
    setAccessibilityIdentifier("settingsPopupView");
}

}  // namespace sorvel
