// Pro mode and the waveform monitor through the running app: the button, the sliding panel and
// its sliders moved with the mouse, what reaches the camera, what a photo shows, and the frame
// handler's order on frames of known content.

#include <QMouseEvent>
#include <QTest>
#include <cmath>
#include <set>

#include "AppHarness.h"
#include "app/pro/ManualValues.h"
#include "platform/capture/virtual/Scene.h"
#include "platform/capture/virtual/SensorModel.h"
#include "platform/capture/virtual/VirtualRig.h"
#include "platform/image/RenderContext.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Label.h"
#include "platform/ui/Slider.h"
#include "platform/ui/Window.h"

using namespace sorvel;
using namespace sorvel::testing;

namespace {

constexpr double kHeight = 844;

// A mouse event at a fractional point of `widget`.
void sendMouse(QWidget* widget, QEvent::Type type, QPointF at) {
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

// Where on `slider` a finger stands for `value` (the widget's own coordinates).
double xForValue(const Slider* slider, float value) {
    double lo = 0, hi = slider->width();
    for (int i = 0; i < 60; ++i) {
        double mid = (lo + hi) / 2;
        (slider->valueAtX(mid) < value ? lo : hi) = mid;
    }
    return hi;
}

// Drags the thumb from where it is to `value` and lets go there.
void slide(Slider* slider, float value) {
    const double y = slider->height() / 2.0;
    sendMouse(slider, QEvent::MouseButtonPress, QPointF(xForValue(slider, slider->value()), y));
    sendMouse(slider, QEvent::MouseMove, QPointF(xForValue(slider, (slider->value() + value) / 2), y));
    sendMouse(slider, QEvent::MouseMove, QPointF(xForValue(slider, value), y));
    sendMouse(slider, QEvent::MouseButtonRelease, QPointF(xForValue(slider, value), y));
}

std::string text(const Label* label) { return label ? label->text().toStdString() : "(no label)"; }

class ProMode : public AppHarness {
protected:
    void SetUp() override {
        AppHarness::SetUp();
        env->settings().registerSeeds({{"quality_setting_2", 1.0}, {"normal_resolution_scale", 1.0}, {"setting_2", false}});
        // The welcome has been answered: its alert would lie over the window.
        env->settings().setBool(true, "isFirstLaunch");
    }
    // The camera, in a window, as a person sees it.
    ViewController& open() {
        auto& vc = startCamera();
        window = std::make_unique<Window>(vc);
        window->makeKeyAndVisible();
        runUntilIdle();
        return vc;
    }
    void TearDown() override {
        window.reset();
        AppHarness::TearDown();
    }
    void pressProModeButton(ViewController& vc) {
        QTest::mouseClick(vc.proModeButton, Qt::LeftButton, {}, QPoint(30, 30));
        runUntilIdle();
    }
    std::shared_ptr<CaptureDevice> device(ViewController& vc) const { return vc.currentVideoDeviceInput->device(); }
    std::unique_ptr<Window> window;
};

}  // namespace

// The button opens the panel from below with the sliders where the camera is: a panel left
// off screen, or sliders that jump when first touched, would make pro mode unusable.
TEST_F(ProMode, ButtonSlidesThePanelUpWithTheSlidersOnTheCamerasValues) {
    auto& vc = open();
    ASSERT_TRUE(vc.proModeButton && vc.proModePanel);
    EXPECT_EQ(vc.proModeButton->frame(), QRectF(std::min(390.0 - 100, 195.0 + 120), kHeight - 120, 60, 60));
    EXPECT_EQ(vc.proModeButton->symbolName(), "slider.horizontal.3");
    EXPECT_EQ(vc.proModePanel->frame(), QRectF(0, kHeight, 390, 160));
    for (Slider* s : {vc.shutterSpeedSlider, vc.isoSlider, vc.focusSlider, vc.whiteBalanceSlider}) {
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->frame().width(), 350);
        EXPECT_EQ(s->minimumValue(), 0.0f);
        EXPECT_EQ(s->maximumValue(), 1.0f);
    }
    auto camera = device(vc);
    const double iso = camera->iso(), seconds = camera->exposureDuration();
    const CaptureDeviceFormat format = camera->activeFormat();

    pressProModeButton(vc);
    EXPECT_TRUE(vc.isProModeEnabled);
    EXPECT_TRUE(vc.isWaveformVisible.load());
    EXPECT_EQ(vc.proModePanel->frame().top(), kHeight - 382);
    EXPECT_EQ(camera->exposureMode(), ExposureMode::Custom);
    EXPECT_FLOAT_EQ(vc.isoSlider->value(), isoPositionForValue(float(iso), float(format.minISO), float(format.maxISO)));
    EXPECT_EQ(text(vc.isoValueLabel), isoLabelText(float(iso)));
    EXPECT_NEAR(shutterSecondsForPosition(vc.shutterSpeedSlider->value(), format.minExposureDuration,
                                          format.maxExposureDuration),
                seconds, seconds * 1e-5);
    EXPECT_EQ(text(vc.shutterSpeedValueLabel), formatShutterSpeed(float(seconds)));
    // The lens is locked half way; the white balance is left alone, its label says 5000 K.
    EXPECT_EQ(camera->focusMode(), FocusMode::Locked);
    EXPECT_FLOAT_EQ(camera->lensPosition(), 0.5f);
    EXPECT_EQ(text(vc.focusValueLabel), "👓F      0.50");
    EXPECT_EQ(vc.whiteBalanceSlider->value(), 0.5f);
    EXPECT_EQ(text(vc.whiteBalanceValueLabel), "🌓WB  5000K");
    EXPECT_EQ(camera->whiteBalanceMode(), WhiteBalanceMode::ContinuousAutoWhiteBalance);
    EXPECT_TRUE(pumpUntil([&] { return console->contains("对焦已调整"); }, 3));

    // The exposure stays put in manual mode: the automatic control must not move it.
    pumpUntil([] { return false; }, 10);
    EXPECT_EQ(camera->iso(), iso);
    EXPECT_EQ(camera->exposureDuration(), seconds);

    pressProModeButton(vc);
    EXPECT_FALSE(vc.isProModeEnabled);
    EXPECT_EQ(vc.proModePanel->frame().top(), kHeight);
    EXPECT_EQ(camera->exposureMode(), ExposureMode::ContinuousAutoExposure);
    EXPECT_EQ(camera->focusMode(), FocusMode::ContinuousAutoFocus);
}

// The shutter slider's ends are the format's ends and its middle their geometric mean; the
// label follows in its two forms and the camera gets the duration at its present ISO.
TEST_F(ProMode, ShutterSliderSetsTheDurationOnALogarithmicScale) {
    auto& vc = open();
    pressProModeButton(vc);
    auto camera = device(vc);
    const double iso = camera->iso();
    slide(vc.shutterSpeedSlider, 1.0f);
    runUntilIdle();
    EXPECT_DOUBLE_EQ(camera->exposureDuration(), 1.0);
    EXPECT_EQ(text(vc.shutterSpeedValueLabel), "⏱️SS   1.0s");
    slide(vc.shutterSpeedSlider, 0.0f);
    runUntilIdle();
    EXPECT_DOUBLE_EQ(camera->exposureDuration(), 1e-4);
    EXPECT_EQ(text(vc.shutterSpeedValueLabel), "⏱️SS   1/10000s");
    slide(vc.shutterSpeedSlider, 0.5f);
    runUntilIdle();
    EXPECT_NEAR(camera->exposureDuration(), 0.01, 1e-9);
    EXPECT_EQ(text(vc.shutterSpeedValueLabel), "⏱️SS   1/100s");
    EXPECT_EQ(camera->iso(), iso);
    EXPECT_EQ(camera->exposureMode(), ExposureMode::Custom);
}

// ISO moves only the label while pro mode is off (the panel is then below the screen), and
// sets the camera's ISO at its present duration when on; the ends are the format's.
TEST_F(ProMode, IsoSliderEndsAndTheLabelOnlyMoveWhileOff) {
    auto& vc = open();
    auto camera = device(vc);
    pumpUntil([] { return false; }, 10);
    const ExposureMode before = camera->exposureMode();
    slide(vc.isoSlider, 1.0f);
    runUntilIdle();
    EXPECT_EQ(text(vc.isoValueLabel), "📶ISO 3200");
    EXPECT_EQ(camera->exposureMode(), before) << "pro mode off: nothing reaches the camera";
    EXPECT_LT(camera->iso(), 3200);

    pressProModeButton(vc);
    const double seconds = camera->exposureDuration();
    slide(vc.isoSlider, 1.0f);
    runUntilIdle();
    EXPECT_EQ(camera->iso(), 3200);
    slide(vc.isoSlider, 0.0f);
    runUntilIdle();
    EXPECT_EQ(camera->iso(), 32);
    EXPECT_EQ(text(vc.isoValueLabel), "📶ISO 32");
    EXPECT_EQ(camera->exposureDuration(), seconds);
}

// White balance: 3000 K and 8000 K at the ends, the camera locked to the gains for them (each
// inside 1 .. the maximum), and the console line once a frame used them.
TEST_F(ProMode, WhiteBalanceSliderLocksTheGainsForItsTemperature) {
    auto& vc = open();
    pressProModeButton(vc);
    auto camera = device(vc);
    slide(vc.whiteBalanceSlider, 0.0f);
    runUntilIdle();
    EXPECT_EQ(text(vc.whiteBalanceValueLabel), "🌓WB  3000K");
    EXPECT_EQ(camera->whiteBalanceMode(), WhiteBalanceMode::Locked);
    WhiteBalanceGains expected = clampedWhiteBalanceGains(
        camera->deviceWhiteBalanceGainsForTemperatureAndTint({3000, 0}), camera->maxWhiteBalanceGain());
    EXPECT_EQ(camera->deviceWhiteBalanceGains().blueGain, expected.blueGain);
    EXPECT_EQ(camera->deviceWhiteBalanceGains().redGain, expected.redGain);
    slide(vc.whiteBalanceSlider, 1.0f);
    runUntilIdle();
    EXPECT_EQ(text(vc.whiteBalanceValueLabel), "🌓WB  8000K");
    WhiteBalanceGains warm = camera->deviceWhiteBalanceGains();
    EXPECT_GT(warm.redGain, expected.redGain) << "8000 K light needs more red than 3000 K";
    for (float g : {warm.redGain, warm.greenGain, warm.blueGain}) {
        EXPECT_GE(g, 1.0f);
        EXPECT_LE(g, camera->maxWhiteBalanceGain());
    }
    EXPECT_TRUE(pumpUntil([&] { return console->contains("白平衡已调整"); }, 3));
}

// With the monitor switched off in the settings, pro mode leaves it hidden and clear; with it
// on, it slides to 20 points below the safe area and fades in, and goes again with pro mode.
TEST_F(ProMode, WaveformFollowsProModeOnlyWhenTheSettingAsks) {
    auto& vc = open();
    ASSERT_NE(vc.waveformView, nullptr);
    EXPECT_EQ(vc.waveformView->frame(), QRectF(75, 47 - 100, 240, 100));
    EXPECT_EQ(vc.waveformView->alpha(), 0.0);
    EXPECT_FALSE(vc.waveformView->isHidden()) << "present from start-up, only transparent";

    pressProModeButton(vc);
    advance(0.35);
    EXPECT_TRUE(vc.waveformView->isHidden());
    EXPECT_EQ(vc.waveformView->alpha(), 0.0);
    pressProModeButton(vc);
    advance(0.35);

    env->settings().setBool(true, "setting_6");
    pressProModeButton(vc);
    EXPECT_FALSE(vc.waveformView->isHidden());
    EXPECT_EQ(vc.waveformView->frame(), QRectF(75, 47 + 20, 240, 100));
    advance(0.15);
    EXPECT_GT(vc.waveformView->presentationAlpha(), 0.0);
    EXPECT_LT(vc.waveformView->presentationAlpha(), 1.0) << "it fades in";
    advance(0.2);
    EXPECT_EQ(vc.waveformView->presentationAlpha(), 1.0);
    ASSERT_TRUE(pumpUntil([&] { return !vc.waveformView->image().isNull(); }, 12)) << "live frames reach the monitor";

    pressProModeButton(vc);
    EXPECT_EQ(vc.waveformView->frame().top(), 47 - 100);
    advance(0.35);
    EXPECT_TRUE(vc.waveformView->isHidden());
}

// On, off, on: each entry reads the camera again (the automatic exposure moved meanwhile), and
// leaving restores the continuous modes even after the lens and white balance were locked.
TEST_F(ProMode, ReenteringRereadsTheCameraAndLeavingRestoresAutomaticModes) {
    auto& vc = open();
    auto camera = device(vc);
    pressProModeButton(vc);
    slide(vc.whiteBalanceSlider, 0.9f);
    slide(vc.focusSlider, 0.8f);
    runUntilIdle();
    EXPECT_EQ(camera->focusMode(), FocusMode::Locked);
    EXPECT_EQ(camera->whiteBalanceMode(), WhiteBalanceMode::Locked);
    pressProModeButton(vc);
    EXPECT_EQ(camera->focusMode(), FocusMode::ContinuousAutoFocus);
    EXPECT_EQ(camera->whiteBalanceMode(), WhiteBalanceMode::ContinuousAutoWhiteBalance);
    EXPECT_EQ(camera->exposureMode(), ExposureMode::ContinuousAutoExposure);

    // Meanwhile the camera goes elsewhere; the next entry must show where it is now.
    ASSERT_FALSE(camera->lockForConfiguration());
    camera->setExposureModeCustom(1.0 / 8, 640, nullptr);
    camera->setExposureMode(ExposureMode::ContinuousAutoExposure);
    camera->unlockForConfiguration();
    const double iso = camera->iso(), seconds = camera->exposureDuration();
    pressProModeButton(vc);
    EXPECT_EQ(text(vc.isoValueLabel), isoLabelText(float(iso)));
    EXPECT_EQ(text(vc.shutterSpeedValueLabel), "⏱️SS   1/8s");
    EXPECT_EQ(seconds, 1.0 / 8);
    EXPECT_EQ(text(vc.focusValueLabel), "👓F      0.50");
    EXPECT_FLOAT_EQ(camera->lensPosition(), 0.5f);
}

// A camera that cannot be locked: each operation prints its own line and changes nothing.
TEST_F(ProMode, LockFailuresPrintTheirLinesAndChangeNothing) {
    auto& vc = open();
    auto camera = device(vc);
    VirtualRig::shared().injectFault(camera->uniqueID(), CaptureFault::LockFailure);
    const ExposureMode mode = camera->exposureMode();
    pressProModeButton(vc);
    EXPECT_EQ(consoleLinesStartingWith("无法启用手动曝光模式: ").size(), 1u);
    EXPECT_EQ(consoleLinesStartingWith("无法调整对焦: ").size(), 1u);
    EXPECT_EQ(camera->exposureMode(), mode);
    slide(vc.shutterSpeedSlider, 0.2f);
    slide(vc.isoSlider, 0.7f);
    slide(vc.whiteBalanceSlider, 0.1f);
    runUntilIdle();
    EXPECT_FALSE(consoleLinesStartingWith("无法调整快门速度: ").empty());
    EXPECT_FALSE(consoleLinesStartingWith("无法调整 ISO: ").empty());
    EXPECT_FALSE(consoleLinesStartingWith("无法调整白平衡: ").empty());
    EXPECT_EQ(text(vc.whiteBalanceValueLabel), "🌓WB  5000K") << "the label moves only after the device call";
    pressProModeButton(vc);
    EXPECT_EQ(consoleLinesStartingWith("无法启用自动曝光模式: ").size(), 1u);
    const auto reset = consoleLinesStartingWith("无法重置对焦和白平衡: ");
    ASSERT_EQ(reset.size(), 1u);
    EXPECT_NE(reset[0].find("busy"), std::string::npos) << "the error's description follows the prefix";
}

// A camera switch keeps pro mode on and logs the new camera's ranges (read from its format).
TEST_F(ProMode, CameraSwitchKeepsProModeAndLogsTheNewRanges) {
    auto& vc = open();
    pressProModeButton(vc);
    console->clear();
    ASSERT_EQ(vc.cameraSwitchButtons.size(), 4u);
    QTest::mouseClick(vc.cameraSwitchButtons[0], Qt::LeftButton, {}, QPoint(30, 30));
    runUntilIdle();
    EXPECT_TRUE(vc.isProModeEnabled);
    EXPECT_EQ(vc.proModePanel->frame().top(), kHeight - 382);
    const std::vector<std::string> expected{"开始刷新滑动条范围", "当前设备: 前置相机", "ISO 范围已更新: 25.0 - 2000.0",
                                            "快门速度范围已更新: 0.0001 - 0.5", "滑动条范围刷新完成"};
    const auto lines = console->lines();
    auto first = std::find(lines.begin(), lines.end(), expected[0]);
    ASSERT_NE(first, lines.end());
    EXPECT_EQ(std::vector<std::string>(first, first + std::min<std::ptrdiff_t>(5, lines.end() - first)), expected);
    // The sliders now drive the front camera, within its own ranges.
    slide(vc.isoSlider, 1.0f);
    runUntilIdle();
    EXPECT_EQ(device(vc)->iso(), 2000);
    EXPECT_EQ(text(vc.isoValueLabel), "📶ISO 2000");
}

// In manual mode a tap focuses without touching the exposure, and a second later the real
// focus slider (and its label and the locked lens) follows where the auto focus settled.
TEST_F(ProMode, TapToFocusInManualModeFeedsTheFocusSlider) {
    auto& vc = open();
    pressProModeButton(vc);
    auto camera = device(vc);
    slide(vc.isoSlider, 0.3f);
    runUntilIdle();
    const double iso = camera->iso();
    QTest::mouseClick(vc.view(), Qt::LeftButton, {}, QPoint(195, 420));
    runUntilIdle();
    EXPECT_EQ(camera->focusMode(), FocusMode::AutoFocus);
    EXPECT_EQ(camera->exposureMode(), ExposureMode::Custom);
    float settled = -1;
    ASSERT_TRUE(pumpUntil([&] { return camera->focusMode() == FocusMode::Locked; }, 40));
    settled = vc.focusSlider->value();
    EXPECT_NE(settled, 0.5f) << "the slider moved off the entry value";
    EXPECT_FLOAT_EQ(camera->lensPosition(), settled);
    runUntilIdle();
    EXPECT_EQ(text(vc.focusValueLabel), focusLabelText(settled));
    EXPECT_EQ(camera->iso(), iso);
}

namespace {

// A decoded photo, 8-bit sRGB RGBA, rows top down.
struct Pixels {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
    const std::uint8_t* at(int x, int y) const { return &rgba[(std::size_t(y) * width + x) * 4]; }
};

Pixels decode(const Bytes& heic) {
    Pixels p;
    auto picture = image::Image::fromBytes(heic);
    if (!picture) return p;
    auto bitmap = image::RenderContext().render(*picture, picture->extent(), image::PixelFormat::RGBA8,
                                                image::ColorSpace::SRGB);
    if (!bitmap) return p;
    p.width = bitmap->width(), p.height = bitmap->height();
    p.rgba.resize(std::size_t(p.width) * p.height * 4);
    for (int y = 0; y < p.height; ++y) std::copy_n(bitmap->row(y), p.width * 4, &p.rgba[std::size_t(y) * p.width * 4]);
    return p;
}

struct Stats {
    double meanLuma = 0, red = 0, blue = 0;
};
Stats stats(const Pixels& p) {
    Stats s;
    const double n = double(p.width) * p.height;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const std::uint8_t* q = p.at(x, y);
            s.meanLuma += (0.2126 * q[0] + 0.7152 * q[1] + 0.0722 * q[2]) / n;
            s.red += q[0] / n, s.blue += q[2] / n;
        }
    return s;
}

// Noise between two pictures of the same scene and settings: the spread of their difference
// in green (byte 1 of every 4), where neither is clipped.
double greenNoise(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    double sum = 0, sum2 = 0, n = 0;
    for (std::size_t i = 1; i < a.size() && i < b.size(); i += 4) {
        if (a[i] > 250 || b[i] > 250 || a[i] < 5 || b[i] < 5) continue;
        const double d = double(a[i]) - b[i];
        sum += d, sum2 += d * d, ++n;
    }
    return n > 0 ? std::sqrt(std::max(0.0, sum2 / n - (sum / n) * (sum / n))) : 0;
}
double noiseBetween(const Pixels& a, const Pixels& b) { return greenNoise(a.rgba, b.rgba); }

// A rectangle of the scene (its units: the back wide camera sees x -0.75 .. 0.75, y -1 .. 1 up).
struct SceneRect {
    double left, bottom, right, top;
};

// Detail (mean step between neighbours, green) where an upright photo of the back wide camera
// shows `r`.
double detail(const Pixels& p, SceneRect r) {
    const int x0 = int((r.left / 1.5 + 0.5) * p.width), x1 = int((r.right / 1.5 + 0.5) * p.width);
    const int y0 = int((0.5 - r.top / 2) * p.height), y1 = int((0.5 - r.bottom / 2) * p.height);
    double sum = 0, n = 0;
    for (int y = std::max(0, y0); y < std::min(p.height, y1); ++y)
        for (int x = std::max(1, x0); x < std::min(p.width, x1); ++x)
            sum += std::abs(int(p.at(x, y)[1]) - int(p.at(x - 1, y)[1])), ++n;
    return n > 0 ? sum / n : 0;
}

}  // namespace

// What the sliders say must show in the picture, not only in the camera's fields: a longer
// shutter is brighter, a higher ISO (at the same brightness) noisier, 8000 K warmer, and a
// nearer focus sharpens the near ground and blurs the far buildings.
TEST_F(ProMode, PhotosShowTheManualValues) {
    // A small sensor keeps each photo quick; the optics and noise are the same per pixel.
    RigProfile profile = RigProfile::builtIn();
    for (auto& camera : profile.cameras) camera.sensor = {1024, 768};
    VirtualRig::shared().configure(profile);
    env->settings().setObject(Value(0), "flash_mode");
    auto& vc = open();
    auto camera = device(vc);
    pumpUntil([] { return false; }, 30);  // automatic exposure and focus settle
    std::set<std::string> seen;
    auto shoot = [&] {
        const std::size_t before = PhotoLibrary::shared().assets().size();
        QTest::mouseClick(vc.captureButton, Qt::LeftButton, {}, QPoint(47, 47));
        EXPECT_TRUE(pumpUntil([&] { return PhotoLibrary::shared().assets().size() > before && !vc.isProcessingPhoto; }, 300));
        for (const auto& asset : PhotoLibrary::shared().assets())
            if (seen.insert(asset.localIdentifier).second)
                if (auto bytes = PhotoLibrary::shared().resourceData(asset.localIdentifier, 0)) return decode(*bytes);
        return Pixels{};
    };
    const double autoSeconds = camera->exposureDuration(), autoIso = camera->iso();
    const float autoLens = camera->lensPosition();
    const Pixels auto1 = shoot();
    ASSERT_EQ(auto1.width, 768) << "upright";

    pressProModeButton(vc);
    const CaptureDeviceFormat format = camera->activeFormat();
    auto set = [&](Slider* slider, float position) {
        slide(slider, position);
        runUntilIdle();
        pumpUntil([] { return false; }, 2);  // the next frame is made with it
    };
    auto shutterAt = [&](double seconds) {
        return shutterPositionForSeconds(seconds, format.minExposureDuration, format.maxExposureDuration);
    };
    auto isoAt = [&](double iso) { return isoPositionForValue(float(iso), float(format.minISO), float(format.maxISO)); };
    set(vc.focusSlider, autoLens);
    set(vc.isoSlider, isoAt(autoIso));
    set(vc.shutterSpeedSlider, shutterAt(autoSeconds * 3));
    const Pixels longer = shoot();
    EXPECT_GT(stats(longer).meanLuma, stats(auto1).meanLuma * 1.3) << "a shutter three times longer";

    // The same light through ISO 100 times higher and a shutter 100 times shorter (both pairs
    // brighter than the automatic exposure, so that the short shutter is within the format).
    set(vc.isoSlider, 0.0f);
    set(vc.shutterSpeedSlider, shutterAt(0.01));
    const Pixels quiet1 = shoot(), quiet2 = shoot();
    set(vc.isoSlider, 1.0f);
    set(vc.shutterSpeedSlider, 0.0f);
    EXPECT_EQ(camera->iso() * camera->exposureDuration(), 3200 * 1e-4);
    const Pixels noisy1 = shoot(), noisy2 = shoot();
    EXPECT_NEAR(stats(noisy1).meanLuma, stats(quiet1).meanLuma, stats(quiet1).meanLuma * 0.05);
    EXPECT_GT(noiseBetween(noisy1, noisy2), noiseBetween(quiet1, quiet2) * 3) << "ISO 3200 against 32";

    set(vc.isoSlider, isoAt(autoIso));
    set(vc.shutterSpeedSlider, shutterAt(autoSeconds));
    set(vc.whiteBalanceSlider, 1.0f);
    const Pixels warm = shoot();
    EXPECT_GT(stats(warm).red / stats(warm).blue, stats(auto1).red / stats(auto1).blue * 1.1) << "8000 K";

    // The colour chart stands 3 m away, the buildings 60 m.
    set(vc.whiteBalanceSlider, 0.5f);
    set(vc.focusSlider, 0.0f);
    const Pixels infinity = shoot();
    set(vc.focusSlider, SensorModel::lensPositionFor(camera->description(), 1 / Scene::kChartDepth));
    const Pixels near = shoot();
    double chartLeft = 1e9, chartRight = -1e9, chartBottom = 1e9, chartTop = -1e9;
    for (int i = 0; i < 24; ++i) {
        const auto c = Scene::chartPatchCentre(i);
        chartLeft = std::min(chartLeft, c[0]), chartRight = std::max(chartRight, c[0]);
        chartBottom = std::min(chartBottom, c[1]), chartTop = std::max(chartTop, c[1]);
    }
    const SceneRect chart{chartLeft, chartBottom, chartRight, chartTop};
    const SceneRect buildings{-0.6, 0.2, 0.6, 0.5};
    // (The measure includes the noise, which no focus changes: the steps look small.)
    EXPECT_LT(detail(near, buildings), detail(auto1, buildings) * 0.9) << "the far buildings blur";
    EXPECT_LT(detail(near, buildings), detail(infinity, buildings) * 0.9);
    EXPECT_GT(detail(near, chart), detail(infinity, chart) * 1.15) << "the chart sharpens";
}

namespace {
struct FrameStats {
    double meanLuma = 0, redOverBlue = 0;
};
FrameStats frameStats(const PixelBuffer& f) {
    double luma = 0, red = 0, blue = 0;
    const double n = double(f.width) * f.height;
    for (std::size_t i = 0; i < f.bgra.size(); i += 4) {
        luma += (0.0722 * f.bgra[i] + 0.7152 * f.bgra[i + 1] + 0.2126 * f.bgra[i + 2]) / n;
        blue += f.bgra[i] / n, red += f.bgra[i + 2] / n;
    }
    return {luma, red / blue};
}
double frameNoise(const PixelBuffer& a, const PixelBuffer& b) { return greenNoise(a.bgra, b.bgra); }
}  // namespace

// The live preview shows the values as the photo does: brighter for a longer shutter, noisier
// at the same brightness for a higher ISO, warmer at 8000 K.
TEST_F(ProMode, PreviewShowsTheManualValues) {
    auto& vc = open();
    pumpUntil([] { return false; }, 30);
    auto frame = [&] {
        pumpUntil([] { return false; }, 2);
        return vc.previewLayer->currentFrame();
    };
    const auto automatic = frame();
    pressProModeButton(vc);
    auto camera = device(vc);
    const CaptureDeviceFormat format = camera->activeFormat();
    const float autoShutter = vc.shutterSpeedSlider->value(), autoIso = vc.isoSlider->value();
    auto shutterAt = [&](double seconds) {
        return shutterPositionForSeconds(seconds, format.minExposureDuration, format.maxExposureDuration);
    };
    slide(vc.shutterSpeedSlider, shutterAt(camera->exposureDuration() * 3));
    const auto longer = frame();
    EXPECT_GT(frameStats(*longer).meanLuma, frameStats(*automatic).meanLuma * 1.3);

    slide(vc.isoSlider, 0.0f);
    slide(vc.shutterSpeedSlider, shutterAt(0.01));
    const auto quiet1 = frame(), quiet2 = frame();
    slide(vc.isoSlider, 1.0f);
    slide(vc.shutterSpeedSlider, 0.0f);
    const auto noisy1 = frame(), noisy2 = frame();
    EXPECT_NEAR(frameStats(*noisy1).meanLuma, frameStats(*quiet1).meanLuma, frameStats(*quiet1).meanLuma * 0.05);
    EXPECT_GT(frameNoise(*noisy1, *noisy2), frameNoise(*quiet1, *quiet2) * 3);

    slide(vc.isoSlider, autoIso);
    slide(vc.shutterSpeedSlider, autoShutter);
    slide(vc.whiteBalanceSlider, 1.0f);
    const auto warm = frame();
    EXPECT_GT(frameStats(*warm).redOverBlue, frameStats(*automatic).redOverBlue * 1.1);
}

namespace {
// A BGRA frame of one grey level, as the camera would deliver one.
SampleBuffer greyFrame(std::uint8_t level, std::uint64_t number) {
    auto buffer = std::make_shared<PixelBuffer>();
    buffer->width = 128, buffer->height = 96, buffer->bytesPerRow = 128 * 4;
    buffer->bgra.assign(std::size_t(buffer->bytesPerRow) * buffer->height, level);
    for (std::size_t i = 3; i < buffer->bgra.size(); i += 4) buffer->bgra[i] = 255;
    return SampleBuffer{buffer, Clock::current().now(), number};
}

// The rows of the monitor's picture that hold anything, in output rows from the bottom (the
// picture is the 120 x 50 waveform scaled by 2 points x 3 pixels).
std::set<int> litRows(const QImage& shown) {
    std::set<int> rows;
    const QImage img = shown.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(img.pixel(x, y)) > 0) {
                rows.insert(49 - y / 6);
                break;
            }
    return rows;
}
}  // namespace

// Frames of known content through the real frame handler: grey 128 lights the band of bin 128,
// grey 129 nothing; frames closer than 0.2 s to the last update are dropped (the filter preview
// with them), and with the monitor switched off no frame reaches the filter preview at all.
TEST_F(ProMode, FrameHandlerThrottlesTheMonitorAndGatesTheFilterPreview) {
    env->settings().setBool(true, "setting_6");
    auto& vc = open();
    ASSERT_FALSE(vc.filters.empty());
    vc.setSelectedFilter(vc.filters[0]);
    vc.setFilterEnabled(true);
    pressProModeButton(vc);
    advance(0.35);
    CaptureConnection connection;
    auto feed = [&](std::uint8_t level) {
        static std::uint64_t n = 1000;
        vc.captureOutput(*vc.videoDataOutput, greyFrame(level, n++), connection);
        runUntilIdle();
    };
    auto filteredKey = [&] { return vc.filteredImageView->image().cacheKey(); };

    feed(128);
    const QImage first = vc.waveformView->image();
    EXPECT_EQ(litRows(first), (std::set<int>{24, 25}));
    const auto filtered = filteredKey();
    EXPECT_FALSE(vc.filteredImageView->isHidden());

    advance(0.1);
    feed(129);
    EXPECT_EQ(vc.waveformView->image().cacheKey(), first.cacheKey()) << "0.1 s after the last update";
    EXPECT_EQ(filteredKey(), filtered) << "the filter preview is skipped with it";

    advance(0.1);
    feed(129);
    EXPECT_TRUE(litRows(vc.waveformView->image()).empty()) << "0.2 s after: 129 lies between the shown bins";
    EXPECT_NE(filteredKey(), filtered);

    env->settings().setBool(false, "setting_6");
    const auto shown = filteredKey();
    advance(1.0);
    feed(60);
    EXPECT_EQ(filteredKey(), shown) << "pro mode on, monitor off: no filter preview";
    EXPECT_TRUE(litRows(vc.waveformView->image()).empty());

    // Pro mode off: every frame goes to the filter preview again.
    pressProModeButton(vc);
    feed(60);
    EXPECT_NE(filteredKey(), shown);
}
