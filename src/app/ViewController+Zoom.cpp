// Zoom: the device's digital zoom within its range, held at 1 while deep or extreme mode is on,
// the pinch that drives it with a light tick every 0.1, the front camera's remembered zoom and
// the label at the top of the screen.

#include <algorithm>
#include <cmath>

#include "app/themes/ThemeManager.h"
#include "app/ViewController.h"
#include "app/ZoomLabelText.h"
#include "platform/capture/AudioSession.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Label.h"

namespace sorvel {

namespace {
bool isZoomLockedByMode() {
    SettingsStore& settings = SettingsStore::standard();
    return settings.boolForKey("setting_0") || settings.boolForKey("innovative_extreme_mode");
}

QFont systemFont(int size, QFont::Weight weight) {
    QFont font;
    font.setPixelSize(size);
    font.setWeight(weight);
    return font;
}
}  // namespace

void ViewController::setZoomFactor(double factor) {
    if (!currentVideoDeviceInput) return;
    // A non-number is no zoom request (and would otherwise pass through the clamps).
    if (!std::isfinite(factor)) return;
    const bool locked = isZoomLockedByMode();
    const auto& device = currentVideoDeviceInput->device();
    if (auto error = device->lockForConfiguration()) {
        consolePrint("无法设置缩放因子: " + error->description);
        return;
    }
    double zoom = 1.0;
    if (!locked)
        zoom = std::min(std::max(factor, device->minAvailableVideoZoomFactor()), device->maxAvailableVideoZoomFactor());
    device->setVideoZoomFactor(zoom);
    currentZoomFactor = zoom;
    device->unlockForConfiguration();
    updateZoomFactorLabel();
}

void ViewController::saveCurrentZoomFactor() {
    if (getCurrentCameraPosition() == CameraPosition::frontCamera)
        SettingsStore::standard().setDouble(currentZoomFactor, "zoomFactor_frontCamera");
}

void ViewController::loadAndApplySavedZoomFactor() {
    double zoom = 1.0;
    if (getCurrentCameraPosition() == CameraPosition::frontCamera) {
        double saved = SettingsStore::standard().doubleForKey("zoomFactor_frontCamera");
        if (saved > 0) zoom = saved;
    }
    setZoomFactor(zoom);
}

void ViewController::setupPinchGestureForZoom() {
    auto weak = weak_from_this();
    view()->addGestureRecognizer(std::make_unique<PinchGestureRecognizer>([weak](GestureRecognizer& gesture) {
        if (auto self = weak.lock()) self->handlePinchToZoom(static_cast<PinchGestureRecognizer&>(gesture));
    }));
}

void ViewController::handlePinchToZoom(PinchGestureRecognizer& gesture) {
    switch (gesture.state()) {
    case GestureState::Began:
        if (zoomFeedbackGenerator) zoomFeedbackGenerator->prepare();
        lastFeedbackZoomFactor = currentZoomFactor;
        if (auto error = AudioSession::shared().setAllowHapticsAndSystemSoundsDuringRecording(true))
            consolePrint("设置触觉反馈和系统声音允许失败: " + error->description);
        break;
    case GestureState::Changed:
        // The scale goes back to 1 after each event, so every event carries only the change
        // since the one before.
        setZoomFactor(currentZoomFactor * gesture.scale());
        gesture.setScale(1.0);
        checkAndTriggerZoomFeedback();
        break;
    case GestureState::Ended: saveCurrentZoomFactor(); break;
    default: break;
    }
}

void ViewController::checkAndTriggerZoomFeedback() {
    if (std::fabs(currentZoomFactor - lastFeedbackZoomFactor) < 0.1) return;
    if (zoomFeedbackGenerator) {
        zoomFeedbackGenerator->impactOccurred();
        zoomFeedbackGenerator->prepare();
    }
    lastFeedbackZoomFactor = currentZoomFactor;
}

void ViewController::setupZoomFactorLabel() {
    zoomFactorLabel = new Label(QRectF(0, 0, 80, 30), nullptr);
    zoomFactorLabel->setAlignment(Qt::AlignCenter);
    zoomFactorLabel->setTextColor(ThemeManager::textColor());
    zoomFactorLabel->setFont(systemFont(14, QFont::Medium));
    zoomFactorLabel->setBackgroundColor(QColor(0, 0, 0, 77));
    zoomFactorLabel->setCornerRadius(8);
    zoomFactorLabel->setClipsToBounds(true);
    zoomFactorLabel->setAccessibilityIdentifier("zoomFactorLabel");
    view()->addSubview(zoomFactorLabel);
    const double top = safeAreaInsets().top + 16;
    zoomFactorLabel->setFrame(QRectF((view()->bounds().width() - 80) / 2, top, 80, 30));
}

void ViewController::updateZoomFactorLabel() {
    if (!currentVideoDeviceInput || !zoomFactorLabel) return;
    const QColor text = ThemeManager::textColor();
    std::vector<TextRun> runs;
    runs.push_back({QString::fromStdString(zoomLabelCameraName(currentVideoDeviceInput->device()->localizedName())),
                    systemFont(14, QFont::Normal), text});
    runs.push_back({QString::fromStdString(zoomLabelZoomText(currentZoomFactor, isZoomLockedByMode())),
                    systemFont(20, QFont::Bold), text});
    if (auto ev = zoomLabelExposureText(currentExposureTargetBias()))
        runs.push_back({QString::fromStdString(*ev), systemFont(16, QFont::Bold), QColor(Qt::yellow)});
    zoomFactorLabel->setAttributedText(std::move(runs));
    zoomFactorLabel->sizeToFit();
    // At least 80 points wide, 8 points of padding each side, 30 high, centred under the notch.
    const double width = std::max(80.0, zoomFactorLabel->frame().width() + 16);
    zoomFactorLabel->setFrame(
        QRectF((view()->bounds().width() - width) / 2, safeAreaInsets().top + 16, width, 30));
}

}  // namespace sorvel
