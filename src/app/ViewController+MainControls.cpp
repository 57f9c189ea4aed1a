// The main screen's shutter button, the flash overlay, the haptic generators and the torch.

#include "app/Theme.h"
#include "app/ViewController.h"
#include "platform/capture/CaptureDevice.h"
#include "platform/foundation/SettingsStore.h"

namespace sorvel {

namespace {
constexpr int kShutterTag = 1001;
constexpr int kSecondShutterTag = 1002;

// A ring with a filled disc inside, the look of every shutter button.
Button* makeShutter(View* parent, QRectF frame, double border, double disc, const QColor& colour, int tag) {
    auto* button = new Button(frame, nullptr);
    button->setBackgroundColor(Qt::transparent);
    button->setCornerRadius(frame.width() / 2);
    button->setBorder(border, colour);
    button->setTag(tag);
    button->setAccessibilityIdentifier(tag == kShutterTag ? "captureButton" : "captureButton2");
    double inset = (frame.width() - disc) / 2;
    auto* inner = new View(QRectF(inset, inset, disc, disc), button);
    inner->setBackgroundColor(colour);
    inner->setCornerRadius(disc / 2);
    inner->setUserInteractionEnabled(false);
    parent->addSubview(button);
    return button;
}
}  // namespace

void ViewController::setupCaptureButton() {
    View* root = view();
    for (QObject* child : root->children()) {
        auto* v = dynamic_cast<View*>(child);
        if (v && (v->tag() == kShutterTag || v->tag() == kSecondShutterTag)) {
            v->removeFromSuperview();
            v->deleteLater();
        }
    }
    const double w = root->bounds().width(), h = root->bounds().height();
    QColor text = themeTextColor();
    auto weak = weak_from_this();
    if (!SettingsStore::standard().boolForKey("innovative_dual_capture_mode")) {
        captureButton = makeShutter(root, QRectF(w / 2 - 47, h - 140, 94, 94), 4, 80, text, kShutterTag);
        captureButton->addAction("按下拍照按钮", [weak] {
            if (auto self = weak.lock()) self->按下拍照按钮();
        });
        return;
    }
    captureButton = makeShutter(root, QRectF(w / 2 - 90, h - 140, 85, 85), 3, 74, text, kShutterTag);
    captureButton->addAction("capturePhoto", [weak] {
        if (auto self = weak.lock()) self->capturePhoto();
    });
    QColor faded = text;
    faded.setAlphaF(0.6f);
    Button* second = makeShutter(root, QRectF(w / 2 + 5, h - 140, 85, 85), 3, 74, faded, kSecondShutterTag);
    second->addAction("按下拍照按钮2", [weak] {
        if (auto self = weak.lock()) self->按下拍照按钮2();
    });
}

void ViewController::setupFlashOverlay() {
    flashOverlay = new View(view()->bounds(), nullptr);
    flashOverlay->setBackgroundColor(Qt::black);
    flashOverlay->setAlpha(0.0);
    flashOverlay->setUserInteractionEnabled(false);
    flashOverlay->setAccessibilityIdentifier("flashOverlay");
    view()->addSubview(flashOverlay);
}

void ViewController::updateFeedbackGenerators() {
    isVibrationEnabled = SettingsStore::standard().boolForKey("setting_9");
    if (isVibrationEnabled) {
        feedbackGenerator1 = std::make_unique<ImpactFeedbackGenerator>(ImpactStyle::Heavy);
        feedbackGenerator1->prepare();
    } else {
        feedbackGenerator1.reset();
    }
}

void ViewController::toggleTorch(bool on) {
    auto device = CaptureDevice::defaultDevice(MediaType::Video);
    if (!device || !device->hasTorch()) return;
    device->lockForConfiguration();
    device->setTorchMode(on ? TorchMode::On : TorchMode::Off);
    device->unlockForConfiguration();
}

}  // namespace sorvel
