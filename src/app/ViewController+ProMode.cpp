// Pro mode: the button, the panel that slides up with the shutter, ISO, focus and white-balance
// sliders, and the device calls behind them. Leaving pro mode hands exposure, focus and white
// balance back to the camera's continuous automatic modes.

#include <QPainter>
#include <QPointer>
#include <algorithm>
#include <cmath>

#include "app/themes/ThemeManager.h"
#include "app/ViewController.h"
#include "app/pro/ManualValues.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/foundation/Value.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Label.h"
#include "platform/ui/Slider.h"

namespace sorvel {

namespace {

constexpr double kPanelHeight = 160;
// The panel's top, above the bottom edge, while pro mode is on.
constexpr double kPanelRise = 382;

std::shared_ptr<CaptureDevice> deviceOf(const std::shared_ptr<DeviceInput>& input) {
    return input ? input->device() : nullptr;
}

// A number as the platform prints one: shortest form, and "32.0" rather than "32".
std::string numberText(double value) {
    std::string text = shortestDecimal(value);
    if (text.find_first_of(".eni") == std::string::npos) text += ".0";
    return text;
}

// Label text updates are queued, as the device call comes first.
void setLabelTextLater(Label* label, std::string text) {
    QPointer<Label> guard(label);
    DispatchQueue::main().async([guard, text = std::move(text)] {
        if (guard) guard->setText(QString::fromStdString(text));
    });
}

void setLabelText(Label* label, const std::string& text) {
    if (label) label->setText(QString::fromStdString(text));
}

}  // namespace

void ViewController::setupProModeButton() {
    const double w = view()->bounds().width(), h = view()->bounds().height();
    proModeButton = new Button(QRectF(std::min(w - 100, w / 2 + 120), h - 120, 60, 60), nullptr);
    proModeButton->setSymbol("slider.horizontal.3");
    proModeButton->setImageInsets(12);
    QColor tint = ThemeManager::textColor();
    tint.setAlphaF(0.5f);
    proModeButton->setTintColor(tint);
    proModeButton->setBackgroundColor(QColor(170, 170, 170, 13));
    proModeButton->setCornerRadius(30);
    proModeButton->setAccessibilityIdentifier("proModeButton");
    proModeButton->addAction("toggleProMode", [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->toggleProMode();
    });
    view()->addSubview(proModeButton);
}

void ViewController::setupProModePanel() {
    const double w = view()->bounds().width(), h = view()->bounds().height();
    proModePanel = new View(QRectF(0, h, w, kPanelHeight), nullptr);
    proModePanel->setBackgroundColor(Qt::transparent);
    proModePanel->setShadow(ThemeManager::bgColor(), 1.0, 6);
    proModePanel->setAccessibilityIdentifier("proModePanel");
    view()->addSubview(proModePanel);
    setupShutterSpeedControl();
    setupISOControl();
    setupFocusControl();
    setupWhiteBalanceControl();
}

namespace {
Label* addValueLabel(View* panel, double x, double y, const char* identifier) {
    auto* label = new Label(QRectF(x, y, 150, 20), nullptr);
    QFont font;
    font.setPixelSize(20);
    label->setFont(font);
    label->setAlpha(0.8);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setTextColor(ThemeManager::textColor());
    // A label lies over the slider's left end; touches go through it, as a phone's labels let them.
    label->setUserInteractionEnabled(false);
    label->setAccessibilityIdentifier(identifier);
    panel->addSubview(label);
    return label;
}

}  // namespace

// One row of the panel: the slider at `y` across the panel, its value label 5 points lower.
Slider* ViewController::addSliderRow(double y, const char* name, void (ViewController::*handler)(Slider*),
                                     double labelX, Label*& label) {
    auto* slider = createCustomSlider(QRectF(20, y, proModePanel->bounds().width() - 40, 30));
    slider->setAccessibilityIdentifier(QString(name) + "Slider");
    slider->addAction(std::string(name) + "Changed", [weak = weak_from_this(), slider, handler] {
        if (auto self = weak.lock()) ((*self).*handler)(slider);
    });
    proModePanel->addSubview(slider);
    label = addValueLabel(proModePanel, labelX, y + 5, (std::string(name) + "ValueLabel").c_str());
    return slider;
}

void ViewController::setupShutterSpeedControl() {
    shutterSpeedSlider = addSliderRow(10, "shutterSpeed", &ViewController::shutterSpeedChanged, 20, shutterSpeedValueLabel);
}

void ViewController::setupISOControl() {
    isoSlider = addSliderRow(50, "iso", &ViewController::isoChanged, 20, isoValueLabel);
}

void ViewController::setupFocusControl() {
    focusSlider = addSliderRow(90, "focus", &ViewController::focusChanged, 20, focusValueLabel);
}

void ViewController::setupWhiteBalanceControl() {
    // The last row's label sits at the right end, clear of the others' column.
    whiteBalanceSlider = addSliderRow(130, "whiteBalance", &ViewController::whiteBalanceChanged,
                                      proModePanel->bounds().width() - 170, whiteBalanceValueLabel);
}

Slider* ViewController::createCustomSlider(QRectF frame) {
    auto* slider = new Slider(frame, nullptr);
    slider->setRange(0.0f, 1.0f);
    // The thumb: a 40 x 15 bar with rounded ends in the theme's text colour.
    const double scale = screenProfile().scale;
    QImage thumb(QSize(static_cast<int>(40 * scale), static_cast<int>(15 * scale)), QImage::Format_ARGB32_Premultiplied);
    thumb.fill(Qt::transparent);
    thumb.setDevicePixelRatio(scale);
    {
        QPainter painter(&thumb);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ThemeManager::textColor());
        painter.drawRoundedRect(QRectF(0, 0, 40, 15), 7, 7);
    }
    slider->setThumbImage(thumb);
    QColor track = ThemeManager::bgColor();
    track.setAlphaF(0.2f);
    slider->setMinimumTrackTintColor(track);
    slider->setMaximumTrackTintColor(track);
    slider->setDrawingScale(1.0, 2.0);
    slider->setAlpha(0.6);
    return slider;
}

void ViewController::toggleProMode() {
    isProModeEnabled = !isProModeEnabled;
    isWaveformVisible = isProModeEnabled;
    const bool showWaveform = SettingsStore::standard().boolForKey("setting_6");
    if (isProModeEnabled && waveformView) waveformView->setHidden(false);

    const double h = view()->bounds().height();
    auto weak = weak_from_this();
    animate(0.3, [weak, h, showWaveform] {
        auto self = weak.lock();
        if (!self) return;
        if (self->proModePanel) {
            QRectF f = self->proModePanel->frame();
            f.moveTop(self->isProModeEnabled ? h - kPanelRise : h);
            self->proModePanel->setFrame(f);
        }
        const bool shown = showWaveform && self->isProModeEnabled;
        self->waveformTopConstraint = shown ? 20 : -100;
        if (self->waveformView) self->waveformView->setAlpha(shown ? 1.0 : 0.0);
        self->layoutWaveformView();
    }, [weak, showWaveform](bool) {
        auto self = weak.lock();
        if (!self || !self->waveformView) return;
        if (!(self->isProModeEnabled && showWaveform)) self->waveformView->setHidden(true);
    });

    auto device = deviceOf(currentVideoDeviceInput);
    if (!isProModeEnabled) {
        enableAutoExposure();
        if (!device) return;
        if (auto error = device->lockForConfiguration()) {
            consolePrint("无法重置对焦和白平衡: " + error->description);
            return;
        }
        if (device->isFocusModeSupported(FocusMode::ContinuousAutoFocus))
            device->setFocusMode(FocusMode::ContinuousAutoFocus);
        if (device->isWhiteBalanceModeSupported(WhiteBalanceMode::ContinuousAutoWhiteBalance))
            device->setWhiteBalanceMode(WhiteBalanceMode::ContinuousAutoWhiteBalance);
        device->unlockForConfiguration();
        return;
    }
    enableManualExposure();
    if (!device) return;
    const CaptureDeviceFormat format = device->activeFormat();
    const auto iso = static_cast<float>(device->iso());
    if (isoSlider)
        isoSlider->setValue(
            isoPositionForValue(iso, static_cast<float>(format.minISO), static_cast<float>(format.maxISO)));
    setLabelText(isoValueLabel, isoLabelText(iso));
    const double seconds = device->exposureDuration();
    if (shutterSpeedSlider)
        shutterSpeedSlider->setValue(
            shutterPositionForSeconds(seconds, format.minExposureDuration, format.maxExposureDuration));
    setLabelText(shutterSpeedValueLabel, formatShutterSpeed(static_cast<float>(seconds)));
    if (focusSlider) {
        focusSlider->setValue(0.5f);
        setLabelText(focusValueLabel, "👓F      0.50");
        focusChanged(focusSlider);
    }
    // The device's white balance is left alone until the slider moves; the label says 5000 K
    // meanwhile, though the thumb's middle stands for 5500 K.
    if (whiteBalanceSlider) whiteBalanceSlider->setValue(0.5f);
    setLabelText(whiteBalanceValueLabel, whiteBalanceLabelText(5000));
}

void ViewController::enableManualExposure() {
    auto device = deviceOf(currentVideoDeviceInput);
    if (!device) return;
    if (auto error = device->lockForConfiguration()) {
        consolePrint("无法启用手动曝光模式: " + error->description);
        return;
    }
    if (device->isExposureModeSupported(ExposureMode::Custom)) device->setExposureMode(ExposureMode::Custom);
    device->unlockForConfiguration();
}

void ViewController::enableAutoExposure() {
    auto device = deviceOf(currentVideoDeviceInput);
    if (!device) return;
    if (auto error = device->lockForConfiguration()) {
        consolePrint("无法启用自动曝光模式: " + error->description);
        return;
    }
    if (device->isExposureModeSupported(ExposureMode::ContinuousAutoExposure))
        device->setExposureMode(ExposureMode::ContinuousAutoExposure);
    device->unlockForConfiguration();
}

std::string ViewController::formatShutterSpeed(float seconds) const { return sorvel::formatShutterSpeed(seconds); }

void ViewController::shutterSpeedChanged(Slider* slider) {
    auto device = deviceOf(currentVideoDeviceInput);
    if (!device || !slider) return;
    const CaptureDeviceFormat format = device->activeFormat();
    const auto seconds = static_cast<float>(
        shutterSecondsForPosition(slider->value(), format.minExposureDuration, format.maxExposureDuration));
    setLabelTextLater(shutterSpeedValueLabel, formatShutterSpeed(seconds));
    if (isProModeEnabled) applyManualExposureSettings(ShutterSpeed{seconds});
}

void ViewController::applyManualExposureSettings(ShutterSpeed shutterSpeed) {
    auto device = deviceOf(currentVideoDeviceInput);
    if (!device) return;
    if (auto error = device->lockForConfiguration()) {
        consolePrint("无法调整快门速度: " + error->description);
        return;
    }
    const CaptureDeviceFormat format = device->activeFormat();
    double seconds = std::clamp(static_cast<double>(shutterSpeed.seconds), format.minExposureDuration,
                                format.maxExposureDuration);
    // Durations travel in nanoseconds, as the platform's time values do.
    seconds = std::round(seconds * 1e9) / 1e9;
    device->setExposureModeCustom(seconds, device->iso(), nullptr);
    device->unlockForConfiguration();
}

void ViewController::isoChanged(Slider* slider) {
    auto device = deviceOf(currentVideoDeviceInput);
    if (!device || !slider) return;
    const CaptureDeviceFormat format = device->activeFormat();
    const float iso =
        isoForPosition(slider->value(), static_cast<float>(format.minISO), static_cast<float>(format.maxISO));
    setLabelTextLater(isoValueLabel, isoLabelText(iso));
    if (isProModeEnabled) applyManualExposureSettings(ISOPosition{slider->value()});
}

void ViewController::applyManualExposureSettings(ISOPosition iso) {
    auto device = deviceOf(currentVideoDeviceInput);
    if (!device) return;
    if (auto error = device->lockForConfiguration()) {
        consolePrint("无法调整 ISO: " + error->description);
        return;
    }
    const CaptureDeviceFormat format = device->activeFormat();
    const float value =
        isoForPosition(iso.position, static_cast<float>(format.minISO), static_cast<float>(format.maxISO));
    device->setExposureModeCustom(device->exposureDuration(), value, nullptr);
    device->unlockForConfiguration();
}

void ViewController::focusChanged(Slider* slider) {
    auto device = deviceOf(currentVideoDeviceInput);
    if (!device || !slider) return;
    if (auto error = device->lockForConfiguration()) {
        consolePrint("无法调整对焦: " + error->description);
        return;
    }
    if (device->isFocusModeSupported(FocusMode::Locked)) {
        const float position = slider->value();
        device->setFocusModeLocked(position, [](double) { consolePrint("对焦已调整"); });
        setLabelTextLater(focusValueLabel, focusLabelText(position));
    }
    device->unlockForConfiguration();
}

void ViewController::whiteBalanceChanged(Slider* slider) {
    auto device = deviceOf(currentVideoDeviceInput);
    if (!device || !slider) return;
    if (auto error = device->lockForConfiguration()) {
        consolePrint("无法调整白平衡: " + error->description);
        return;
    }
    const float temperature = whiteBalanceTemperatureForPosition(slider->value());
    const WhiteBalanceGains gains = clampedWhiteBalanceGains(
        device->deviceWhiteBalanceGainsForTemperatureAndTint({temperature, 0}), device->maxWhiteBalanceGain());
    device->setWhiteBalanceModeLocked(gains, [](double) { consolePrint("白平衡已调整"); });
    device->unlockForConfiguration();
    setLabelTextLater(whiteBalanceValueLabel, whiteBalanceLabelText(temperature));
}

void ViewController::refreshSliderRanges() {
    consolePrint("开始刷新滑动条范围");
    auto device = deviceOf(currentVideoDeviceInput);
    if (!device) {
        consolePrint("无法获取当前相机设备");
        return;
    }
    consolePrint("当前设备: " + device->localizedName());
    const CaptureDeviceFormat format = device->activeFormat();
    if (isoSlider) isoSlider->setRange(0.0f, 1.0f);
    consolePrint("ISO 范围已更新: " + numberText(static_cast<float>(format.minISO)) + " - " +
                 numberText(static_cast<float>(format.maxISO)));
    if (shutterSpeedSlider) shutterSpeedSlider->setRange(0.0f, 1.0f);
    consolePrint("快门速度范围已更新: " + numberText(format.minExposureDuration) + " - " +
                 numberText(format.maxExposureDuration));
    consolePrint("滑动条范围刷新完成");
}

}  // namespace sorvel
