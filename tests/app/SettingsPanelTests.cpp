// The settings panel through the real camera screen: opened with a click on the settings
// button, driven with mouse input and typed keys, checked in the settings store, on the camera
// and on the screen afterwards.

#include <QLineEdit>
#include <QTest>
#include <set>

#include "SettingsPanelHarness.h"
#include "app/SettingsKeys.h"
#include "app/settings/InnovativeFeaturesView.h"
#include "app/settings/SettingsPopupView.h"
#include "app/settings/SettingsRows.h"
#include "app/themes/ThemeManager.h"
#include "app/themes/ThemeSettingsViewController.h"
#include "platform/ui/BlurView.h"
#include "platform/capture/CaptureDevice.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/Slider.h"
#include "platform/ui/StackView.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"

using namespace sorvel;
using namespace sorvel::testing;

using SettingsPanel = SettingsPanelHarness;


// The first opening on a fresh install seeds exactly the twenty defaults (and nothing else);
// a later opening must show and keep what the user changed, not the defaults.
TEST_F(SettingsPanel, FirstOpeningSeedsTheDefaultsAndLaterOnesKeepTheUsersValues) {
    // The welcome (which seeds too) was seen on an earlier version; the panel seeds first.
    store().setBool(true, "isFirstLaunch");
    ViewController& vc = startCamera();
    window = std::make_unique<Window>(vc);
    window->makeKeyAndVisible();
    runUntilIdle();
    std::vector<std::string> before = store().allKeys();
    for (const auto& [key, value] : settingSeeds()) EXPECT_FALSE(store().objectForKey(key)) << key;

    SettingsPopupView& panel = open();
    std::vector<std::string> after = store().allKeys();
    std::set<std::string> added(after.begin(), after.end());
    for (const std::string& k : before) added.erase(k);
    std::set<std::string> seeds;
    for (const auto& [key, value] : settingSeeds()) seeds.insert(key);
    EXPECT_EQ(added, seeds);
    EXPECT_EQ(store().objectForKey("quality_setting")->toReal(), 0.65);
    EXPECT_TRUE(switchAt(2)->isOn()) << "Live Photo is seeded on";
    EXPECT_EQ(segmentsAt(8)->selectedSegmentIndex(), 2);
    EXPECT_EQ(panel.sliders[0].label->text(), "质量-深度SorvelHEIC: 65%");

    click(switchAt(2));
    EXPECT_FALSE(store().boolForKey("setting_2"));
    clickSegment(segmentsAt(8), 1);
    EXPECT_EQ(store().integerForKey("photo_preview"), 1);
    closeWithButton();

    open();
    EXPECT_FALSE(switchAt(2)->isOn());
    EXPECT_FALSE(store().boolForKey("setting_2"));
    EXPECT_EQ(segmentsAt(8)->selectedSegmentIndex(), 1);
    EXPECT_EQ(store().integerForKey("photo_preview"), 1);
}

// A format text the panel does not know selects "RAW" and is left alone until the user picks
// a segment; each segment then writes the exact text the deep pipeline reads.
TEST_F(SettingsPanel, AnUnknownSaveFormatSelectsRawAndSegmentsWriteTheirTexts) {
    store().setObject(Value("PNG"), "save_format");
    store().setBool(true, "setting_0");
    open();
    EXPECT_EQ(segmentsAt(1)->selectedSegmentIndex(), 0);
    EXPECT_EQ(store().stringForKey("save_format"), "PNG");
    clickSegment(segmentsAt(1), 1);
    EXPECT_EQ(store().stringForKey("save_format"), "RAW+HEIC");
    clickSegment(segmentsAt(1), 2);
    EXPECT_EQ(store().stringForKey("save_format"), "HEIC");
    clickSegment(segmentsAt(1), 0);
    EXPECT_EQ(store().stringForKey("save_format"), "RAW");
}

// Deep mode shows the format row and hides Live Photo (which it cannot take), enables the
// format control and puts the front camera back at 1x at once; off reverses the rows.
TEST_F(SettingsPanel, DeepModeTogglesTheRowsAndResetsTheFrontCamerasZoom) {
    ViewController& vc = startCamera();
    window = std::make_unique<Window>(vc);
    window->makeKeyAndVisible();
    auto front = camera(DevicePosition::Front);
    ASSERT_TRUE(front);
    store().setDouble(2.0, "zoomFactor_frontCamera");
    vc.switchToCamera(front);
    runUntilIdle();
    ASSERT_NEAR(front->videoZoomFactor(), 2.0, 1e-9);

    SettingsPopupView& panel = open();
    EXPECT_TRUE(row(1)->isHidden());
    EXPECT_FALSE(row(2)->isHidden());
    EXPECT_FALSE(segmentsAt(1)->isEnabled());

    const double contentBefore = panel.scrollView->contentSize().height();
    click(switchAt(0));
    EXPECT_TRUE(store().boolForKey("setting_0"));
    EXPECT_FALSE(row(1)->isHidden());
    EXPECT_TRUE(row(2)->isHidden());
    EXPECT_TRUE(segmentsAt(1)->isEnabled());
    EXPECT_EQ(store().doubleForKey("zoomFactor_frontCamera"), 1.0);
    EXPECT_NEAR(front->videoZoomFactor(), 1.0, 1e-9);
    EXPECT_EQ(vc.currentZoomFactor, 1.0);
    // One row swapped for another: the list did not grow a gap or lose one.
    EXPECT_EQ(panel.scrollView->contentSize().height(), contentBefore);
    EXPECT_LT(row(1)->frame().bottom(), row(3)->frame().top());

    click(switchAt(0));
    EXPECT_FALSE(store().boolForKey("setting_0"));
    EXPECT_TRUE(row(1)->isHidden());
    EXPECT_FALSE(row(2)->isHidden());
    EXPECT_FALSE(segmentsAt(1)->isEnabled());
}

// "常亮" is a torch, not a flash: it must light at once and go out on any other choice; a
// device that refuses its lock leaves the torch as it was, says why, and still stores the choice.
TEST_F(SettingsPanel, AlwaysOnLightsTheTorchAndOtherChoicesPutItOut) {
    open();
    auto torch = CaptureDevice::defaultDevice(MediaType::Video);
    ASSERT_TRUE(torch && torch->hasTorch());
    clickSegment(segmentsAt(3), 3);
    EXPECT_EQ(store().integerForKey("flash_mode"), 3);
    EXPECT_EQ(torch->torchMode(), TorchMode::On);
    EXPECT_FALSE(torch->isLockedForConfiguration());
    clickSegment(segmentsAt(3), 1);
    EXPECT_EQ(store().integerForKey("flash_mode"), 1);
    EXPECT_EQ(torch->torchMode(), TorchMode::Off);

    clickSegment(segmentsAt(3), 3);
    torch->setFaults({CaptureFault::LockFailure});
    clickSegment(segmentsAt(3), 0);
    EXPECT_EQ(store().integerForKey("flash_mode"), 0);
    EXPECT_EQ(torch->torchMode(), TorchMode::On);
    EXPECT_EQ(consoleLinesStartingWith("Error setting torch mode: ").size(), 1u);
    torch->setFaults({});
}

// The labels truncate (0.999 is 99%, not 100%) and a drag writes the key continuously.
TEST_F(SettingsPanel, SliderLabelsTruncateAndDragsWriteTheirKeys) {
    store().setFloat(0.999f, "quality_setting");
    store().setFloat(0.29f, "heic_resolution_scale");
    SettingsPopupView& panel = open();
    EXPECT_EQ(panel.sliders[0].label->text(), "质量-深度SorvelHEIC: 99%");
    EXPECT_EQ(panel.sliders[2].label->text(), "分辨率-深度SorvelHEIC: 29%");

    Slider* normal = panel.sliders[3].slider;
    reveal(normal);
    const QRectF b = normal->bounds();
    pointer().press(pointIn(normal, QPointF(b.width() - 1, b.height() / 2)));
    runUntilIdle();
    const float nearEnd = normal->value();
    EXPECT_NEAR(store().floatForKey("normal_resolution_scale"), nearEnd, 1e-6);
    pointer().move(pointIn(normal, QPointF(b.width() / 2, b.height() / 2)));
    runUntilIdle();
    const float middle = normal->value();
    EXPECT_LT(middle, nearEnd);
    EXPECT_NEAR(store().floatForKey("normal_resolution_scale"), middle, 1e-6) << "written while dragging";
    pointer().release(pointIn(normal, QPointF(b.width() / 2, b.height() / 2)));
    runUntilIdle();
    EXPECT_EQ(panel.sliders[3].label->text(), QString::fromStdString(sliderLabelText("分辨率-普通静态模式", middle)));
    EXPECT_FLOAT_EQ(store().floatForKey("quality_setting"), 0.999f) << "the other sliders are untouched";
}

// A flick closes the panel after a short pull; a slow pull that returns above its start lets
// it spring back; a pull that starts upward or below the content's top is the list's scroll.
TEST_F(SettingsPanel, DragToCloseFollowsTheFlickAndHalfHeightRules) {
    SettingsPopupView& panel = open();
    const QRectF resting = panel.frame();
    const QPoint header = pointIn(&panel, QPointF(60, 20));
    auto step = [this] { advance(0.02); };

    // Down 40 then back up past the start, slowly: the panel never rises above its place and
    // springs back.
    pointer().press(header);
    for (int y : {8, 16, 24, 32, 40, 28, 16, 4, -6, -12}) {
        advance(0.1);
        pointer().move(header + QPoint(0, y));
        runUntilIdle();
        EXPECT_GE(panel.frame().top(), resting.top());
    }
    pointer().release(header + QPoint(0, -12));
    runUntilIdle();
    advance(0.35);
    runUntilIdle();
    ASSERT_NE(controller->settingsPopupView, nullptr);
    EXPECT_EQ(panel.frame(), resting);

    // While the content is scrolled down, a pull in it scrolls the list and leaves the panel.
    panel.scrollView->setContentOffset(QPointF(0, 200));
    const QPoint inList = pointIn(panel.scrollView, QPointF(200, 100));
    pointer().drag(inList, inList + QPoint(0, 60), 6, step);
    runUntilIdle();
    advance(0.35);
    EXPECT_EQ(panel.frame(), resting);
    EXPECT_LT(panel.scrollView->contentOffset().y(), 200);
    panel.scrollView->setContentOffset(QPointF(0, 0));

    // At the content's top, a fast pull down in the list takes the panel with it and closes it.
    // The panel's slide out, then the controller's own close.
    auto slideOut = [this] {
        for (int i = 0; i < 2; ++i) {
            runUntilIdle();
            advance(0.35);
        }
        runUntilIdle();
    };
    pointer().drag(inList, inList + QPoint(0, 40), 2, step);
    slideOut();
    EXPECT_EQ(controller->settingsPopupView, nullptr);

    // So does a short fast flick down (40 points in 0.04 s) on the header.
    SettingsPopupView& again = open();
    EXPECT_EQ(again.frame(), resting);
    pointer().drag(header, header + QPoint(0, 40), 2, step);
    slideOut();
    EXPECT_EQ(controller->settingsPopupView, nullptr);
}

// The custom-button row follows the text field key by key, and the switch shows or hides it.
TEST_F(SettingsPanel, TheCustomButtonRowIsRebuiltOnEveryKeystroke) {
    SettingsPopupView& panel = open();
    click(panel.customButtonSwitch);
    EXPECT_TRUE(store().boolForKey("customButtonEnabled"));
    EXPECT_EQ(controller->customButtonsStackView, nullptr) << "no text, no row";

    click(panel.customButtonTextField);
    QLineEdit* edit = panel.customButtonTextField->lineEdit();
    auto titles = [this] {
        std::vector<QString> shown;
        if (StackView* row = controller->customButtonsStackView)
            for (View* v : row->arrangedSubviews())
                if (auto* b = dynamic_cast<Button*>(v)) shown.push_back(b->title());
        return shown;
    };
    const std::string typed = "2x 相册";
    QString sofar;
    const QString all = QString::fromStdString(typed);
    typeText(edit, all, [&] {
        runUntilIdle();
        sofar += all[sofar.size()];
        EXPECT_EQ(store().stringForKey("customButtonText"), sofar.toStdString());
        EXPECT_EQ(edit->text(), sofar);
    });
    EXPECT_EQ(titles(), (std::vector<QString>{"2x", "相册"}));
    ASSERT_NE(controller->customButtonsStackView, nullptr);
    EXPECT_FALSE(controller->customButtonsStackView->isHidden());
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Backspace);
    runUntilIdle();
    EXPECT_EQ(titles(), (std::vector<QString>{"2x"}));

    click(panel.customButtonSwitch);
    EXPECT_FALSE(store().boolForKey("customButtonEnabled"));
    EXPECT_TRUE(!controller->customButtonsStackView || controller->customButtonsStackView->isHidden());
}

// The watermark text is typed into an alert, saved with "保存" and named on the button; "取消"
// keeps what was there.
TEST_F(SettingsPanel, TheWatermarkTextIsSavedAndNamedOnTheButton) {
    SettingsPopupView& panel = open();
    EXPECT_EQ(panel.watermarkButton->title(), "设置水印内容");
    click(panel.watermarkButton);
    auto shown = Alert::presented();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]->title(), "设置水印内容");
    ASSERT_EQ(shown[0]->textFields().size(), 1u);
    EXPECT_EQ(shown[0]->textFields()[0].placeholder, "水印输入框");
    QLineEdit* edit = nullptr;
    for (QLineEdit* e : controller->view()->findChildren<QLineEdit*>())
        if (e->placeholderText() == "水印输入框") edit = e;
    ASSERT_NE(edit, nullptr);
    typeText(edit, "北京 · 春");
    clickButtonTitled("保存");
    EXPECT_EQ(store().stringForKey("watermarkContent"), "北京 · 春");
    EXPECT_EQ(panel.watermarkButton->title(), "点击编辑水印：北京 · 春");

    click(panel.watermarkButton);
    shown = Alert::presented();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]->textFields()[0].text, "北京 · 春") << "the field starts with the saved text";
    clickButtonTitled("取消");
    EXPECT_EQ(store().stringForKey("watermarkContent"), "北京 · 春");
    closeWithButton();
    open();
    EXPECT_EQ(controller->settingsPopupView->watermarkButton->title(), "点击编辑水印：北京 · 春");
}

// Haptics follow the vibration switch at once; the debug switch only reports itself.
TEST_F(SettingsPanel, VibrationAndDebugSwitchesReportThemselves) {
    open();
    ASSERT_TRUE(switchAt(9)->isOn());
    click(switchAt(9));
    EXPECT_FALSE(store().boolForKey("setting_9"));
    EXPECT_FALSE(controller->isVibrationEnabled);
    EXPECT_EQ(controller->feedbackGenerator1, nullptr);
    click(switchAt(9));
    EXPECT_TRUE(controller->isVibrationEnabled);
    EXPECT_NE(controller->feedbackGenerator1, nullptr);
    EXPECT_EQ(consoleLinesStartingWith("Vibration Feedback: "),
              (std::vector<std::string>{"Vibration Feedback: false", "Vibration Feedback: true"}));
    click(switchAt(10));
    EXPECT_TRUE(store().boolForKey("setting_10"));
    EXPECT_EQ(consoleLinesStartingWith("Timer: "), (std::vector<std::string>{"Timer: true"}));
    // The remaining switches write their "setting_N" keys and nothing else.
    for (int tag : {4, 5, 6, 11, 12, 13, 14}) {
        const bool before = store().boolForKey(switchKey(tag));
        click(switchAt(tag));
        EXPECT_NE(store().boolForKey(switchKey(tag)), before) << tag;
    }
}

// A light theme background gets the light blur, the default black one the dark blur; the help
// text shows its headings in bold 18 and the body in 14.
TEST_F(SettingsPanel, BlurAndHelpTextFollowTheThemeAndTheTable) {
    SettingsPopupView& dark = open();
    EXPECT_EQ(dark.blurEffectView->style(), BlurStyle::Dark);
    const auto& runs = dark.DescriptionLabel->attributedText();
    ASSERT_GT(runs.size(), 20u);
    EXPECT_EQ(runs[0].text, "\n\n深度Sorvel\n");
    EXPECT_TRUE(runs[0].font.bold());
    EXPECT_EQ(runs[0].font.pixelSize(), 18);
    EXPECT_FALSE(runs[1].font.bold());
    EXPECT_EQ(runs[1].font.pixelSize(), 14);
    EXPECT_GT(dark.DescriptionLabel->frame().height(), 600) << "the whole text is laid out, wrapped";
    closeWithButton();

    store().setObject(Value("#F0F0F0"), "theme_backgroundColor");
    ThemeManager::shared().updateColors();
    SettingsPopupView& light = open();
    EXPECT_EQ(light.blurEffectView->style(), BlurStyle::Light);
}

// A guide choice redraws the guides at once (lines and the crop frame), "无" removes them, and
// the open panel stays above the rebuilt guides.
TEST_F(SettingsPanel, AGuideChoiceRedrawsTheGuidesUnderTheOpenPanel) {
    SettingsPopupView& panel = open();
    clickSegment(segmentsAt(7), 2);
    EXPECT_EQ(store().integerForKey("grid_lines"), 2);
    View* guides = controller->gridContainer;
    ASSERT_NE(guides, nullptr);
    int lines = 0;
    for (QObject* child : guides->children()) lines += dynamic_cast<View*>(child) != nullptr;
    EXPECT_EQ(lines, 4) << "the 3 x 3 grid inside the 9:16 frame";
    EXPECT_EQ(guides->sublayers().size(), 2u) << "the double-lined frame";
    auto index = [](QWidget* w) { return w->parentWidget()->children().indexOf(w); };
    EXPECT_LT(index(guides), index(&panel));
    EXPECT_LT(index(guides), index(controller->overlayView));

    clickSegment(segmentsAt(7), 0);
    EXPECT_EQ(store().integerForKey("grid_lines"), 0);
    ASSERT_NE(controller->gridContainer, nullptr);
    EXPECT_TRUE(controller->gridContainer->children().isEmpty());
    EXPECT_TRUE(controller->gridContainer->sublayers().empty());
}

// "主题设置" presents the theme screen over the camera, the panel still open beneath it.
TEST_F(SettingsPanel, TheThemeButtonPresentsTheThemeScreen) {
    SettingsPopupView& panel = open();
    click(panel.themeSettingsButton);
    advance(0.35);
    runUntilIdle();
    EXPECT_NE(dynamic_cast<ThemeSettingsViewController*>(controller->presentedController()), nullptr);
    EXPECT_EQ(controller->settingsPopupView, &panel);
}
