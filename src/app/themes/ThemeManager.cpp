#include "app/themes/ThemeManager.h"

#include <QImage>

#include "app/themes/ColorHex.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/ui/Appearance.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ScreenController.h"

namespace sorvel {

namespace {

QColor storedColor(const char* key, const char* fallback) {
    auto text = SettingsStore::standard().stringForKey(key);
    return colorFromHex(QString::fromStdString(text.value_or(fallback)));
}

QColor storedBackground() { return storedColor("theme_backgroundColor", "#000000"); }
QColor storedTextAndIcon() { return storedColor("theme_textAndIconColor", "#FFFFFF"); }

}  // namespace

ThemeManager& ThemeManager::shared() {
    static ThemeManager manager;
    return manager;
}

ThemeManager::ThemeManager() { updateColors(); }

void ThemeManager::updateColors() {
    backgroundColor_ = storedBackground();
    textAndIconColor_ = storedTextAndIcon();
}

void ThemeManager::applyTheme() {
    applyBackgroundColor();
    applyTextAndIconColor();
    if (SettingsStore::standard().boolForKey("theme_useCustomBackground")) applyCustomBackgroundImage();
}

void ThemeManager::applyBackgroundColor() {
    if (View* root = ScreenController::mainRootView()) root->setBackgroundColor(storedBackground());
}

void ThemeManager::applyTextAndIconColor() {
    const QColor color = storedTextAndIcon();
    Appearance& a = Appearance::current();
    a.labelTextColor = color;
    a.buttonTitleColor = color;
    a.textFieldTextColor = color;
    a.textViewTextColor = color;
    a.tabBarTintColor = color;
    a.navigationBarTintColor = color;
    a.navigationBarTitleColor = color;
    a.alertLabelTextColor = Appearance::platformDefaults().alertLabelTextColor;
}

void ThemeManager::applyCustomBackgroundImage() {
    SettingsStore& store = SettingsStore::standard();
    if (!store.boolForKey("theme_useCustomBackground")) return;
    auto bytes = store.dataForKey("theme_customBackgroundImage");
    if (!bytes || bytes->empty()) return;
    QImage picture = QImage::fromData(bytes->data(), static_cast<int>(bytes->size()));
    if (picture.isNull()) return;
    View* root = ScreenController::mainRootView();
    if (!root) return;
    auto* background = new ImageView(root->bounds(), nullptr);
    background->setImage(picture);
    background->setContentMode(ContentMode::AspectFill);
    background->setClipsToBounds(true);
    background->setTag(kBackgroundImageTag);
    background->setUserInteractionEnabled(false);
    background->setAccessibilityIdentifier("themeBackgroundImage");
    root->insertSubview(background, 0);
}

void ThemeManager::removeCustomBackgroundImage() {
    View* root = ScreenController::mainRootView();
    if (!root) return;
    for (QObject* child : root->children()) {
        auto* v = dynamic_cast<View*>(child);
        if (!v || v->tag() != kBackgroundImageTag) continue;
        v->removeFromSuperview();
        v->deleteLater();
        return;
    }
}

}  // namespace sorvel
