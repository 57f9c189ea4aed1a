#include <gtest/gtest.h>

#include "CaptureTestSupport.h"
#include "platform/capture/AudioSession.h"

namespace sorvel::testing {
namespace {

using CaptureDevice_ = CaptureFixture;

// Values outside the device's ranges must be clamped, not stored: the sensor would be asked
// for a zoom it cannot crop or a bias AE cannot reach.
TEST_F(CaptureDevice_, ZoomBiasExposureAndIsoClampToTheDeviceRanges) {
    startSession();
    CaptureDevice& d = camera();
    EXPECT_FALSE(d.setVideoZoomFactor(3)) << "changed without the configuration lock";
    EXPECT_DOUBLE_EQ(d.videoZoomFactor(), 1.0);
    configure([](CaptureDevice& d) {
        EXPECT_TRUE(d.setVideoZoomFactor(100));
        EXPECT_DOUBLE_EQ(d.videoZoomFactor(), d.maxAvailableVideoZoomFactor());
        d.setVideoZoomFactor(0.2);
        EXPECT_DOUBLE_EQ(d.videoZoomFactor(), d.minAvailableVideoZoomFactor());
        d.setVideoZoomFactor(2.5);
        EXPECT_DOUBLE_EQ(d.videoZoomFactor(), 2.5);

        d.setExposureTargetBias(20, nullptr);
        EXPECT_FLOAT_EQ(d.exposureTargetBias(), d.maxExposureTargetBias());
        d.setExposureTargetBias(-20, nullptr);
        EXPECT_FLOAT_EQ(d.exposureTargetBias(), d.minExposureTargetBias());

        auto format = d.activeFormat();
        d.setExposureModeCustom(100, 1, nullptr);
        EXPECT_DOUBLE_EQ(d.exposureDuration(), format.maxExposureDuration);
        EXPECT_DOUBLE_EQ(d.iso(), format.minISO);
        d.setExposureModeCustom(1e-9, 1e9, nullptr);
        EXPECT_DOUBLE_EQ(d.exposureDuration(), format.minExposureDuration);
        EXPECT_DOUBLE_EQ(d.iso(), format.maxISO);
        EXPECT_EQ(d.exposureMode(), ExposureMode::Custom);

        d.setFocusModeLocked(7, nullptr);
        EXPECT_FLOAT_EQ(d.lensPosition(), 1.0f);
    });
    EXPECT_EQ(d.activeFormat().highResolutionStillDimensions, (Dimensions{4032, 3024}));
}

// Completion handlers that never run leave the app's manual sliders waiting; ones that run
// before a frame reflects the change report a time no frame has.
TEST_F(CaptureDevice_, SettingCompletionsRunWithTheNextFrame) {
    startSession();
    std::vector<double> times;
    configure([&](CaptureDevice& d) {
        d.setExposureModeCustom(1.0 / 250, 200, [&](double t) { times.push_back(t); });
        d.setFocusModeLocked(0.3f, [&](double t) { times.push_back(t); });
        d.setWhiteBalanceModeLocked(d.deviceWhiteBalanceGainsForTemperatureAndTint({4000, 0}),
                                    [&](double t) { times.push_back(t); });
    });
    EXPECT_TRUE(times.empty());
    pump(1);
    ASSERT_EQ(times.size(), 3u);
    EXPECT_DOUBLE_EQ(times[0], clock.now());
    // Custom exposure and locked focus stay as set while frames flow.
    pump(5);
    EXPECT_DOUBLE_EQ(camera().exposureDuration(), 1.0 / 250);
    EXPECT_DOUBLE_EQ(camera().iso(), 200);
    EXPECT_FLOAT_EQ(camera().lensPosition(), 0.3f);
}

// Gains for a temperature must move the right way (warm light needs more blue gain), stay
// within 1..max, and out-of-range gains must be refused rather than stored.
TEST_F(CaptureDevice_, WhiteBalanceGainsFollowTemperatureAndStayInRange) {
    startSession();
    CaptureDevice& d = camera();
    auto warm = d.deviceWhiteBalanceGainsForTemperatureAndTint({3000, 0});
    auto cool = d.deviceWhiteBalanceGainsForTemperatureAndTint({8000, 0});
    EXPECT_GT(warm.blueGain / warm.redGain, cool.blueGain / cool.redGain);
    for (auto g : {warm, cool})
        for (float v : {g.redGain, g.greenGain, g.blueGain}) {
            EXPECT_GE(v, 1.0f);
            EXPECT_LE(v, d.maxWhiteBalanceGain());
        }
    auto green = d.deviceWhiteBalanceGainsForTemperatureAndTint({5000, -100});
    auto magenta = d.deviceWhiteBalanceGainsForTemperatureAndTint({5000, 100});
    EXPECT_LT(green.greenGain / green.redGain, magenta.greenGain / magenta.redGain);
    configure([&](CaptureDevice& d) {
        EXPECT_FALSE(d.setWhiteBalanceModeLocked({0.5f, 1, 1}, nullptr));
        EXPECT_FALSE(d.setWhiteBalanceModeLocked({1, 1, d.maxWhiteBalanceGain() + 1}, nullptr));
        EXPECT_NE(d.whiteBalanceMode(), WhiteBalanceMode::Locked);
        EXPECT_TRUE(d.setWhiteBalanceModeLocked(warm, nullptr));
        EXPECT_EQ(d.whiteBalanceMode(), WhiteBalanceMode::Locked);
    });
}

// Continuous focus must find the subject under the focus point: a wrong depth lookup leaves
// the lens at infinity on a person 2 m away.
TEST_F(CaptureDevice_, ContinuousFocusConvergesOnTheSubjectUnderThePoint) {
    startSession();
    const auto& desc = camera().description();
    // The nearer person stands 2 m away.
    auto at = Scene::sensorPointFor(desc, 1.0, 0.56, -0.5);
    configure([&](CaptureDevice& d) {
        d.setFocusPointOfInterest({at[0], at[1]});
        d.setFocusMode(FocusMode::ContinuousAutoFocus);
    });
    pump(20);
    EXPECT_NEAR(camera().lensPosition(), desc.minFocusDistance / 2.0, 0.002);
    // Sky: infinity.
    configure([](CaptureDevice& d) { d.setFocusPointOfInterest({0.02, 0.5}); });
    pump(20);
    EXPECT_NEAR(camera().lensPosition(), 0.0, 0.002);
    // Auto focus (mode 1) focuses once and then holds while the point moves.
    configure([&](CaptureDevice& d) {
        d.setFocusPointOfInterest({at[0], at[1]});
        d.setFocusMode(FocusMode::AutoFocus);
    });
    pump(20);
    float held = camera().lensPosition();
    EXPECT_NEAR(held, desc.minFocusDistance / 2.0, 0.002);
    configure([](CaptureDevice& d) { d.setFocusPointOfInterest({0.02, 0.5}); });
    pump(10);
    EXPECT_FLOAT_EQ(camera().lensPosition(), held);
}

// Torch only where there is one, and only under the lock.
TEST_F(CaptureDevice_, TorchOnlyOnBackCameras) {
    startSession(kFront);
    configure([](CaptureDevice& d) { EXPECT_FALSE(d.setTorchMode(TorchMode::On)); });
    EXPECT_EQ(camera().torchMode(), TorchMode::Off);
    auto back = rig().device(kBackWide);
    ASSERT_FALSE(back->lockForConfiguration().has_value());
    EXPECT_TRUE(back->setTorchMode(TorchMode::On));
    back->unlockForConfiguration();
    EXPECT_EQ(back->torchMode(), TorchMode::On);
}

// The audio session's volume drives the volume-key shutter: observers must hear each real
// change once, values clamp to 0..1, and a setter inside an observer must not deadlock.
TEST_F(CaptureDevice_, AudioSessionVolumeIsObservableAndClamped) {
    AudioSession& audio = AudioSession::shared();
    EXPECT_FALSE(audio.setCategory(AudioSessionCategory::Ambient, AudioSessionOptionMixWithOthers).has_value());
    EXPECT_FALSE(audio.setActive(true).has_value());
    EXPECT_EQ(audio.category(), AudioSessionCategory::Ambient);
    EXPECT_EQ(audio.categoryOptions(), 1u);
    audio.setOutputVolume(0.5f);
    std::vector<float> heard;
    int token = audio.addVolumeObserver([&](float v) {
        heard.push_back(v);
        if (v > 0.9f) audio.setOutputVolume(0.5f);  // the volume shutter resets the volume
    });
    audio.setOutputVolume(0.5f);
    audio.setOutputVolume(0.6f);
    audio.setOutputVolume(3.0f);
    audio.removeVolumeObserver(token);
    audio.setOutputVolume(0.1f);
    EXPECT_EQ(heard, (std::vector<float>{0.6f, 1.0f, 0.5f}));
    EXPECT_FALSE(audio.setAllowHapticsAndSystemSoundsDuringRecording(true).has_value());
    EXPECT_TRUE(audio.allowHapticsAndSystemSoundsDuringRecording());
}

}  // namespace
}  // namespace sorvel::testing
