// Paths of the real controller that no other test walks: the view-loading order, the torch on
// becoming active, the permission alert, the second shutter, the still's two error lines, the
// progress bar's finish, a watermarked still, and the filter state across a restart.

#include <QTest>

#include "../platform/ui/UiTestSupport.h"
#include "AppHarness.h"
#include "app/filters/SavedFilter.h"
#include "platform/capture/CaptureDevice.h"
#include "platform/capture/virtual/VirtualRig.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/image/ImageSource.h"
#include "platform/image/RenderContext.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/StackView.h"
#include "platform/ui/VolumeView.h"
#include "app/PreviewView.h"

using namespace sorvel;
using namespace sorvel::testing;

namespace {

class ControllerPaths : public AppHarness {
protected:
    void SetUp() override {
        AppHarness::SetUp();
        env->settings().registerSeeds({{"quality_setting", 0.5}, {"quality_setting_2", 0.5}, {"normal_resolution_scale", 0.25},
                                       {"heic_resolution_scale", 0.25}, {"setting_4", false}, {"setting_2", false}});
    }
    std::vector<PhotoAsset> assets() const { return PhotoLibrary::shared().assets(); }
    int indexOf(const QWidget* child) const { return controller->view()->children().indexOf(const_cast<QWidget*>(child)); }
};

// Views added later lie above earlier ones, and later steps build on earlier ones: the preview
// at the very bottom (inserted there), then the volume view made first, the filtered overlay, progress bar, shutter, settings button,
// camera buttons, flash overlay and zoom label, in that order; the custom row last.
TEST_F(ControllerPaths, ViewLoadingBuildsTheScreenInItsOrder) {
    env->settings().setBool(true, "customButtonEnabled");
    env->settings().setObject(Value("相册 2x"), "customButtonText");
    ViewController& vc = startCamera();
    std::vector<const QWidget*> order;
    auto add = [&](const QWidget* w) { order.push_back(w); };
    add(vc.previewView), add(vc.volumeView), add(vc.filteredImageView), add(vc.progressView), add(vc.captureButton);
    add(vc.settingsButton);
    for (Button* b : vc.cameraSwitchButtons) add(b);
    add(vc.flashOverlay), add(vc.zoomFactorLabel), add(vc.customButtonsScrollView);
    for (std::size_t i = 0; i < order.size(); ++i) {
        ASSERT_NE(order[i], nullptr) << i;
        ASSERT_GE(indexOf(order[i]), 0) << i;
        if (i > 0) {
            EXPECT_LT(indexOf(order[i - 1]), indexOf(order[i])) << "view " << i << " lies below view " << i - 1;
        }
    }
    // The session was configured before the initial camera was chosen, which the swap's lines show.
    int started = console->indexOf("is_selfie_camera摄像头: false");
    ASSERT_GE(started, 0);
    EXPECT_GE(console->indexOf("切换到摄像头: 后置广角相机", started), 0);
}

// Every button of the main screen takes a click on its middle through the window: none lies
// under another view, and none lies outside the screen.
TEST_F(ControllerPaths, EveryMainScreenButtonIsOnTopWhereItIsDrawn) {
    env->settings().setBool(true, "isFirstLaunch");
    env->settings().setBool(true, "customButtonEnabled");
    env->settings().setObject(Value("相册 2x 1ev"), "customButtonText");
    {
        ViewController& vc = startCamera();
        showTopLevel(*vc.view());
        runUntilIdle();
        std::vector<std::pair<std::string, QWidget*>> buttons = {
            {"shutter", vc.captureButton}, {"settings", vc.settingsButton}, {"pro", vc.proModeButton},
            {"timer", vc.timerButton},     {"filter", vc.filterButton}};
        for (std::size_t i = 0; i < vc.cameraSwitchButtons.size(); ++i)
            buttons.emplace_back("camera " + std::to_string(i), vc.cameraSwitchButtons[i]);
        for (QWidget* b : vc.customButtonsStackView->arrangedSubviews()) buttons.emplace_back("custom", b);
        for (auto& [name, button] : buttons) {
            ASSERT_NE(button, nullptr) << name;
            const QPoint centre = button->mapTo(vc.view(), button->rect().center());
            EXPECT_TRUE(vc.view()->rect().contains(centre)) << name << " is off the screen";
            QWidget* hit = vc.view()->childAt(centre);
            while (hit && hit != button) hit = hit->parentWidget();
            EXPECT_EQ(hit, button) << name << " is covered";
        }
    }
}

// Becoming active with flash_mode 3 lights the torch again; 0, 1 and 2 leave it off.
TEST_F(ControllerPaths, BecomingActiveRelightsTheTorchOnlyInTorchMode) {
    startCamera();
    auto torch = CaptureDevice::defaultDevice(MediaType::Video);
    ASSERT_TRUE(torch);
    ASSERT_TRUE(torch->hasTorch()) << torch->localizedName();
    for (int mode : {0, 1, 2}) {
        env->settings().setInteger(mode, "flash_mode");
        NotificationCenter::defaultCenter().post(notifications::kDidBecomeActive);
        runUntilIdle();
        EXPECT_EQ(torch->torchMode(), TorchMode::Off) << mode;
    }
    env->settings().setInteger(3, "flash_mode");
    NotificationCenter::defaultCenter().post(notifications::kDidBecomeActive);
    runUntilIdle();
    EXPECT_EQ(torch->torchMode(), TorchMode::On);
}

// A refused camera: one alert at start, titled by the "permission_required" lookup with the
// camera message and an "ok" button; a press then shows the explanation and takes nothing.
TEST_F(ControllerPaths, TheCameraPermissionAlertHasItsLocalisedTitle) {
    setPermission("camera", "denied");
    ScopedLocalizationEntries texts({{"permission_required", "需要权限（测试）"}, {"ok", "好的（测试）"},
                                     {"camera_permission_message", "请允许使用相机（测试）"},
                                     {"permissions_explanation", "三项权限都需要（测试）"}});
    ViewController& vc = loadController();
    runUntilIdle();
    auto alerts = Alert::presented();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]->title().toStdString(), "需要权限（测试）");
    EXPECT_EQ(alerts[0]->message().toStdString(), "请允许使用相机（测试）");
    ASSERT_EQ(alerts[0]->actions().size(), 1u);
    EXPECT_EQ(alerts[0]->actions()[0].title.toStdString(), "好的（测试）");
    Alert::dismissAll();
    vc.按下拍照按钮();
    runUntilIdle();
    alerts = Alert::presented();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]->title().toStdString(), "需要权限（测试）");
    EXPECT_EQ(alerts[0]->message().toStdString(), "三项权限都需要（测试）");
    EXPECT_TRUE(assets().empty());
}

// The dual layout's right button sends "按下拍照按钮2": a deep picture although deep mode is off
// and Live Photo on.
TEST_F(ControllerPaths, TheSecondShutterTakesADeepPictureWhateverTheModes) {
    env->settings().setBool(true, "innovative_dual_capture_mode");
    env->settings().setBool(true, "setting_2");
    env->settings().setObject(Value("RAW+HEIC"), "save_format");
    ViewController& vc = startCamera();
    Button* second = nullptr;
    for (QObject* child : vc.view()->children()) {
        if (auto* b = dynamic_cast<Button*>(child); b && b->tag() == 1002) second = b;
    }
    ASSERT_NE(second, nullptr);
    QTest::mouseClick(second, Qt::LeftButton, {}, QPoint(40, 40));
    ASSERT_TRUE(pumpUntil([&] { return assets().size() == 2 && !vc.isProcessingPhoto; }, 900));
    EXPECT_TRUE(console->contains("开始拍摄raw"));
    int raws = 0;
    for (const auto& a : assets()) raws += (a.mediaSubtypes & AssetMediaSubtype::PhotoRaw) != 0;
    EXPECT_EQ(raws, 1);
    EXPECT_TRUE(consoleLinesStartingWith("调用捕捉照片").empty()) << "a Live Photo was taken";
}

// The still's two error lines: a camera error, and a photo without data; nothing saved, the
// press reported failed, nothing left in the journal.
TEST_F(ControllerPaths, TheStillsTwoErrorLines) {
    ViewController& vc = startCamera();
    VirtualRig::shared().injectNextCaptureFault(CaptureFault::CaptureError);
    vc.按下拍照按钮();
    ASSERT_TRUE(pumpUntil([&] { return outcomes().size() == 1; }, 200));
    EXPECT_EQ(consoleLinesStartingWith("捕捉静态照片时出错: ").size(), 1u);
    VirtualRig::shared().injectNextCaptureFault(CaptureFault::MissingFileData);
    vc.按下拍照按钮();
    ASSERT_TRUE(pumpUntil([&] { return outcomes().size() == 2; }, 200));
    EXPECT_TRUE(console->contains("获取静态照片数据失败。"));
    EXPECT_FALSE(outcomes()[0].success);
    EXPECT_FALSE(outcomes()[1].success);
    runUntilIdle();
    EXPECT_TRUE(assets().empty());
    EXPECT_TRUE(std::filesystem::is_empty(env->home() / "journal"));
}

// The progress bar's finish: the glow at once, the green after the 1 s cross-dissolve that
// starts at 0.1 s, faded out 0.3 s after the 2 s mark.
TEST_F(ControllerPaths, CompletingTheProgressBarGlowsTurnsGreenAndFades) {
    ViewController& vc = startCamera();
    vc.progressView->setAlpha(1.0);
    vc.completeProgressBar();
    EXPECT_EQ(vc.progressView->progressTintColor(), QColor::fromRgbF(0.9f, 1.0f, 0.9f, 1.0f));
    EXPECT_EQ(vc.progressView->shadowColor(), QColor::fromRgbF(0.3f, 1.0f, 0.3f, 1.0f));
    EXPECT_EQ(vc.progressView->shadowRadius(), 15);
    advance(1.2);
    EXPECT_EQ(vc.progressView->progressTintColor(), QColor::fromRgbF(0.1f, 1.0f, 0.1f, 1.0f));
    EXPECT_EQ(vc.progressView->shadowRadius(), 0);
    EXPECT_EQ(vc.progressView->shadowOpacity(), 0);
    EXPECT_EQ(vc.progressView->presentationAlpha(), 1.0);
    advance(1.2);
    EXPECT_EQ(vc.progressView->presentationAlpha(), 0.0);
}

// With the watermark on, the saved still is stamped in its bottom-right corner: brighter there
// than the same press without it, and the same elsewhere.
TEST_F(ControllerPaths, AWatermarkedStillIsStampedBottomRight) {
    // One pixel a point, so the block is small beside the 756 x 1008 picture.
    ScreenProfile profile = ScreenProfile::phone();
    profile.scale = 1;
    ViewController& vc = startCamera(profile);
    pumpUntil([] { return false; }, 45);  // exposure and white balance settle first
    auto pressOne = [&](bool watermark) {
        env->settings().setBool(watermark, "setting_12");
        std::size_t before = assets().size();
        vc.按下拍照按钮();
        EXPECT_TRUE(pumpUntil([&] { return assets().size() == before + 1; }, 300));
        auto bytes = PhotoLibrary::shared().resourceData(assets().front().localIdentifier, 0);
        auto source = bytes ? image::ImageSource::make(*bytes) : std::nullopt;
        auto picture = source ? source->image() : std::nullopt;
        return picture ? image::RenderContext().render(*picture, picture->extent(), image::PixelFormat::RGBA8,
                                                       image::ColorSpace::SRGB)
                       : std::nullopt;
    };
    env->settings().setObject(Value("SORVEL 水印"), "watermarkContent");
    auto plain = pressOne(false);
    auto stamped = pressOne(true);
    ASSERT_TRUE(plain && stamped);
    ASSERT_EQ(plain->width(), stamped->width());
    const int W = plain->width(), H = plain->height();
    auto meanDiff = [&](int x0, int y0, int x1, int y1) {
        double sum = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) sum += std::abs(int(stamped->row(y)[x * 4 + 1]) - int(plain->row(y)[x * 4 + 1]));
        return sum / double((x1 - x0) * (y1 - y0));
    };
    // Rows from the top: the block sits above the bottom edge, against the right.
    EXPECT_GT(meanDiff(W / 2, H - H / 6, W, H), 2 * meanDiff(0, 0, W / 2, H / 3) + 0.5);
}

// Filtering is the controller's state: on and selected while it runs, off and nothing selected
// after a restart, whatever it was before.
TEST_F(ControllerPaths, FilteringIsOffWithNothingSelectedAfterARestart) {
    ViewController& vc = loadController();
    runUntilIdle();
    ASSERT_EQ(vc.filters.size(), 3u);
    vc.setSelectedFilter(vc.filters[1]);
    vc.setFilterEnabled(true);
    EXPECT_TRUE(vc.applyActiveFilter(image::Image::constantColor(image::Color::white()).cropped({0, 0, 8, 8})));
    controller.reset();
    runUntilIdle();
    ViewController& again = loadController();
    runUntilIdle();
    EXPECT_FALSE(again.isFilterEnabled());
    EXPECT_FALSE(again.selectedFilter());
    EXPECT_EQ(again.filters.size(), 3u);
    EXPECT_FALSE(again.applyActiveFilter(image::Image::constantColor(image::Color::white()).cropped({0, 0, 8, 8})));
}

}  // namespace
