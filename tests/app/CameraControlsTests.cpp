// The main screen's camera controls through the running app: switch buttons, zoom and its
// haptics, exposure swipes, focus taps, orientation, the volume-key shutter, the shutter
// layouts, the settings sheet and the custom buttons.

#include <QApplication>
#include <QTest>
#include <fstream>

#include "../platform/ui/UiTestSupport.h"
#include "AppHarness.h"
#include "app/settings/SettingsPopupView.h"
#include "platform/capture/AudioSession.h"
#include "platform/capture/virtual/VirtualRig.h"
#include "platform/motion/Accelerometer.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/Slider.h"
#include "platform/ui/StackView.h"
#include "platform/ui/Window.h"

using namespace sorvel;
using namespace sorvel::testing;

namespace {

class CameraControls : public AppHarness {
protected:
    void SetUp() override {
        AppHarness::SetUp();
        env->settings().registerSeeds({{"quality_setting", 0.5}, {"normal_resolution_scale", 0.25}});
        AudioSession::shared().setOutputVolume(0.5f);
    }
    std::string activeCameraID(ViewController& vc) const {
        return vc.currentVideoDeviceInput ? vc.currentVideoDeviceInput->device()->uniqueID() : "";
    }
    std::vector<View*> subviewsTagged(ViewController& vc, int tag) const {
        std::vector<View*> found;
        for (QObject* child : vc.view()->children())
            if (auto* v = dynamic_cast<View*>(child); v && v->tag() == tag) found.push_back(v);
        return found;
    }
    int softTicks() const {
        int n = 0;
        for (const auto& e : haptics.events())
            if (e.kind == HapticEvent::Kind::Impact && e.style == static_cast<int>(ImpactStyle::Soft)) ++n;
        return n;
    }
    template <typename T>
    T* recognizer(View* view) const {
        for (const auto& r : view->gestureRecognizers())
            if (auto* typed = dynamic_cast<T*>(r.get())) return typed;
        return nullptr;
    }
    static void pinch(PinchGestureRecognizer& g, GestureState state, double scale = 1.0) {
        g.setState(state);
        g.setScale(scale);
        g.fire();
    }
};

}  // namespace

// Buttons in the wrong order or off centre would put the selfie camera under the wrong thumb.
TEST_F(CameraControls, RigWithFrontWideAndTeleGivesThreeCentredButtonsFrontFirst) {
    RigProfile profile = RigProfile::builtIn();
    std::erase_if(profile.cameras, [](const auto& c) { return c.type == DeviceType::BuiltInUltraWideCamera; });
    // Discovery order must not matter: put the telephoto first.
    std::reverse(profile.cameras.begin(), profile.cameras.end());
    VirtualRig::shared().configure(profile);
    auto& vc = startCamera();
    auto cameras = vc.getAllCameras();
    ASSERT_EQ(cameras.size(), 3u);
    EXPECT_EQ(cameras[0]->position(), DevicePosition::Front);
    EXPECT_EQ(cameras[1]->deviceType(), DeviceType::BuiltInWideAngleCamera);
    EXPECT_EQ(cameras[2]->deviceType(), DeviceType::BuiltInTelephotoCamera);
    ASSERT_EQ(vc.cameraSwitchButtons.size(), 3u);
    const double xs[] = {85, 165, 245};
    const char* symbols[] = {"arrow.triangle.2.circlepath.camera", "1.square", "binoculars"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(vc.cameraSwitchButtons[i]->frame(), QRectF(xs[i], 844 - 215, 60, 60));
        EXPECT_EQ(vc.cameraSwitchButtons[i]->symbolName(), symbols[i]);
        EXPECT_EQ(vc.cameraSwitchButtons[i]->tag(), i);
    }
    // The app starts on the back wide camera, and only its button is highlighted.
    EXPECT_EQ(activeCameraID(vc), "sorvel.rig.back.wide");
    EXPECT_EQ(vc.cameraSwitchButtons[1]->borderWidth(), 2);
    EXPECT_EQ(vc.cameraSwitchButtons[0]->borderWidth(), 0);
    EXPECT_EQ(vc.cameraSwitchButtons[2]->borderWidth(), 0);
}

// Tapping the active front camera is the quick way back; the active back camera's button must
// not restart the session.
TEST_F(CameraControls, TappingTheActiveFrontCameraReturnsToTheBackWideCamera) {
    auto& vc = startCamera();
    ASSERT_EQ(vc.cameraSwitchButtons.size(), 4u);
    Button* front = vc.cameraSwitchButtons[0];
    Button* wide = vc.cameraSwitchButtons[2];

    console->clear();
    wide->sendActions();
    runUntilIdle();
    EXPECT_EQ(activeCameraID(vc), "sorvel.rig.back.wide");
    EXPECT_TRUE(consoleLinesStartingWith("切换到摄像头: ").empty()) << "the active back camera did nothing";

    front->sendActions();
    runUntilIdle();
    EXPECT_EQ(activeCameraID(vc), "sorvel.rig.front");
    EXPECT_TRUE(front->animationKeys().contains("bounceAnimation"));
    EXPECT_TRUE(console->contains("is_selfie_camera摄像头: true"));
    EXPECT_EQ(front->borderWidth(), 2);
    EXPECT_EQ(wide->borderWidth(), 0);
    EXPECT_TRUE(vc.filteredImageView->isMirroredHorizontally());

    front->sendActions();
    runUntilIdle();
    EXPECT_EQ(activeCameraID(vc), "sorvel.rig.back.wide");
    EXPECT_FALSE(vc.filteredImageView->isMirroredHorizontally());
    EXPECT_TRUE(pumpUntil([&] { return vc.previewLayer->currentFrame() != nullptr; }, 5));
}

// A failing camera must leave the previous one running rather than a dead preview.
TEST_F(CameraControls, ACameraThatCannotOpenKeepsThePreviousInput) {
    auto& vc = startCamera();
    VirtualRig::shared().injectFault("sorvel.rig.back.telephoto", CaptureFault::DeviceInputCreation);
    vc.cameraSwitchButtons[3]->sendActions();
    runUntilIdle();
    EXPECT_TRUE(console->contains("无法切换到摄像头: 后置长焦相机"));
    EXPECT_EQ(activeCameraID(vc), "sorvel.rig.back.wide");
    ASSERT_FALSE(vc.captureSession->inputs().empty());
    auto before = vc.previewLayer->currentFrame();
    EXPECT_TRUE(pumpUntil([&] { return vc.previewLayer->currentFrame() != before; }, 5)) << "the preview goes on";
}

// Zoom outside the device's range, or away from 1 in deep mode, would break the capture size
// and the deep pipeline.
TEST_F(CameraControls, ZoomClampsToTheDeviceAndLocksAtOneInDeepMode) {
    auto& vc = startCamera();
    vc.setZoomFactor(40);
    EXPECT_DOUBLE_EQ(vc.currentZoomFactor, 15);
    EXPECT_DOUBLE_EQ(vc.currentVideoDeviceInput->device()->videoZoomFactor(), 15);
    vc.setZoomFactor(0.2);
    EXPECT_DOUBLE_EQ(vc.currentZoomFactor, 1);
    vc.setZoomFactor(2.5);
    EXPECT_EQ(vc.zoomFactorLabel->text(), "广角2.5x");

    env->settings().setBool(true, "setting_0");
    vc.setZoomFactor(3);
    EXPECT_DOUBLE_EQ(vc.currentZoomFactor, 1);
    EXPECT_DOUBLE_EQ(vc.currentVideoDeviceInput->device()->videoZoomFactor(), 1);
    EXPECT_EQ(vc.zoomFactorLabel->text(), "广角🔒1x");
    EXPECT_GE(vc.zoomFactorLabel->frame().width(), 80);
    EXPECT_EQ(vc.zoomFactorLabel->frame().top(), 47 + 16);

    env->settings().setBool(false, "setting_0");
    VirtualRig::shared().injectFault("sorvel.rig.back.wide", CaptureFault::LockFailure);
    vc.setZoomFactor(4);
    EXPECT_DOUBLE_EQ(vc.currentZoomFactor, 1);
    EXPECT_FALSE(consoleLinesStartingWith("无法设置缩放因子: ").empty());
}

// A slow pinch should tick once per 0.1 of zoom, not per event, and never with haptics off.
TEST_F(CameraControls, SlowPinchTicksNearEachTenthAndSilentWithHapticsOff) {
    env->settings().setBool(true, "setting_9");
    auto& vc = startCamera();
    auto* g = recognizer<PinchGestureRecognizer>(vc.view());
    ASSERT_NE(g, nullptr);
    std::vector<double> tickedAt;
    haptics.clear();
    pinch(*g, GestureState::Began);
    double previous = 1.0;
    for (int i = 1; i <= 35; ++i) {
        double target = 1.0 + 0.01 * i;
        int ticks = softTicks();
        pinch(*g, GestureState::Changed, target / previous);
        EXPECT_DOUBLE_EQ(g->scale(), 1.0) << "the handler resets the scale";
        previous = vc.currentZoomFactor;
        if (softTicks() > ticks) tickedAt.push_back(vc.currentZoomFactor);
    }
    pinch(*g, GestureState::Ended);
    ASSERT_EQ(tickedAt.size(), 3u) << ::testing::PrintToString(tickedAt);
    EXPECT_NEAR(tickedAt[0], 1.1, 0.011);
    EXPECT_NEAR(tickedAt[1], 1.2, 0.011);
    EXPECT_NEAR(tickedAt[2], 1.3, 0.011);
    EXPECT_NEAR(vc.currentZoomFactor, 1.35, 1e-9);

    env->settings().setBool(false, "setting_9");
    vc.updateVibrationSetting(false);
    EXPECT_EQ(vc.zoomFeedbackGenerator, nullptr);
    EXPECT_EQ(vc.feedbackGenerator1, nullptr);
    haptics.clear();
    pinch(*g, GestureState::Began);
    pinch(*g, GestureState::Changed, 2.0);
    EXPECT_EQ(haptics.count(), 0u);
}

// Only the front camera remembers its zoom; a restart must not carry it to the back camera.
TEST_F(CameraControls, FrontZoomIsRestoredAfterARestart) {
    {
        auto& vc = startCamera();
        vc.cameraSwitchButtons[0]->sendActions();
        runUntilIdle();
        auto* g = recognizer<PinchGestureRecognizer>(vc.view());
        pinch(*g, GestureState::Began);
        pinch(*g, GestureState::Changed, 2.0);
        pinch(*g, GestureState::Ended);
        EXPECT_DOUBLE_EQ(env->settings().doubleForKey("zoomFactor_frontCamera"), 2.0);
        controller->captureSession->stopRunning();
        runUntilIdle();
        controller.reset();
    }
    auto& vc = startCamera();
    EXPECT_EQ(activeCameraID(vc), "sorvel.rig.back.wide");
    EXPECT_DOUBLE_EQ(vc.currentZoomFactor, 1.0);
    vc.cameraSwitchButtons[0]->sendActions();
    runUntilIdle();
    EXPECT_DOUBLE_EQ(vc.currentZoomFactor, 2.0);
    EXPECT_DOUBLE_EQ(vc.currentVideoDeviceInput->device()->videoZoomFactor(), 2.0);
    // A back camera zoom is never written.
    vc.cameraSwitchButtons[2]->sendActions();
    runUntilIdle();
    vc.setZoomFactor(3.0);
    vc.saveCurrentZoomFactor();
    EXPECT_DOUBLE_EQ(env->settings().doubleForKey("zoomFactor_frontCamera"), 2.0);
}

// The rig allows ±8 EV; the swipe must stop at ±5, and the label must show 0.4 but not 0.3.
TEST_F(CameraControls, SwipeExposureClampsAtFiveAndTheLabelShowsOnlyNoticeableBias) {
    auto& vc = startCamera();
    auto* pan = recognizer<PanGestureRecognizer>(vc.view());
    ASSERT_NE(pan, nullptr);
    const double h = vc.view()->bounds().height();
    pan->setState(GestureState::Began);
    pan->fire();
    for (int i = 0; i < 10; ++i) {
        pan->setState(GestureState::Changed);
        pan->setTranslation(QPointF(0, -h));  // a full-height swipe up adds one EV per event
        pan->fire();
    }
    EXPECT_FLOAT_EQ(vc.currentExposureTargetBias(), 5.0f);
    EXPECT_EQ(vc.zoomFactorLabel->text(), "广角1.0x EV5.0");
    pan->setTranslation(QPointF(0, 3 * h));
    for (int i = 0; i < 5; ++i) pan->fire();
    EXPECT_FLOAT_EQ(vc.currentExposureTargetBias(), -5.0f);

    // Sideways only: the bias is re-applied unchanged.
    pan->setTranslation(QPointF(120, 0));
    pan->fire();
    EXPECT_FLOAT_EQ(vc.currentExposureTargetBias(), -5.0f);
    // Only the Changed state moves the bias.
    pan->setState(GestureState::Ended);
    pan->setTranslation(QPointF(0, -h));
    pan->fire();
    EXPECT_FLOAT_EQ(vc.currentExposureTargetBias(), -5.0f);

    vc.adjustExposureCompensation(0.3f, true);
    advance(0.2);  // the label timer refreshes it
    EXPECT_EQ(vc.zoomFactorLabel->text(), "广角1.0x");
    vc.adjustExposureCompensation(0.4f, true);
    advance(0.2);
    EXPECT_EQ(vc.zoomFactorLabel->text(), "广角1.0x EV0.4");
}

// The capture paths read the orientation; the estimate must follow the phone within a sample.
TEST_F(CameraControls, OrientationFollowsTheAccelerometer) {
    auto& vc = startCamera();
    EXPECT_EQ(vc.currentDeviceOrientation.load(), 1);
    SimulatedPhone::shared()->setAttitude(PhoneAttitude::LandscapeRight);
    advance(0.1);
    EXPECT_EQ(vc.currentDeviceOrientation.load(), 4);
    SimulatedPhone::shared()->setAcceleration({-0.5, -0.5, 0});  // exactly 315 degrees
    advance(0.1);
    EXPECT_EQ(vc.currentDeviceOrientation.load(), 1);
    SimulatedPhone::shared()->setAcceleration({0.5, -0.5, 0});  // exactly 45 degrees
    advance(0.1);
    EXPECT_EQ(vc.currentDeviceOrientation.load(), 4);
    SimulatedPhone::shared()->setAttitude(PhoneAttitude::PortraitUpsideDown);
    advance(0.1);
    EXPECT_EQ(vc.currentDeviceOrientation.load(), 2);
    // Laid flat for a top-down shot, the phone keeps the orientation it was held in.
    SimulatedPhone::shared()->setAttitude(PhoneAttitude::LandscapeLeft);
    advance(0.1);
    SimulatedPhone::shared()->setAttitude(PhoneAttitude::FaceUp);
    advance(0.3);
    EXPECT_EQ(vc.currentDeviceOrientation.load(), 3);
}

// A locked device must not swallow the tap silently: the square still shows where it landed.
TEST_F(CameraControls, FocusTapSetsThePointAndAFailedLockStillShowsTheIndicator) {
    auto& vc = startCamera();
    auto* tap = recognizer<TapGestureRecognizer>(vc.view());
    ASSERT_NE(tap, nullptr);
    const auto& device = vc.currentVideoDeviceInput->device();
    tap->setLocation(QPointF(195, 362));  // the preview's centre: 60 points above the view's
    tap->setState(GestureState::Ended);
    tap->fire();
    EXPECT_EQ(device->focusMode(), FocusMode::AutoFocus);
    EXPECT_NEAR(device->focusPointOfInterest().x, 0.5, 0.01);
    EXPECT_NEAR(device->focusPointOfInterest().y, 0.5, 0.01);
    EXPECT_EQ(device->exposureMode(), ExposureMode::AutoExpose);

    VirtualRig::shared().injectFault("sorvel.rig.back.wide", CaptureFault::LockFailure);
    tap->setLocation(QPointF(100, 200));
    tap->fire();
    EXPECT_FALSE(consoleLinesStartingWith("无法设置对焦点: ").empty());
    auto indicators = vc.view()->findChildren<View*>("focusIndicator");
    ASSERT_EQ(indicators.size(), 2u);
    EXPECT_EQ(indicators.back()->frame(), QRectF(80, 180, 40, 40));
    advance(0.25);
    EXPECT_DOUBLE_EQ(indicators.back()->presentationAlpha(), 1.0);
    advance(0.5 + 0.25 + 0.05);
    runUntilIdle();
    EXPECT_TRUE(vc.view()->findChildren<View*>("focusIndicator").empty()) << "the squares fade and go";
}

// Custom labels are commands; each must reach the right control, and junk must be reported.
TEST_F(CameraControls, CustomButtonsRunTheirCommands) {
    // A stand-in for the desktop's folder opener records what it was asked to open.
    std::filesystem::path bin = folder->path() / "bin";
    std::filesystem::create_directories(bin);
    std::filesystem::path opened = folder->path() / "opened.txt";
    {
        std::ofstream script(bin / "xdg-open");
        script << "#!/bin/sh\necho \"$1\" > '" << opened.string() << "'\n";
    }
    std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (bin.string() + ":" + oldPath).c_str(), 1);

    env->settings().setBool(true, "customButtonEnabled");
    env->settings().setObject(Value("  相册 2x  2倍 0.5 1.5 +1ev 1ev +1 -0.7ev -0.7 0ev EV   abc "), "customButtonText");
    auto& vc = startCamera();
    ASSERT_NE(vc.customButtonsStackView, nullptr);
    auto buttons = vc.customButtonsStackView->arrangedSubviews();
    ASSERT_EQ(buttons.size(), 13u);
    ASSERT_NE(vc.customButtonsScrollView, nullptr);
    EXPECT_EQ(vc.customButtonsScrollView->frame().bottom(), 844 - 230);
    EXPECT_NEAR(vc.customButtonsScrollView->frame().center().x(), 195, 0.5);
    auto tap = [&](int i) {
        static_cast<Button*>(buttons[i])->sendActions();
        runUntilIdle();
    };
    const auto& device = vc.currentVideoDeviceInput->device();
    tap(1);
    EXPECT_DOUBLE_EQ(vc.currentZoomFactor, 2.0);
    EXPECT_TRUE(console->contains("切换倍数: 2.0"));
    tap(3);
    EXPECT_DOUBLE_EQ(vc.currentZoomFactor, 1.0) << "0.5 is clamped to the camera's minimum";
    tap(4);
    EXPECT_DOUBLE_EQ(vc.currentZoomFactor, 1.5);
    for (int i : {5, 6, 7}) {
        device->lockForConfiguration();
        device->setExposureTargetBias(-2, nullptr);
        device->unlockForConfiguration();
        tap(i);
        EXPECT_FLOAT_EQ(vc.currentExposureTargetBias(), 1.0f) << i;
    }
    tap(8);
    EXPECT_FLOAT_EQ(vc.currentExposureTargetBias(), -0.7f);
    EXPECT_TRUE(console->contains("调整曝光: -0.7"));
    tap(10);
    EXPECT_FLOAT_EQ(vc.currentExposureTargetBias(), 0.0f);
    console->clear();
    tap(11);
    EXPECT_EQ(console->lines(), std::vector<std::string>{"按钮点击: ev"}) << "EV parses to nothing and does nothing";
    tap(12);
    EXPECT_TRUE(console->contains("无法识别的按钮操作: abc"));
    tap(0);
    EXPECT_TRUE(console->contains("按钮点击: 相册"));
    std::ifstream in(opened);
    std::string openedFolder;
    std::getline(in, openedFolder);
    EXPECT_EQ(openedFolder, PhotoLibrary::shared().folder().string());
    setenv("PATH", oldPath.c_str(), 1);

    // Deep mode holds the zoom at 1 even for a zoom button.
    env->settings().setBool(true, "setting_0");
    tap(1);
    EXPECT_DOUBLE_EQ(vc.currentZoomFactor, 1.0);

    // Switched off: the row goes away when rebuilt.
    env->settings().setBool(false, "customButtonEnabled");
    vc.setupCustomButtons();
    EXPECT_TRUE(vc.customButtonsStackView->isHidden());
    EXPECT_TRUE(vc.customButtonsScrollView->isHidden()) << "a hidden row must not keep its band of the preview";
}

// Thirteen buttons are 616 points wide on a 390-point screen: the row keeps 20 points clear of
// each side and slides, so the last button, out of sight at first, is reached by a drag and then
// taken by a click, both through the window.
TEST_F(CameraControls, AWideCustomButtonRowScrollsToItsLastButton) {
    env->settings().setBool(true, "customButtonEnabled");
    env->settings().setObject(Value("1x 2x 3x 4x 5x 6x 7x 8x 9x 1ev 2ev 3ev last"), "customButtonText");
    auto& vc = startCamera();
    showTopLevel(*vc.view());
    runUntilIdle();
    ScrollView* scroll = vc.customButtonsScrollView;
    ASSERT_NE(scroll, nullptr);
    EXPECT_EQ(scroll->frame(), QRectF(20, 844 - 270, 350, 40));
    auto buttons = vc.customButtonsStackView->arrangedSubviews();
    ASSERT_EQ(buttons.size(), 13u);
    QWidget* last = buttons.back();
    auto onScreen = [&](QWidget* w) {
        const QRect r(w->mapTo(vc.view(), QPoint(0, 0)), w->size());
        return scroll->geometry().contains(r);
    };
    EXPECT_TRUE(onScreen(buttons.front()));
    EXPECT_FALSE(onScreen(last));

    Pointer mouse{vc.view()};
    const QPoint inRow = scroll->geometry().center();
    mouse.drag(inRow, inRow - QPoint(400, 0), 10);
    runUntilIdle();
    EXPECT_DOUBLE_EQ(scroll->contentOffset().x(), 616 - 350) << "dragged to the row's end";
    ASSERT_TRUE(onScreen(last));
    console->clear();
    mouse.click(last->mapTo(vc.view(), last->rect().center()));
    runUntilIdle();
    EXPECT_TRUE(console->contains("无法识别的按钮操作: last"));
}

// The volume keys are a shutter: at full volume "up" changes nothing and must not shoot, "down"
// shoots once and the volume returns to full.
TEST_F(CameraControls, VolumeKeysShootAndTheVolumeIsRestored) {
    AudioSession::shared().setOutputVolume(1.0f);
    auto& vc = startCamera();
    ASSERT_FLOAT_EQ(vc.initialVolume, 1.0f);
    Window window(vc);
    window.makeKeyAndVisible();
    runUntilIdle();

    QTest::keyClick(&window, Qt::Key_VolumeUp);
    runUntilIdle();
    advance(0.05);
    EXPECT_TRUE(outcomes().empty());

    QTest::keyClick(&window, Qt::Key_Minus);
    EXPECT_LT(AudioSession::shared().outputVolume(), 1.0f);
    advance(0.01);
    runUntilIdle();
    EXPECT_FLOAT_EQ(AudioSession::shared().outputVolume(), 1.0f);
    ASSERT_TRUE(pumpUntil([&] { return !outcomes().empty() && !vc.isProcessingPhoto; }, 600));
    advance(0.05);
    runUntilIdle();
    EXPECT_EQ(outcomes().size(), 1u) << "restoring the volume takes no second photo";
    EXPECT_TRUE(outcomes()[0].success) << outcomes()[0].message;
    EXPECT_EQ(PhotoLibrary::shared().assets().size(), 1u);
    AudioSession::shared().setOutputVolume(0.5f);
}

// Switching the dual layout off must leave exactly one 94-point shutter, not a stale second.
TEST_F(CameraControls, DualShutterLayoutAndItsRemoval) {
    env->settings().setBool(true, "innovative_dual_capture_mode");
    auto& vc = startCamera();
    auto left = subviewsTagged(vc, 1001), right = subviewsTagged(vc, 1002);
    ASSERT_EQ(left.size(), 1u);
    ASSERT_EQ(right.size(), 1u);
    EXPECT_EQ(left[0]->frame(), QRectF(195 - 90, 844 - 140, 85, 85));
    EXPECT_EQ(right[0]->frame(), QRectF(195 + 5, 844 - 140, 85, 85));
    EXPECT_EQ(static_cast<Button*>(right[0])->actionNames(), std::vector<std::string>{"按下拍照按钮2"});

    env->settings().setBool(false, "innovative_dual_capture_mode");
    vc.setupCaptureButton();
    EXPECT_TRUE(subviewsTagged(vc, 1002).empty());
    auto single = subviewsTagged(vc, 1001);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0]->frame(), QRectF(195 - 47, 844 - 140, 94, 94));
}

// The sheet opens from below; a tap outside it (on the overlay) closes it and frees it, with
// real mouse input.
TEST_F(CameraControls, SettingsSheetOpensAndATapOutsideClosesIt) {
    auto& vc = startCamera();
    Window window(vc);
    window.makeKeyAndVisible();
    runUntilIdle();
    ASSERT_NE(vc.settingsButton, nullptr);
    EXPECT_EQ(vc.settingsButton->frame(), QRectF(40, 844 - 120, 60, 60));
    EXPECT_EQ(vc.settingsButton->symbolName(), "gearshape");
    QTest::mouseClick(vc.settingsButton, Qt::LeftButton, {}, QPoint(30, 30));
    runUntilIdle();
    ASSERT_NE(vc.settingsPopupView, nullptr);
    EXPECT_EQ(vc.settingsPopupView->frame(), QRectF(0, 844 - 422, 390, 422));
    advance(0.35);
    EXPECT_EQ(vc.settingsPopupView->presentationFrame().top(), 422);

    QTest::mouseClick(vc.overlayView, Qt::LeftButton, {}, QPoint(200, 150));
    runUntilIdle();
    ASSERT_NE(vc.settingsPopupView, nullptr) << "closing slides down first";
    EXPECT_EQ(vc.settingsPopupView->frame().top(), 844);
    advance(0.35);
    runUntilIdle();
    EXPECT_EQ(vc.settingsPopupView, nullptr);
    EXPECT_EQ(vc.overlayView, nullptr);
    // (findChildren cannot tell the sheet from other widgets: it has no meta-object of its own.)
    for (QWidget* w : vc.view()->findChildren<QWidget*>())
        EXPECT_EQ(dynamic_cast<SettingsPopupView*>(w), nullptr) << "the closed sheet is gone from the screen";
    // A fresh sheet next time.
    vc.openSettings();
    EXPECT_NE(vc.settingsPopupView, nullptr);
}
