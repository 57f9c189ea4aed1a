#include "app/themes/ThemeSettingsViewController.h"

#include "app/themes/BackgroundPicture.h"
#include "app/themes/ColorHex.h"
#include "app/themes/ThemeManager.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SettingsStore.h"

namespace sorvel {

namespace {
QString text(const char* key) { return QString::fromStdString(localized(key)); }

std::optional<QColor> storedColour(const char* key, const char* fallback) {
    return colorFromHex(QString::fromStdString(SettingsStore::standard().stringForKey(key).value_or(fallback)));
}
}  // namespace

ThemeSettingsViewController::ThemeSettingsViewController(ScreenProfile profile) : ScreenController(profile) {}

void ThemeSettingsViewController::viewDidLoad() {
    setupUI();
    loadSettings();
}

void ThemeSettingsViewController::setupUI() {
    View* root = view();
    root->setAccessibilityIdentifier("themeSettingsView");
    root->setBackgroundColor(QColor(28, 28, 30));
    const double w = root->bounds().width();
    const double left = 24, wellSide = 44, rowHeight = 64;
    double y = safeAreaInsets().top + 24;

    auto* title = new Label(QRectF(left, y, w - 2 * left, 34), nullptr);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(24);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setText(text("主题设置"));
    root->addSubview(title);
    y += 34 + 24;

    auto row = [&](const char* caption, View* control) {
        auto* label = new Label(QRectF(left, y, w - 2 * left - control->frame().width() - 12, rowHeight), nullptr);
        QFont f = label->font();
        f.setPointSizeF(16);
        label->setFont(f);
        label->setNumberOfLines(0);
        label->setText(text(caption));
        root->addSubview(label);
        QRectF cf = control->frame();
        control->setFrame(QRectF(w - left - cf.width(), y + (rowHeight - cf.height()) / 2, cf.width(), cf.height()));
        root->addSubview(control);
        y += rowHeight;
        return label;
    };

    backgroundColorPicker = new ColorWell(QRectF(0, 0, wellSide, wellSide), nullptr);
    backgroundColorPicker->setTitle(text("背景颜色"));
    backgroundColorPicker->setAccessibilityIdentifier("backgroundColorPicker");
    backgroundColorPicker->addAction("backgroundColorChanged", [this] { backgroundColorChanged(); });
    backgroundColorLabel = row("背景颜色（下滑关闭此页面）", backgroundColorPicker);

    textAndIconColorPicker = new ColorWell(QRectF(0, 0, wellSide, wellSide), nullptr);
    textAndIconColorPicker->setTitle(text("文字和图标颜色"));
    textAndIconColorPicker->setAccessibilityIdentifier("textAndIconColorPicker");
    textAndIconColorPicker->addAction("textAndIconColorChanged", [this] { textAndIconColorChanged(); });
    textAndIconColorLabel = row("文字和图标颜色（重启后生效）", textAndIconColorPicker);

    y += 12;
    customBackgroundImageButton = new Button(QRectF(left, y, w - 2 * left, 48), nullptr);
    customBackgroundImageButton->setTitle(text("选择自定义背景图片"));
    customBackgroundImageButton->setTitleColor(QColor(10, 132, 255));
    QFont buttonFont = customBackgroundImageButton->titleFont();
    buttonFont.setPointSizeF(17);
    customBackgroundImageButton->setTitleFont(buttonFont);
    customBackgroundImageButton->setBackgroundColor(QColor(118, 118, 128, 61));
    customBackgroundImageButton->setCornerRadius(12);
    customBackgroundImageButton->setAccessibilityIdentifier("customBackgroundImageButton");
    customBackgroundImageButton->addAction("chooseCustomBackgroundImage", [this] { chooseCustomBackgroundImage(); });
    root->addSubview(customBackgroundImageButton);
    y += 48 + 12;

    useCustomBackgroundSwitch = new Switch(QRectF(0, 0, Switch::kWidth, Switch::kHeight), nullptr);
    useCustomBackgroundSwitch->setAccessibilityIdentifier("useCustomBackgroundSwitch");
    useCustomBackgroundSwitch->addAction("useCustomBackgroundChanged", [this] { useCustomBackgroundChanged(); });
    useCustomBackgroundLabel = row("使用自定义背景", useCustomBackgroundSwitch);
}

void ThemeSettingsViewController::loadSettings() {
    backgroundColorPicker->setSelectedColor(storedColour("theme_backgroundColor", "#000000"));
    textAndIconColorPicker->setSelectedColor(storedColour("theme_textAndIconColor", "#FFFFFF"));
    useCustomBackgroundSwitch->setOn(SettingsStore::standard().boolForKey("theme_useCustomBackground"));
}

void ThemeSettingsViewController::backgroundColorChanged() {
    auto colour = backgroundColorPicker->selectedColor();
    if (!colour) return;
    SettingsStore::standard().setObject(Value(hexString(*colour).toStdString()), "theme_backgroundColor");
    ThemeManager::shared().applyBackgroundColor();
}

void ThemeSettingsViewController::textAndIconColorChanged() {
    auto colour = textAndIconColorPicker->selectedColor();
    if (!colour) return;
    SettingsStore::standard().setObject(Value(hexString(*colour).toStdString()), "theme_textAndIconColor");
    ThemeManager::shared().applyTheme();
}

void ThemeSettingsViewController::chooseCustomBackgroundImage() {
    auto picker = std::make_shared<PhotoPickerController>(screenProfile());
    picker->onPick = [this](PhotoPickerController& p, const PickedPhoto& photo) { imagePickerDidFinishPicking(p, photo); };
    picker->onCancel = [this](PhotoPickerController& p) { imagePickerDidCancel(p); };
    present(picker);
}

void ThemeSettingsViewController::imagePickerDidFinishPicking(PhotoPickerController& picker, const PickedPhoto& photo) {
    // The screen's pixels on its long side are all a background can show.
    const ScreenProfile& p = screenProfile();
    int maxSide = static_cast<int>(std::max(p.width, p.height) * p.scale);
    if (auto jpeg = backgroundPictureJPEG(photo.data, photo.orientation, maxSide)) {
        SettingsStore& store = SettingsStore::standard();
        store.setObject(Value(std::move(*jpeg)), "theme_customBackgroundImage");
        store.setBool(true, "theme_useCustomBackground");
        useCustomBackgroundSwitch->setOn(true, Animated::Yes);
    }
    picker.dismiss();
}

void ThemeSettingsViewController::imagePickerDidCancel(PhotoPickerController& picker) { picker.dismiss(); }

void ThemeSettingsViewController::useCustomBackgroundChanged() {
    bool on = useCustomBackgroundSwitch->isOn();
    SettingsStore::standard().setBool(on, "theme_useCustomBackground");
    if (on) ThemeManager::shared().applyCustomBackgroundImage();
    else ThemeManager::shared().removeCustomBackgroundImage();
}

}  // namespace sorvel
