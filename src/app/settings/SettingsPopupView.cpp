// Building the settings panel and loading its controls from the settings store.

#include "app/settings/SettingsPopupView.h"

#include <QPointer>
#include <cmath>

#include "app/SettingsKeys.h"
#include "app/ViewController.h"
#include "app/settings/PanelText.h"
#include "app/settings/AppIconChoices.h"
#include "app/settings/BackgroundLuminance.h"
#include "app/settings/InnovativeFeaturesView.h"
#include "app/settings/SettingsDescription.h"
#include "app/settings/SettingsRows.h"
#include "app/themes/ThemeManager.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/ui/BlurView.h"
#include "platform/ui/Button.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/Slider.h"
#include "platform/ui/StackView.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TextField.h"

namespace sorvel {

namespace {

// Layout of the sheet (points).
constexpr double kCornerRadius = 20;
constexpr double kHeaderHeight = 52;  // grabber and close button above the scrolled content
constexpr double kSideInset = 20;
constexpr double kRowHeight = 32;
constexpr double kButtonHeight = 44;
constexpr double kSectionSpacing = 24;


QColor withAlpha(QColor c, double alpha) {
    c.setAlphaF(static_cast<float>(alpha));
    return c;
}

// The width a segmented control needs for its titles: equal segments as wide as the widest
// title with some room either side.
double segmentedWidth(const std::vector<const char*>& items, const QFont& font) {
    QFontMetricsF fm(font);
    double widest = 0;
    for (const char* item : items) widest = std::max(widest, fm.horizontalAdvance(localizedText(item)));
    return std::ceil((widest + 24) * static_cast<double>(items.size()));
}

}  // namespace

SettingsPopupView::SettingsPopupView(const QRectF& frame, std::weak_ptr<ViewController> controller)
    : View(frame, nullptr), viewController(std::move(controller)) {
    setAccessibilityIdentifier("settingsPopupView");
    setCornerRadius(kCornerRadius);
    setClipsToBounds(true);
    for (const std::string& key : appIconNameKeys()) iconNames.push_back(QString::fromStdString(localized(key)));

    // Build every control of the two lists first, then place them.
    for (std::size_t i = 0; i < settingsOptionRows().size(); ++i) {
        const OptionRow& row = settingsOptionRows()[i];
        View* control = nullptr;
        if (row.control == OptionRow::Control::Switch) {
            control = new Switch(nullptr);
        } else {
            QStringList items;
            for (const char* item : row.items) items << localizedText(item);
            auto* segmented = new SegmentedControl(items, nullptr);
            segmented->setTitleFont(systemFont(13));
            segmented->setFrame(QRectF(0, 0, segmentedWidth(row.items, systemFont(13)), SegmentedControl::kDefaultHeight));
            control = segmented;
        }
        control->setTag(static_cast<int>(i));
        control->setAccessibilityIdentifier(QString::fromUtf8(row.title));
        settings.push_back({localizedText(row.title), control});
    }
    for (const SliderRow& row : settingsSliderRows()) {
        auto* slider = new Slider(nullptr);
        auto* label = new Label(nullptr);
        sliders.push_back({slider, label, row.key, localizedText(row.title)});
    }

    const QColor background = ThemeManager::bgColor();
    const bool light = backgroundIsLight({background.redF(), background.greenF(), background.blueF()});
    blurEffectView = new BlurView(light ? BlurStyle::Light : BlurStyle::Dark, bounds(), nullptr);
    blurEffectView->setCornerRadius(kCornerRadius);
    addSubview(blurEffectView);

    setup();
    loadSettings();
    setupPanGesture();
}

SettingsPopupView::~SettingsPopupView() {
    // The picker's list borrows this panel as its data source and delegate.
    if (iconPicker) dismissIconPicker();
}

void SettingsPopupView::setup() {
    setupCloseButton();
    setupDescriptionLabel();
    setupSettingsStackView();
    setupSliders();
    setupThemeButton();
    setupInnovativeFeaturesView();
    setupWatermarkButton();
    setupChangeIconButton();
    setupConstraints();
    setupControlActions();
}

void SettingsPopupView::setupCloseButton() {
    closeButton = new Button(QRectF(0, 0, 64, 32), nullptr);
    closeButton->setTitle(localizedText("关闭"));
    closeButton->setTitleFont(systemFont(16));
    closeButton->setTitleColor(ThemeManager::textColor());
    closeButton->setAccessibilityIdentifier("closeButton");
}

void SettingsPopupView::setupDescriptionLabel() {
    DescriptionLabel = new Label(nullptr);
    DescriptionLabel->setNumberOfLines(0);
    DescriptionLabel->setAccessibilityIdentifier("DescriptionLabel");
    const QColor colour = ThemeManager::textColor();
    std::vector<TextRun> runs;
    for (const DescriptionPart& part : parseSettingsDescription(localized("settingsDescription"))) {
        const bool heading = part.kind == DescriptionPart::Kind::Heading;
        TextRun run{QString::fromStdString(part.text), systemFont(heading ? 18 : 14, heading), colour};
        run.lineSpacing = heading ? 10 : 6;
        runs.push_back(std::move(run));
    }
    DescriptionLabel->setAttributedText(std::move(runs));
}

void SettingsPopupView::setupSettingsStackView() {
    const double width = frame().width() - 2 * kSideInset;
    const QColor text = ThemeManager::textColor();
    settingsStackView = new StackView(QRectF(0, 0, width, 0), nullptr);
    settingsStackView->setAxis(StackAxis::Vertical);
    settingsStackView->setAlignment(StackAlignment::Fill);
    settingsStackView->setSpacing(15);
    auto addRow = [&](const QString& title, View* control, int tag) {
        auto* label = new Label(QRectF(0, 0, 0, kRowHeight), nullptr);
        label->setText(title);
        label->setFont(systemFont(16));
        label->setTextColor(text);
        auto* row = new StackView(QRectF(0, 0, width, kRowHeight), nullptr);
        row->setSpacing(10);
        row->setDistribution(StackDistribution::Fill);
        row->setTag(tag);
        row->addArrangedSubview(label);
        row->addArrangedSubview(control);
        row->setStretches(label, true);
        settingsStackView->addArrangedSubview(row);
    };
    for (const Setting& setting : settings) addRow(setting.title, setting.control, setting.control->tag());

    customButtonSwitch = new Switch(nullptr);
    customButtonSwitch->setAccessibilityIdentifier("customButtonSwitch");
    addRow(localizedText("自定义按钮"), customButtonSwitch, -1);
    customButtonTextField = new TextField(QRectF(0, 0, width, 36), nullptr);
    customButtonTextField->setPlaceholder(localizedText("自定义按钮输入框"));
    customButtonTextField->setBorderStyle(TextFieldBorderStyle::RoundedRect);
    customButtonTextField->setTextColor(text);
    customButtonTextField->setTextFont(systemFont(16));
    customButtonTextField->setAccessibilityIdentifier("customButtonTextField");
    settingsStackView->addArrangedSubview(customButtonTextField);
}

void SettingsPopupView::setupSliders() {
    const double width = frame().width() - 2 * kSideInset;
    slidersStack_ = new StackView(QRectF(0, 0, width, 0), nullptr);
    slidersStack_->setAxis(StackAxis::Vertical);
    slidersStack_->setAlignment(StackAlignment::Fill);
    slidersStack_->setSpacing(6);
    for (SliderSetting& row : sliders) {
        row.label->setFrame(QRectF(0, 0, width, 22));
        row.label->setFont(systemFont(16));
        row.label->setTextColor(ThemeManager::textColor());
        row.slider->setFrame(QRectF(0, 0, width, 30));
        slidersStack_->addArrangedSubview(row.label);
        slidersStack_->addArrangedSubview(row.slider);
    }
}

namespace {
Button* makeEntryButton(const QString& title, const char* identifier) {
    auto* button = new Button(QRectF(0, 0, 0, kButtonHeight), nullptr);
    button->setTitle(title);
    button->setTitleFont(systemFont(16));
    const QColor text = ThemeManager::textColor();
    button->setTitleColor(text);
    button->setBackgroundColor(withAlpha(text, 0.12));
    button->setCornerRadius(12);
    button->setAccessibilityIdentifier(identifier);
    return button;
}
}  // namespace

void SettingsPopupView::setupThemeButton() {
    themeSettingsButton = makeEntryButton(localizedText("主题设置"), "themeSettingsButton");
}

void SettingsPopupView::setupInnovativeFeaturesView() {
    innovativeFeaturesView = new InnovativeFeaturesView(QRectF(0, 0, frame().width() - 2 * kSideInset, 0), viewController);
}

void SettingsPopupView::setupWatermarkButton() {
    watermarkButton = makeEntryButton(localizedText("设置水印内容"), "watermarkButton");
}

void SettingsPopupView::setupChangeIconButton() {
    changeIconButton = makeEntryButton(localizedText("更改图标"), "changeIconButton");
}

void SettingsPopupView::setupConstraints() {
    const double w = frame().width(), h = frame().height();
    auto* grabber = new View(QRectF(w / 2 - 18, 8, 36, 5), nullptr);
    grabber->setBackgroundColor(withAlpha(ThemeManager::textColor(), 0.35));
    grabber->setCornerRadius(2.5);
    grabber->setUserInteractionEnabled(false);
    addSubview(grabber);
    closeButton->setFrame(QRectF(w - kSideInset - 64, 14, 64, 32));
    addSubview(closeButton);

    scrollView = new ScrollView(QRectF(0, kHeaderHeight, w, h - kHeaderHeight), nullptr);
    scrollView->setAccessibilityIdentifier("settingsScrollView");
    addSubview(scrollView);
    contentView = scrollView->contentView();

    contentStack_ = new StackView(QRectF(kSideInset, 0, w - 2 * kSideInset, 0), nullptr);
    contentStack_->setAxis(StackAxis::Vertical);
    contentStack_->setAlignment(StackAlignment::Fill);
    contentStack_->setSpacing(kSectionSpacing);
    for (View* section : std::initializer_list<View*>{settingsStackView, slidersStack_, watermarkButton, themeSettingsButton,
                                                      changeIconButton, innovativeFeaturesView, DescriptionLabel})
        contentStack_->addArrangedSubview(section);
    scrollView->addSubview(contentStack_);

    // The help text's height at the content width.
    QRectF f = DescriptionLabel->frame();
    f.setSize(QSizeF(w - 2 * kSideInset, std::ceil(DescriptionLabel->textSizeForWidth(w - 2 * kSideInset).height())));
    DescriptionLabel->setFrame(f);
    relayoutContent();
}

void SettingsPopupView::relayoutContent() {
    if (!contentStack_) return;
    settingsStackView->layoutArranged();
    contentStack_->layoutArranged();
    scrollView->setContentSize(QSizeF(frame().width(), contentStack_->frame().bottom() + kSectionSpacing));
}

View* SettingsPopupView::rowView(int tag) const {
    for (View* row : settingsStackView->arrangedSubviews())
        if (dynamic_cast<StackView*>(row) && row->tag() == tag) return row;
    return nullptr;
}

void SettingsPopupView::setRowHidden(int tag, bool hidden) {
    View* row = rowView(tag);
    if (!row || row->isHidden() == hidden) return;
    row->setHidden(hidden);
    relayoutContent();
}

void SettingsPopupView::setupControlActions() {
    QPointer<SettingsPopupView> self(this);
    for (const Setting& setting : settings) {
        if (auto* s = dynamic_cast<Switch*>(setting.control))
            s->addAction("switchValueChanged", [self, s] {
                if (self) self->switchValueChanged(s);
            });
        else if (auto* c = dynamic_cast<SegmentedControl*>(setting.control))
            c->addAction("segmentedControlValueChanged", [self, c] {
                if (self) self->segmentedControlValueChanged(c);
            });
    }
    for (const SliderSetting& row : sliders) {
        Slider* slider = row.slider;
        slider->setAccessibilityIdentifier(QString::fromStdString(row.key));
        slider->addAction("sliderValueChanged", [self, slider] {
            if (self) self->sliderValueChanged(slider);
        });
    }
    customButtonSwitch->addAction("customButtonSwitchChanged", [self] {
        if (self) self->customButtonSwitchChanged(self->customButtonSwitch);
    });
    customButtonTextField->addAction(TextFieldEvent::EditingChanged, "customButtonTextFieldChanged", [self] {
        if (self) self->customButtonTextFieldChanged(self->customButtonTextField);
    });
    watermarkButton->addAction("watermarkButtonTapped", [self] {
        if (self) self->watermarkButtonTapped();
    });
    themeSettingsButton->addAction("openTheme", [self] {
        if (self) self->openTheme();
    });
    changeIconButton->addAction("showIconPicker", [self] {
        if (self) self->showIconPicker();
    });
}

void SettingsPopupView::loadSettings() {
    SettingsStore& store = SettingsStore::standard();
    store.registerSeeds(settingSeeds());
    for (const Setting& setting : settings) {
        const int tag = setting.control->tag();
        if (auto* s = dynamic_cast<Switch*>(setting.control)) {
            s->setOn(store.boolForKey(switchKey(tag)));
            continue;
        }
        auto* c = static_cast<SegmentedControl*>(setting.control);
        switch (tag) {
        case settings_row::kSaveFormat: c->setSelectedSegmentIndex(saveFormatSegment(store.stringForKey("save_format"))); break;
        case settings_row::kFlash: c->setSelectedSegmentIndex(static_cast<int>(store.integerForKey("flash_mode"))); break;
        case settings_row::kGridLines: c->setSelectedSegmentIndex(static_cast<int>(store.integerForKey("grid_lines"))); break;
        case settings_row::kPhotoPreview:
            c->setSelectedSegmentIndex(static_cast<int>(store.integerForKey("photo_preview")));
            break;
        default: break;
        }
    }
    const bool deepOn = static_cast<Switch*>(settings[settings_row::kDeepMode].control)->isOn();
    updateRelatedSettings(deepOn);
    setRowHidden(settings_row::kSaveFormat, !deepOn);
    setRowHidden(settings_row::kLivePhoto, deepOn);
    for (const SliderSetting& row : sliders) {
        row.slider->setValue(store.floatForKey(row.key));
        updateSliderLabel(row.slider, row.label, row.slider->value(), row.title);
    }
    customButtonSwitch->setOn(store.boolForKey("customButtonEnabled"));
    customButtonTextField->setText(QString::fromStdString(store.stringForKey("customButtonText").value_or("")));
    updateWatermarkButtonTitle();
}

void SettingsPopupView::setCloseAction(std::function<void()> action) {
    closeAction = std::move(action);
    QPointer<SettingsPopupView> self(this);
    closeButton->addAction("closeAction", [self] {
        if (self && self->closeAction) self->closeAction();
    });
}

}  // namespace sorvel
