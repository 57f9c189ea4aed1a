// What the settings panel's controls do: each writes its key at once; a few also act on the
// camera screen (zoom, haptics, torch, guides, custom buttons).

#include "app/ViewController.h"
#include "app/settings/PanelText.h"
#include "app/settings/SettingsPopupView.h"
#include "app/settings/SettingsRows.h"
#include "app/settings/TorchForFlashMode.h"
#include "app/settings/ZoomReset.h"
#include "app/themes/ThemeSettingsViewController.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/Slider.h"
#include "platform/ui/StackView.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TextField.h"

namespace sorvel {

namespace {
const char* boolText(bool value) { return value ? "true" : "false"; }
}  // namespace

void bringSettingsPanelToFront(ViewController& controller) {
    if (controller.overlayView) controller.overlayView->raise();
    if (controller.settingsPopupView) controller.settingsPopupView->raise();
}

void SettingsPopupView::switchValueChanged(Switch* sender) {
    const bool on = sender->isOn();
    const int tag = sender->tag();
    SettingsStore::standard().setBool(on, switchKey(tag));
    auto controller = viewController.lock();
    switch (tag) {
    case settings_row::kDeepMode:
        updateRelatedSettings(on);
        if (on && controller) resetZoomForLockedMode(*controller);
        if (settingsStackView->arrangedSubviews().size() > 2) {
            setRowHidden(settings_row::kSaveFormat, !on);
            setRowHidden(settings_row::kLivePhoto, on);
        }
        break;
    case settings_row::kVibration:
        consolePrint(std::string("Vibration Feedback: ") + boolText(on));
        if (controller) controller->updateVibrationSetting(on);
        break;
    case settings_row::kDebug: consolePrint(std::string("Timer: ") + boolText(on)); break;
    default: break;
    }
}

void SettingsPopupView::segmentedControlValueChanged(SegmentedControl* sender) {
    SettingsStore& store = SettingsStore::standard();
    const int index = sender->selectedSegmentIndex();
    switch (sender->tag()) {
    case settings_row::kSaveFormat:
        if (auto format = saveFormatForSegment(index)) store.setObject(Value(*format), "save_format");
        break;
    case settings_row::kFlash:
        store.setInteger(index, "flash_mode");
        if (auto error = setTorchForFlashMode(index)) consolePrint("Error setting torch mode: " + *error);
        break;
    case settings_row::kGridLines:
        store.setInteger(index, "grid_lines");
        if (auto controller = viewController.lock()) {
            controller->setupGridLines();
            bringSettingsPanelToFront(*controller);
        }
        break;
    case settings_row::kPhotoPreview: store.setInteger(index, "photo_preview"); break;
    default: return;
    }
    store.synchronize();
}

void SettingsPopupView::sliderValueChanged(Slider* sender) {
    const std::string key = sender->accessibilityIdentifier().toStdString();
    SettingsStore::standard().setFloat(sender->value(), key);
    for (const SliderSetting& row : sliders)
        if (row.slider == sender) updateSliderLabel(row.slider, row.label, sender->value(), row.title);
}

void SettingsPopupView::updateSliderLabel(Slider*, Label* label, float value, const QString& title) {
    label->setFont(systemFont(16));
    label->setText(QString::fromStdString(sliderLabelText(title.toStdString(), value)));
}

void SettingsPopupView::updateRelatedSettings(bool isDepthEnabled) {
    if (auto* format = dynamic_cast<SegmentedControl*>(settings[settings_row::kSaveFormat].control))
        format->setEnabled(isDepthEnabled);
}

void SettingsPopupView::rebuildCustomButtonRow(bool hideUnlessEnabled) {
    auto controller = viewController.lock();
    if (!controller) return;
    controller->removeCustomButtons();
    controller->setupCustomButtons();
    if (hideUnlessEnabled) controller->setCustomButtonsHidden(!customButtonSwitch->isOn());
}

void SettingsPopupView::customButtonSwitchChanged(Switch* sender) {
    SettingsStore::standard().setBool(sender->isOn(), "customButtonEnabled");
    rebuildCustomButtonRow(true);
}

void SettingsPopupView::customButtonTextFieldChanged(TextField* sender) {
    SettingsStore::standard().setObject(Value(sender->text().toStdString()), "customButtonText");
    rebuildCustomButtonRow(false);
}

void SettingsPopupView::updateWatermarkButtonTitle() {
    const std::string content = SettingsStore::standard().stringForKey("watermarkContent").value_or("");
    if (content.empty()) {
        watermarkButton->setTitle(localizedText("设置水印内容"));
        return;
    }
    QString title = localizedText("点击编辑水印：%@");
    title.replace("%@", QString::fromStdString(content));
    watermarkButton->setTitle(title);
}

void SettingsPopupView::watermarkButtonTapped() {
    auto controller = viewController.lock();
    if (!controller) return;
    auto alert = Alert::make(localizedText("设置水印内容"), "");
    const QString current = QString::fromStdString(SettingsStore::standard().stringForKey("watermarkContent").value_or(""));
    alert->addTextField([current](Alert::TextField& field) {
        field.placeholder = localizedText("水印输入框");
        field.text = current;
    });
    alert->addAction(localizedText("取消"), AlertActionStyle::Cancel);
    std::weak_ptr<Alert> weakAlert = alert;
    QPointer<SettingsPopupView> self(this);
    alert->addAction(localizedText("保存"), AlertActionStyle::Default, [weakAlert, self] {
        auto shown = weakAlert.lock();
        const std::string text = shown && !shown->textFields().empty() ? shown->textFields()[0].text.toStdString() : "";
        SettingsStore::standard().setObject(Value(text), "watermarkContent");
        if (self) self->updateWatermarkButtonTitle();
    });
    alert->present(controller->view());
}

void SettingsPopupView::openTheme() {
    auto controller = viewController.lock();
    if (!controller) return;
    controller->present(std::make_shared<ThemeSettingsViewController>(controller->screenProfile()));
}

}  // namespace sorvel
