#include <gtest/gtest.h>

#include <cmath>

#include "CaptureTestSupport.h"
#include "platform/capture/PreviewSink.h"
#include "platform/capture/virtual/SensorModel.h"

namespace sorvel::testing {
namespace {

class CaptureSensor : public CaptureFixture {
protected:
    void SetUp() override {
        CaptureFixture::SetUp();
        startSession();
        preview.setSession(session.get());
    }
    void TearDown() override {
        preview.setSession(nullptr);
        CaptureFixture::TearDown();
    }
    // Mean 8-bit green around a scene point in the latest sensor-orientation frame.
    double greenAt(double sceneX, double sceneY, int half = 6) {
        auto frame = preview.currentFrame();  // portrait-turned; use the sensor point instead
        (void)frame;
        auto p = Scene::sensorPointFor(camera().description(), camera().videoZoomFactor(), sceneX, sceneY);
        const PixelBuffer& f = *lastSensorFrame();
        int cx = int(p[0] * f.width), cy = int(p[1] * f.height);
        double sum = 0;
        int n = 0;
        for (int y = cy - half; y <= cy + half; ++y)
            for (int x = cx - half; x <= cx + half; ++x, ++n) sum += f.bgra[std::size_t(y) * f.bytesPerRow + 4 * x + 1];
        return sum / n;
    }
    std::shared_ptr<const PixelBuffer> lastSensorFrame() {
        preview.connection().setVideoOrientation(VideoOrientation::LandscapeRight);
        return preview.currentFrame();
    }
    PreviewSink preview;
};

double linearOf(double encoded) {
    double v = encoded / 255;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

// Auto exposure that does not converge, or ignores the bias, makes every picture too dark or
// too bright; one stop of bias must be one stop of signal.
TEST_F(CaptureSensor, AutoExposureSettlesAndBiasMovesItByStops) {
    pump(40);
    double product = camera().exposureDuration() * camera().iso();
    pump(5);
    EXPECT_NEAR(camera().exposureDuration() * camera().iso(), product, product * 0.02) << "still moving";
    auto grey = Scene::chartPatchCentre(21);
    double base = linearOf(greenAt(grey[0], grey[1]));
    EXPECT_GT(base, 0.05);
    EXPECT_LT(base, 0.4);
    configure([](CaptureDevice& d) { d.setExposureTargetBias(1, nullptr); });
    pump(40);
    double brighter = camera().exposureDuration() * camera().iso();
    EXPECT_NEAR(brighter / product, 2.0, 0.1);
    EXPECT_NEAR(linearOf(greenAt(grey[0], grey[1])) / base, 2.0, 0.25);
    // Locked exposure holds whatever the bias.
    configure([](CaptureDevice& d) {
        d.setExposureMode(ExposureMode::Locked);
        d.setExposureTargetBias(-2, nullptr);
    });
    pump(20);
    EXPECT_NEAR(camera().exposureDuration() * camera().iso(), brighter, brighter * 1e-9);
}

// The sun and sky must clip at normal exposure while the deep shadow stays near black: the
// scene is meant to be high dynamic range.
TEST_F(CaptureSensor, SunClipsAndShadowIsDark) {
    pump(40);
    EXPECT_EQ(greenAt(0.42, 0.82, 1), 255);
    EXPECT_LT(greenAt(-0.23, -0.15, 3), 40);
}

// Zoom must crop about the centre: the chart patch grows by the zoom factor.
TEST_F(CaptureSensor, ZoomCropsAboutTheCentre) {
    const auto& desc = camera().description();
    auto a = Scene::sensorPointFor(desc, 1.0, Scene::chartPatchCentre(0)[0], Scene::chartPatchCentre(0)[1]);
    auto b = Scene::sensorPointFor(desc, 1.0, Scene::chartPatchCentre(5)[0], Scene::chartPatchCentre(5)[1]);
    auto a2 = Scene::sensorPointFor(desc, 2.0, Scene::chartPatchCentre(0)[0], Scene::chartPatchCentre(0)[1]);
    auto b2 = Scene::sensorPointFor(desc, 2.0, Scene::chartPatchCentre(5)[0], Scene::chartPatchCentre(5)[1]);
    EXPECT_NEAR(std::hypot(a2[0] - b2[0], a2[1] - b2[1]), 2 * std::hypot(a[0] - b[0], a[1] - b[1]), 1e-9);
    pump(30);
    configure([](CaptureDevice& d) { d.setVideoZoomFactor(1.5); });
    pump(30);
    // Red patch (index 14) seen at 1.5x where the mapping says it is.
    auto red = Scene::chartPatchCentre(14);
    auto p = Scene::sensorPointFor(desc, 1.5, red[0], red[1]);
    const PixelBuffer& f = *lastSensorFrame();
    const std::uint8_t* px = &f.bgra[std::size_t(p[1] * f.height) * f.bytesPerRow + 4 * int(p[0] * f.width)];
    EXPECT_GT(px[2], px[1] + 40) << "not red at the mapped point";
    EXPECT_GT(px[2], px[0] + 30);
}

// Focus must matter: the resolution star is crisp when focused on it and soft when focused
// at infinity.
TEST_F(CaptureSensor, DefocusSoftensTheStar) {
    auto contrast = [&] {
        const PixelBuffer& f = *lastSensorFrame();
        auto c = Scene::sensorPointFor(camera().description(), 1.0, -0.33 + 0.09, -0.82);
        int cx = int(c[0] * f.width), cy = int(c[1] * f.height);
        double lo = 255, hi = 0;
        for (int y = cy - 10; y <= cy + 10; ++y)
            for (int x = cx - 10; x <= cx + 10; ++x) {
                double g = f.bgra[std::size_t(y) * f.bytesPerRow + 4 * x + 1];
                lo = std::min(lo, g), hi = std::max(hi, g);
            }
        return hi - lo;
    };
    configure([](CaptureDevice& d) {
        d.setExposureModeCustom(1.0 / 2000, 100, nullptr);
        d.setFocusModeLocked(float(d.description().minFocusDistance / Scene::kChartDepth), nullptr);
    });
    pump(2);
    double sharp = contrast();
    configure([](CaptureDevice& d) { d.setFocusModeLocked(0, nullptr); });
    pump(2);
    double soft = contrast();
    EXPECT_GT(sharp, 120);
    EXPECT_LT(soft, sharp * 0.8);
}

// The person masks are the ground truth of a later segmentation test: they must cover the
// people where the frames show them, for each camera and zoom.
TEST_F(CaptureSensor, PersonMaskMatchesThePeopleInTheFrame) {
    pump(30);
    const auto& desc = camera().description();
    auto mask = rig().scene()->personMask(desc, 1.0, 1280, 960);
    ASSERT_EQ(mask.size(), 1280u * 960u);
    auto covered = std::count(mask.begin(), mask.end(), 255);
    EXPECT_GT(covered, 1280 * 960 / 50);
    EXPECT_LT(covered, 1280 * 960 / 3);
    // The red shirt of the nearer person shows inside its mask.
    auto p = Scene::sensorPointFor(desc, 1.0, 0.56, -0.45);
    int x = int(p[0] * 1280), y = int(p[1] * 960);
    EXPECT_EQ(mask[std::size_t(y) * 1280 + x], 255);
    const PixelBuffer& f = *lastSensorFrame();
    const std::uint8_t* px = &f.bgra[std::size_t(y) * f.bytesPerRow + 4 * x];
    EXPECT_GT(px[2], px[1] + 20);
    // Zoomed, the mask follows the crop: the person is where the zoomed mapping puts it and
    // the chart is never covered.
    auto zoomed = rig().scene()->personMask(desc, 1.2, 1280, 960);
    auto q = Scene::sensorPointFor(desc, 1.2, 0.56, -0.45);
    EXPECT_EQ(zoomed[std::size_t(q[1] * 960) * 1280 + std::size_t(q[0] * 1280)], 255);
    auto chart = Scene::sensorPointFor(desc, 1.2, Scene::chartPatchCentre(8)[0], Scene::chartPatchCentre(8)[1]);
    EXPECT_EQ(zoomed[std::size_t(chart[1] * 960) * 1280 + std::size_t(chart[0] * 1280)], 0);
    // The telephoto camera's mask differs from the wide one's.
    auto tele = rig().scene()->personMask(rig().device(kTele)->description(), 1.0, 1280, 960);
    EXPECT_NE(tele, mask);
}

// The torch must light near things (the person) and not the far buildings.
TEST_F(CaptureSensor, TorchLightsNearThingsOnly) {
    configure([](CaptureDevice& d) { d.setExposureModeCustom(1.0 / 4000, 100, nullptr); });
    pump(2);
    double personBefore = greenAt(0.56, -0.45), wallBefore = greenAt(0.1, 0.2);
    configure([](CaptureDevice& d) { d.setTorchMode(TorchMode::On); });
    pump(2);
    EXPECT_GT(greenAt(0.56, -0.45), personBefore + 3);
    EXPECT_NEAR(greenAt(0.1, 0.2), wallBefore, 3);
}

}  // namespace
}  // namespace sorvel::testing

namespace sorvel::testing {
namespace {

using CaptureScenePicture = CaptureFixture;

// --scene must really replace the built-in scene, and the rig must go back to it on reset.
TEST_F(CaptureScenePicture, PictureReplacesTheBuiltInScene) {
    auto error = rig().applyOptions("", std::string(SORVEL_TESTDATA_DIR) + "/heic/example.heic");
    ASSERT_FALSE(error.has_value()) << *error;
    EXPECT_FALSE(rig().scene()->isBuiltIn());
    auto raster = rig().scene()->rasterFor(rig().device(kBackWide)->description());
    const auto& builtIn = *Scene::builtIn()->rasterFor(rig().device(kBackWide)->description());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < raster->radiance.size(); i += 4099) differing += raster->radiance[i] != builtIn.radiance[i];
    EXPECT_GT(differing, raster->radiance.size() / 4099 / 2);
    // No people in a user's picture.
    auto mask = rig().scene()->personMask(rig().device(kBackWide)->description(), 1.0, 64, 48);
    EXPECT_EQ(std::count(mask.begin(), mask.end(), 255), 0);
    startSession();
    pump(3);
    auto d = capture(PhotoSettings::withFormat(VideoCodec::Hevc));
    EXPECT_FALSE(d->photoError.has_value());
    session->stopRunning();
    rig().reset(RigMode::Step);
    EXPECT_TRUE(rig().scene()->isBuiltIn());
}

class RealTimeDelegate : public VideoFrameDelegate {
public:
    void captureOutput(VideoDataOutput&, const SampleBuffer&, CaptureConnection&) override { ++frames; }
    std::atomic<int> frames{0};
};

// The app runs the rig in real time: frames must flow on the wall clock without anyone
// stepping, and stop when the session stops.
TEST(CaptureRealTime, FramesFlowOnTheirOwnUntilTheSessionStops) {
    VirtualRig::shared().reset(RigMode::RealTime);
    CaptureSession session;
    auto input = std::get<std::shared_ptr<DeviceInput>>(DeviceInput::make(VirtualRig::shared().device(kBackWide)));
    session.addInput(input);
    auto video = std::make_shared<VideoDataOutput>();
    auto delegate = std::make_shared<RealTimeDelegate>();
    video->setSampleBufferDelegate(delegate, DispatchQueue::makeSerial("VideoDataOutputQueue"));
    session.addOutput(video);
    session.startRunning();
    for (int i = 0; i < 200 && delegate->frames < 3; ++i) BackgroundActivity::waitForChange(0.05);
    EXPECT_GE(delegate->frames.load(), 3);
    session.stopRunning();
    int atStop = delegate->frames;
    for (int i = 0; i < 6; ++i) BackgroundActivity::waitForChange(0.05);
    EXPECT_LE(delegate->frames.load(), atStop + 1);  // at most the frame already queued
    VirtualRig::shared().reset(RigMode::Step);
}

}  // namespace
}  // namespace sorvel::testing
