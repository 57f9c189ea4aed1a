// The main screen's shutter button(s), the volume keys as a shutter, the settings button and its
// sheet, the flash overlay, the haptic generators, the torch and the custom button row.

#include <QPointer>

#include "app/CustomButtonCommand.h"
#include "app/settings/SettingsPopupView.h"
#include "app/themes/ThemeManager.h"
#include "app/ViewController.h"
#include "platform/capture/AudioSession.h"
#include "platform/capture/CaptureDevice.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/photos/GalleryOpener.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/Animation.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/Slider.h"
#include "platform/ui/StackView.h"
#include "platform/ui/VolumeView.h"

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
    // Removing a view changes the child list: walk a copy.
    const QObjectList children = root->children();
    for (QObject* child : children) {
        auto* v = dynamic_cast<View*>(child);
        if (v && (v->tag() == kShutterTag || v->tag() == kSecondShutterTag)) {
            v->removeFromSuperview();
            v->deleteLater();
        }
    }
    const double w = root->bounds().width(), h = root->bounds().height();
    QColor text = ThemeManager::textColor();
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
        zoomFeedbackGenerator = std::make_unique<ImpactFeedbackGenerator>(ImpactStyle::Soft);
        feedbackGenerator1->prepare();
        zoomFeedbackGenerator->prepare();
    } else {
        feedbackGenerator1.reset();
        zoomFeedbackGenerator.reset();
    }
}

void ViewController::updateVibrationSetting(bool on) {
    isVibrationEnabled = on;
    updateFeedbackGenerators();
}

void ViewController::toggleTorch(bool on) {
    auto device = CaptureDevice::defaultDevice(MediaType::Video);
    if (!device || !device->hasTorch()) return;
    device->lockForConfiguration();
    device->setTorchMode(on ? TorchMode::On : TorchMode::Off);
    device->unlockForConfiguration();
}

void ViewController::setupVolumeView() {
    volumeView = new VolumeView(nullptr);
    volumeView->setFrame(QRectF(-1000, -1000, 0, 0));
    view()->addSubview(volumeView);
    volumeView->setUserInteractionEnabled(false);
}

void ViewController::volumeDidChange(float newVolume) {
    // Either key takes a picture; the volume then goes back to where it was, and that change
    // (equal to the start volume) takes none.
    if (newVolume > initialVolume || newVolume < initialVolume) capturePhoto();
    setSystemVolume(initialVolume);
}

void ViewController::setSystemVolume(float value) {
    if (!volumeView) return;
    Slider* slider = nullptr;
    for (QObject* child : volumeView->children())
        if ((slider = dynamic_cast<Slider*>(child))) break;
    if (!slider) return;
    QPointer<Slider> guard(slider);
    DispatchQueue::main().asyncAfter(0.01, [guard, value] {
        if (guard) guard->setValue(value);
    });
}

void ViewController::setupSettingsButton() {
    const double w = view()->bounds().width(), h = view()->bounds().height();
    settingsButton = new Button(QRectF(std::max(40.0, w / 2 - 180), h - 120, 60, 60), nullptr);
    settingsButton->setSymbol("gearshape");
    settingsButton->setImageInsets(12);
    QColor tint = ThemeManager::textColor();
    tint.setAlphaF(0.5f);
    settingsButton->setTintColor(tint);
    settingsButton->setBackgroundColor(QColor(170, 170, 170, 13));
    settingsButton->setCornerRadius(30);
    settingsButton->setAccessibilityIdentifier("settingsButton");
    settingsButton->addAction("openSettings", [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->openSettings();
    });
    view()->addSubview(settingsButton);
}

void ViewController::openSettings() {
    const double w = view()->bounds().width(), h = view()->bounds().height();
    auto weak = weak_from_this();
    if (!settingsPopupView) {
        const double panelWidth = std::min(w, 454.0), panelHeight = h / 2;
        settingsPopupView = new SettingsPopupView(QRectF((w - panelWidth) / 2, h, panelWidth, panelHeight), weak);
        overlayView = new View(view()->bounds(), nullptr);
        overlayView->setBackgroundColor(QColor(255, 0, 0, 0));
        overlayView->setAccessibilityIdentifier("settingsOverlay");
        overlayView->addGestureRecognizer(std::make_unique<TapGestureRecognizer>([weak](GestureRecognizer&) {
            if (auto self = weak.lock()) self->closeSettings();
        }));
        settingsPopupView->setCloseAction([weak] {
            if (auto self = weak.lock()) self->closeSettings();
        });
        view()->addSubview(overlayView);
        view()->addSubview(settingsPopupView);
    }
    SettingsPopupView* panel = settingsPopupView;
    animate(0.3, [panel, h] {
        QRectF f = panel->frame();
        f.moveTop(h - f.height());
        panel->setFrame(f);
    });
}

void ViewController::closeSettings() {
    if (!settingsPopupView) return;
    const double h = view()->bounds().height();
    QPointer<SettingsPopupView> panel(settingsPopupView);
    QPointer<View> overlay(overlayView);
    animate(0.3, [panel, h] {
        QRectF f = panel->frame();
        f.moveTop(h);
        panel->setFrame(f);
    }, [weak = weak_from_this(), panel, overlay](bool) {
        // The next opening builds a fresh sheet.
        for (QPointer<View> v : {QPointer<View>(panel), overlay})
            if (v) {
                v->removeFromSuperview();
                v->deleteLater();
            }
        if (auto self = weak.lock()) {
            if (self->settingsPopupView == panel) self->settingsPopupView = nullptr;
            if (self->overlayView == overlay) self->overlayView = nullptr;
        }
    });
}

void ViewController::setupCustomButtons() {
    SettingsStore& settings = SettingsStore::standard();
    const std::string text = settings.stringForKey("customButtonText").value_or("");
    if (!settings.boolForKey("customButtonEnabled") || text.empty()) {
        setCustomButtonsHidden(true);
        return;
    }
    auto* row = new StackView(QRectF(), nullptr);
    row->setSpacing(8);
    row->setAccessibilityIdentifier("customButtons");
    auto weak = weak_from_this();
    QFont font;
    font.setPixelSize(12);
    for (const std::string& title : customButtonTitles(text)) {
        auto* button = new Button(QRectF(0, 0, 40, 40), nullptr);
        button->setTitle(QString::fromStdString(title));
        button->setTitleFont(font);
        button->setTitleColor(Qt::white);
        button->setBackgroundColor(Qt::transparent);
        button->setBorder(1, QColor(170, 170, 170, 77));
        button->setShadow(Qt::black, 0.5, 3);
        button->setCornerRadius(20);
        button->addAction("customButtonTapped", [weak, button] {
            if (auto self = weak.lock()) self->customButtonTapped(button);
        });
        row->addArrangedSubview(button);
    }
    row->layoutArranged();
    // Centred, its bottom 230 points above the view's, 20 points clear of either side. A row
    // wider than that scrolls sideways under a finger or the wheel, so that every button can
    // be reached rather than cut off at the edge.
    const double w = view()->bounds().width(), h = view()->bounds().height();
    const QSizeF fitting = row->fittingSize();
    const double width = std::min(fitting.width(), w - 40);
    row->setFrame(QRectF(0, 0, fitting.width(), 40));
    auto* scroll = new ScrollView(QRectF((w - width) / 2, h - 230 - 40, width, 40), nullptr);
    scroll->setAccessibilityIdentifier("customButtonsScroll");
    scroll->addSubview(row);
    scroll->sizeContentToFit();
    view()->addSubview(scroll);
    customButtonsStackView = row;
    customButtonsScrollView = scroll;
}

void ViewController::setCustomButtonsHidden(bool hidden) {
    if (customButtonsScrollView) customButtonsScrollView->setHidden(hidden);
    if (customButtonsStackView) customButtonsStackView->setHidden(hidden);
}

void ViewController::removeCustomButtons() {
    if (customButtonsScrollView) {
        customButtonsScrollView->removeFromSuperview();
        customButtonsScrollView->deleteLater();
    }
    customButtonsScrollView = nullptr;
    customButtonsStackView = nullptr;
}

void ViewController::customButtonTapped(Button* sender) {
    if (!sender || sender->title().isEmpty()) return;
    const CustomButtonCommand command = customButtonCommand(sender->title().toStdString());
    consolePrint("按钮点击: " + command.label);
    switch (command.kind) {
    case CustomButtonCommand::Kind::OpenPhotoLibrary:
        // The platform's gallery: the library folder in the desktop's file handler.
        openGallery(PhotoLibrary::shared().folder(), [](const std::optional<std::string>& error) {
            if (error) consolePrint("无法打开相册: " + *error);
        });
        break;
    case CustomButtonCommand::Kind::Zoom:
        if (command.zoom) {
            setZoomFactor(*command.zoom);
            consolePrint("切换倍数: " + describeNumber(*command.zoom));
        }
        break;
    case CustomButtonCommand::Kind::Exposure:
        if (command.exposure) {
            adjustExposureCompensation(*command.exposure, true);
            consolePrint("调整曝光: " + describeNumber(*command.exposure));
        }
        break;
    case CustomButtonCommand::Kind::Unrecognized: consolePrint("无法识别的按钮操作: " + command.label); break;
    }
}

}  // namespace sorvel
