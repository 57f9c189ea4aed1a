// The shutter path end to end: presses on the real controller, the virtual rig in step mode,
// assets checked in the photo library.

#include "AppHarness.h"
#include "app/PhotoLibrarySaves.h"
#include "platform/capture/virtual/VirtualRig.h"
#include "platform/foundation/Permissions.h"
#include "platform/image/ImageSource.h"
#include "platform/location/Location.h"
#include "platform/foundation/Localization.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/Alert.h"

using namespace sorvel;
using namespace sorvel::testing;

namespace {

class Shutter : public AppHarness {
protected:
    void SetUp() override {
        AppHarness::SetUp();
        env->settings().registerSeeds({{"quality_setting_2", 0.65}, {"normal_resolution_scale", 1.0}, {"setting_9", true}});
    }
    std::size_t assetCount() const { return PhotoLibrary::shared().assets().size(); }
    bool waitForAssets(std::size_t n) {
        return pumpUntil([&] { return assetCount() >= n && !outcomes().empty(); });
    }
    image::ImageSource newestPhoto() {
        auto assets = PhotoLibrary::shared().assets();
        auto bytes = PhotoLibrary::shared().resourceData(assets.front().localIdentifier, 0);
        EXPECT_TRUE(bytes);
        auto source = image::ImageSource::make(bytes ? *bytes : Bytes{});
        EXPECT_TRUE(source);
        return *source;
    }
};

}  // namespace

// A normal still must land as an upright HEIC of the sensor's size, carrying the capture's
// Exif with the saved picture's pixel size and the capture's UTC offset; without a location
// fix it must carry no GPS.
TEST_F(Shutter, NormalStillLandsAsUprightHeicWithExifAndNoGpsWithoutFix) {
    std::string oldTz = std::getenv("TZ") ? std::getenv("TZ") : "";
    ::setenv("TZ", "Asia/Shanghai", 1);
    ::tzset();
    struct RestoreTz {
        std::string tz;
        ~RestoreTz() {
            if (tz.empty()) ::unsetenv("TZ");
            else ::setenv("TZ", tz.c_str(), 1);
            ::tzset();
        }
    } restore{oldTz};
    env->settings().setBool(false, "setting_2");
    auto& vc = startCamera();
    haptics.clear();  // the camera switch at start confirms itself with one
    vc.按下拍照按钮();
    ASSERT_TRUE(waitForAssets(1)) << "no asset; console:\n" << ::testing::PrintToString(console->lines());
    EXPECT_TRUE(console->contains("静态照片已保存到相册（HEIC格式）。"));
    auto source = newestPhoto();
    EXPECT_EQ(source.type(), "public.heic");
    // Portrait holding: the 4032 x 3024 sensor picture is turned upright.
    EXPECT_EQ(source.width(), 3024);
    EXPECT_EQ(source.height(), 4032);
    const Value exif(source.properties().at("{Exif}"));
    EXPECT_GT(exif["ExposureTime"].toReal(), 0.0);
    ASSERT_TRUE(exif["ISOSpeedRatings"].arrayValue());
    EXPECT_FALSE(exif["LensModel"].toString().value_or("").empty());
    EXPECT_EQ(exif["PixelXDimension"].toInteger(), 3024);
    EXPECT_EQ(exif["PixelYDimension"].toInteger(), 4032);
    EXPECT_EQ(exif["OffsetTimeOriginal"].toString(), "+08:00");
    EXPECT_EQ(exif["OffsetTime"].toString(), "+08:00");
    EXPECT_EQ(exif["DateTimeOriginal"].toString(), "2026:12:07 01:44:12");
    EXPECT_EQ(source.properties().count("{GPS}"), 0u);
    EXPECT_TRUE(console->contains("拍照时的设备方向: 1"));
    EXPECT_TRUE(console->contains("调整后的缩放比例: 1"));
    // One heavy haptic and a shutter blink per accepted press.
    EXPECT_EQ(haptics.count(), 1u);
    EXPECT_EQ(vc.flashOverlay->alpha(), 0.0);
}

// With a location fix the still's file must carry the GPS of that fix.
TEST_F(Shutter, NormalStillCarriesGpsOfTheFix) {
    env->settings().setBool(false, "setting_2");
    auto& vc = startCamera();
    vc.locationManagerDidUpdateLocations(*vc.locationManager, {Location{-33.86, 151.21, 58, Date{1796579000}}});
    vc.按下拍照按钮();
    ASSERT_TRUE(waitForAssets(1));
    auto source = newestPhoto();
    ASSERT_EQ(source.properties().count("{GPS}"), 1u);
    const Value gps(source.properties().at("{GPS}"));
    EXPECT_NEAR(gps["Latitude"].toReal(), 33.86, 1e-6);
    EXPECT_EQ(gps["LatitudeRef"].toString(), "S");
    EXPECT_NEAR(gps["Longitude"].toReal(), 151.21, 1e-6);
    EXPECT_NEAR(gps["Altitude"].toReal(), 58, 1e-6);
}

// The saved size follows the resolution scale. At half size the target 2016 x 1512 rounds to
// 2016 x 1520, but the scaler is asked for min(2016/4032, 1520/3024) = 0.5 and the picture is
// what that scale yields, 2016 x 1512; a twentieth stays unrounded (201 x 151).
TEST_F(Shutter, ResolutionScaleDecidesTheSavedSize) {
    env->settings().setBool(false, "setting_2");
    auto& vc = startCamera();
    env->settings().setFloat(0.5f, "normal_resolution_scale");
    vc.按下拍照按钮();
    ASSERT_TRUE(waitForAssets(1));
    auto half = newestPhoto();
    EXPECT_EQ(half.width(), 1512);
    EXPECT_EQ(half.height(), 2016);

    env->settings().setFloat(0.05f, "normal_resolution_scale");
    vc.按下拍照按钮();
    ASSERT_TRUE(waitForAssets(2));
    auto tiny = newestPhoto();
    EXPECT_EQ(tiny.width(), 151);
    EXPECT_EQ(tiny.height(), 201);
}

// Extreme mode must win over Live Photo: the press goes the deep way.
TEST_F(Shutter, ExtremeModeBeatsLivePhoto) {
    env->settings().setBool(true, "setting_2");
    env->settings().setBool(true, "innovative_extreme_mode");
    auto& vc = startCamera();
    vc.按下拍照按钮();
    EXPECT_TRUE(console->contains("开始拍摄raw"));
    EXPECT_TRUE(vc.isProcessingPhoto);
    EXPECT_TRUE(consoleLinesStartingWith("实况照片电影文件URL: ").empty());
    ASSERT_TRUE(pumpUntil([&] { return !vc.isProcessingPhoto; }, 600));
    EXPECT_TRUE(console->contains("结束拍摄raw"));
}

// A press during a deep development must be refused with its line, no haptic and no blink.
TEST_F(Shutter, PressWhileProcessingIsRefusedWithoutFeedback) {
    auto& vc = startCamera();
    vc.isProcessingPhoto = true;
    haptics.clear();
    vc.flashOverlay->setAlpha(0.7);
    vc.按下拍照按钮();
    EXPECT_TRUE(console->contains("正在拍摄raw,跳过本次拍摄"));
    EXPECT_EQ(haptics.count(), 0u);
    EXPECT_EQ(vc.flashOverlay->alpha(), 0.7);
    EXPECT_TRUE(consoleLinesStartingWith("捕捉静态照片").empty());
    vc.isProcessingPhoto = false;
}

// Filter-test mode with no chosen photo must switch itself off and save nothing.
TEST_F(Shutter, FilterTestWithoutPhotoSwitchesItselfOff) {
    auto& vc = startCamera();
    vc.isFilterUsePhotoEnabled = true;
    vc.按下拍照按钮();
    EXPECT_TRUE(console->contains("未选择照片或照片未转换为 CIImage"));
    EXPECT_FALSE(vc.isFilterUsePhotoEnabled);
    pumpUntil([] { return false; }, 5);
    EXPECT_EQ(assetCount(), 0u);
}

// A press while a Live Photo is still recording takes a plain still, not a second movie.
TEST_F(Shutter, PressDuringLivePhotoTakesStill) {
    env->settings().setBool(true, "setting_2");
    auto& vc = startCamera();
    vc.isCapturingLivePhoto = true;
    vc.按下拍照按钮();
    EXPECT_TRUE(console->contains("捕捉静态照片。"));
    EXPECT_TRUE(consoleLinesStartingWith("实况照片电影文件URL: ").empty());
    vc.isCapturingLivePhoto = false;
    ASSERT_TRUE(waitForAssets(1));
}

// Denied camera access: one alert at start for the camera, and every press shows the
// explanation and captures nothing.
TEST_F(Shutter, DeniedCameraAlertsAtStartAndRefusesEveryPress) {
    setPermission("camera", "denied");
    auto& vc = startCamera();
    auto alerts = Alert::presented();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]->message().toStdString(), localized("camera_permission_message"));
    alerts[0]->press(QString::fromStdString(localized("ok")));
    vc.按下拍照按钮();
    runUntilIdle();
    alerts = Alert::presented();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]->message().toStdString(), localized("permissions_explanation"));
    EXPECT_TRUE(consoleLinesStartingWith("捕捉静态照片").empty());
    EXPECT_EQ(assetCount(), 0u);
}

// Limited library access counts as refusal: the still is taken but never saved.
TEST_F(Shutter, LimitedLibraryAccessRefusesTheSave) {
    env->settings().setBool(false, "setting_2");
    setPermission("photos", "limited");
    auto& vc = startCamera();
    EXPECT_EQ(Alert::presented().size(), 1u);
    Alert::dismissAll();
    // The shutter's own check refuses first; the save's refusal is the library kind's.
    vc.按下拍照按钮();
    runUntilIdle();
    EXPECT_TRUE(consoleLinesStartingWith("捕捉静态照片").empty());
    saveToPhotoLibrary(LibrarySaveKind::Still, Bytes{1, 2, 3}, std::nullopt, std::nullopt);
    runUntilIdle();
    EXPECT_TRUE(console->contains("未授权访问相册。"));
    EXPECT_EQ(assetCount(), 0u);
}

// A rig without cameras: the configuration fails with its lines, but the screen is built.
TEST_F(Shutter, NoCameraFailsConfigurationButBuildsTheScreen) {
    RigProfile empty = RigProfile::builtIn();
    empty.cameras.clear();
    VirtualRig::shared().configure(empty);
    auto& vc = loadController();
    runUntilIdle();
    int a = console->indexOf("无法获取视频设备");
    int b = console->indexOf("捕捉会话配置失败，未启动。");
    ASSERT_GE(a, 0);
    EXPECT_GT(b, a);
    EXPECT_FALSE(vc.captureSession->isRunning());
    EXPECT_NE(vc.captureButton, nullptr);
    EXPECT_NE(vc.flashOverlay, nullptr);
}

// A missing microphone fails the configuration although the camera input was added.
TEST_F(Shutter, MissingMicrophoneLeavesSessionStopped) {
    VirtualRig::shared().setRigFault(CaptureFault::NoMicrophone, true);
    auto& vc = loadController();
    runUntilIdle();
    EXPECT_TRUE(console->contains("无法获取音频设备"));
    EXPECT_TRUE(console->contains("捕捉会话配置失败，未启动。"));
    EXPECT_FALSE(vc.captureSession->isRunning());
    // The session holds the camera's input (configured, then swapped for the initial camera)
    // and no audio input.
    auto inputs = vc.captureSession->inputs();
    ASSERT_EQ(inputs.size(), 1u);
    EXPECT_EQ(inputs[0], vc.currentVideoDeviceInput);
    EXPECT_TRUE(inputs[0]->device()->hasMediaType(MediaType::Video));
    EXPECT_FALSE(inputs[0]->device()->hasMediaType(MediaType::Audio));
    EXPECT_FALSE(console->contains("无法添加视频设备输入到会话中"));
}

// Live Photo unsupported: the session runs with Live Photo capture off.
TEST_F(Shutter, LivePhotoUnsupportedStartsWithItOff) {
    RigProfile profile = RigProfile::builtIn();
    for (auto& camera : profile.cameras) camera.faults.insert(CaptureFault::LivePhotoUnsupported);
    VirtualRig::shared().configure(profile);
    auto& vc = startCamera();
    EXPECT_TRUE(console->contains("捕捉会话开始运行。"));
    EXPECT_FALSE(vc.photoOutput->isLivePhotoCaptureEnabled());
}

// The preview card appears where the setting puts it, and not at all for 0.
TEST_F(Shutter, PreviewCardGeometryFollowsTheSetting) {
    auto& vc = loadController();
    auto picture = image::Image::constantColor(image::Color::white()).cropped(image::Rect{0, 0, 400, 300});
    auto cards = [&] { return vc.view()->findChildren<ImageView*>("previewCard", Qt::FindDirectChildrenOnly); };

    env->settings().setInteger(0, "photo_preview");
    vc.showPreview(picture, 1.0);
    EXPECT_TRUE(cards().empty());

    env->settings().setInteger(1, "photo_preview");
    vc.showPreview(picture, 1.0);
    ASSERT_EQ(cards().size(), 1u);
    EXPECT_EQ(cards()[0]->frame(), QRectF(0, 102, 390, 520));
    advance(0.3 + 1.0 + 0.3 + 0.01);
    EXPECT_TRUE(cards().empty()) << "the large card leaves after 1.6 s";

    env->settings().setInteger(2, "photo_preview");
    vc.showPreview(picture, 1.0);
    ASSERT_EQ(cards().size(), 1u);
    EXPECT_NEAR(cards()[0]->frame().x(), 240, 1e-9);
    EXPECT_NEAR(cards()[0]->frame().height(), 173.333333, 1e-5);
    advance(2.0);
    EXPECT_EQ(cards().size(), 1u) << "the small card stays 3 s";
    advance(2.0);
    EXPECT_TRUE(cards().empty());
}
