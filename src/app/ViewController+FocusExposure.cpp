// Tap to focus with its fading square, the vertical swipe that sets exposure compensation, and
// the orientation estimate from the accelerometer.

#include <QPointer>

#include "app/DeviceOrientationEstimate.h"
#include "app/PreviewView.h"
#include "app/ViewController.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Dispatch.h"
#include "platform/ui/Animation.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Slider.h"

namespace sorvel {

void ViewController::setupTapGestureForFocus() {
    auto weak = weak_from_this();
    view()->addGestureRecognizer(std::make_unique<TapGestureRecognizer>([weak](GestureRecognizer& gesture) {
        if (auto self = weak.lock()) self->handleTapToFocus(gesture);
    }));
}

void ViewController::handleTapToFocus(GestureRecognizer& gesture) {
    const QPointF p = gesture.locationInView(view());
    view()->setFocus();  // takes the keyboard from any text field
    if (currentVideoDeviceInput) {
        // The preview sits 60 points above the view's centre; the sensor point is read in the
        // preview's own coordinates, so the point under the finger is the one focused.
        QPointF inPreview = previewView ? p - previewView->frame().topLeft() : p;
        CapturePoint q = previewLayer ? previewLayer->captureDevicePointOfInterestForPoint(inPreview.x(), inPreview.y())
                                      : CapturePoint{0.5, 0.5};
        const auto& device = currentVideoDeviceInput->device();
        if (auto error = device->lockForConfiguration()) {
            consolePrint("无法设置对焦点: " + error->description);
        } else {
            if (device->isFocusPointOfInterestSupported()) {
                device->setFocusPointOfInterest(q);
                device->setFocusMode(FocusMode::AutoFocus);
            }
            // Manual exposure stays as the user set it.
            if (!isProModeEnabled && device->isExposurePointOfInterestSupported()) {
                device->setExposurePointOfInterest(q);
                device->setExposureMode(ExposureMode::AutoExpose);
            }
            device->unlockForConfiguration();
            if (isProModeEnabled) {
                // Let the manual focus follow where auto focus settled.
                DispatchQueue::main().asyncAfter(1.0, weakly(shared_from_this(), [](ViewController& self) {
                    if (!self.focusSlider || !self.currentVideoDeviceInput) return;
                    self.focusSlider->setValue(self.currentVideoDeviceInput->device()->lensPosition());
                    self.focusSlider->sendActions();
                }));
            }
        }
    }
    showFocusIndicator(p);
}

void ViewController::showFocusIndicator(QPointF point) {
    auto* indicator = new View(QRectF(point.x() - 20, point.y() - 20, 40, 40), nullptr);
    indicator->setBorder(1, Qt::yellow);
    indicator->setAlpha(0);
    indicator->setUserInteractionEnabled(false);
    indicator->setAccessibilityIdentifier("focusIndicator");
    view()->addSubview(indicator);
    QPointer<View> guard(indicator);
    animate(0.25, [indicator] { indicator->setAlpha(1); }, [guard](bool) {
        if (!guard) return;
        View* shown = guard;
        animate(0.25, [shown] { shown->setAlpha(0); },
                [guard](bool) {
                    if (!guard) return;
                    guard->removeFromSuperview();
                    guard->deleteLater();
                },
                AnimationOptions{.delay = 0.5});
    });
}

void ViewController::setupVerticalSwipeGesture() {
    auto weak = weak_from_this();
    view()->addGestureRecognizer(std::make_unique<PanGestureRecognizer>([weak](GestureRecognizer& gesture) {
        if (auto self = weak.lock()) self->handleVerticalSwipe(static_cast<PanGestureRecognizer&>(gesture));
    }));
    exposureUpdateTimer = Timer::scheduled(0.2, true, [weak](Timer& timer) {
        if (auto self = weak.lock())
            self->updateZoomFactorLabel();
        else
            timer.invalidate();
    });
}

void ViewController::handleVerticalSwipe(PanGestureRecognizer& gesture) {
    if (gesture.state() != GestureState::Changed) return;
    const QPointF t = gesture.translationInView(view());
    const double h = view()->bounds().height();
    // Upwards is brighter. The translation counts from touch-down and is never reset, so each
    // event adds the whole distance travelled so far: the further the finger, the faster.
    const auto delta = static_cast<float>(-(t.y() / h));
    adjustExposureCompensation(delta, false);
    updateZoomFactorLabel();
}

void ViewController::adjustExposureCompensation(float value, bool isAbsolute) {
    if (!currentVideoDeviceInput) return;
    const auto& device = currentVideoDeviceInput->device();
    if (auto error = device->lockForConfiguration()) {
        consolePrint("无法调整曝光补偿: " + error->description);
        return;
    }
    const float target = exposureBiasTarget(device->exposureTargetBias(), value, isAbsolute,
                                            device->minExposureTargetBias(), device->maxExposureTargetBias());
    device->setExposureTargetBias(target, nullptr);
    exposureSteps.record(target);
    device->unlockForConfiguration();
}

float ViewController::currentExposureTargetBias() const {
    return currentVideoDeviceInput ? currentVideoDeviceInput->device()->exposureTargetBias() : 0.0f;
}

void ViewController::startMonitoringDeviceOrientation() {
    if (!motionManager->isAccelerometerAvailable()) {
        consolePrint("加速度传感器不可用");
        return;
    }
    motionManager->setAccelerometerUpdateInterval(0.1);
    motionManager->startAccelerometerUpdates(
        [weak = weak_from_this()](const std::optional<AccelerometerData>& data) {
            if (auto self = weak.lock()) self->updateOrientation(data);
        });
}

void ViewController::updateOrientation(const std::optional<AccelerometerData>& data) {
    if (!data) return;
    if (!hasInPlaneGravity(data->acceleration.x, data->acceleration.y)) return;
    currentDeviceOrientation = deviceOrientationForAcceleration(data->acceleration.x, data->acceleration.y);
}

}  // namespace sorvel
