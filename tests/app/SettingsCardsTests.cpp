// The innovative-features card and the app icon picker inside the settings panel, through the
// real camera screen and real clicks.

#include <QProcess>
#include <cstdlib>

#include "SettingsPanelHarness.h"
#include "app/settings/IconCell.h"
#include "app/settings/InnovativeFeaturesView.h"
#include "platform/ui/Alert.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Layer.h"
#include "platform/ui/NavigationController.h"

using namespace sorvel;
using namespace sorvel::testing;
namespace fs = std::filesystem;

namespace {

using InnovativeFeatures = SettingsPanelHarness;

std::vector<View*> shutterButtons(ViewController& vc) {
    std::vector<View*> found;
    for (QObject* child : vc.view()->children())
        if (auto* v = dynamic_cast<View*>(child); v && (v->tag() == 1001 || v->tag() == 1002)) found.push_back(v);
    return found;
}

int stackingIndex(QWidget* w) { return static_cast<int>(w->parentWidget()->children().indexOf(w)); }

}  // namespace

// Extreme mode holds the zoom at 1x: switching it on with the front camera in use must reset
// the remembered front zoom and apply it at once, not at the next camera switch.
TEST_F(InnovativeFeatures, ExtremeModeOnWithTheFrontCameraResetsAndAppliesItsZoom) {
    ViewController& vc = startCamera();
    window = std::make_unique<Window>(vc);
    window->makeKeyAndVisible();
    auto front = camera(DevicePosition::Front);
    store().setDouble(2.5, "zoomFactor_frontCamera");
    vc.switchToCamera(front);
    runUntilIdle();
    ASSERT_NEAR(front->videoZoomFactor(), 2.5, 1e-9);

    SettingsPopupView& panel = open();
    InnovativeFeaturesView& card = *panel.innovativeFeaturesView;
    EXPECT_FALSE(card.extremeModeSwitch->isOn());
    click(card.extremeModeSwitch);
    EXPECT_TRUE(store().boolForKey("innovative_extreme_mode"));
    EXPECT_EQ(store().doubleForKey("zoomFactor_frontCamera"), 1.0);
    EXPECT_NEAR(front->videoZoomFactor(), 1.0, 1e-9);

    // Off changes nothing else; story mode only stores its key.
    store().setDouble(1.7, "zoomFactor_frontCamera");
    click(card.extremeModeSwitch);
    EXPECT_FALSE(store().boolForKey("innovative_extreme_mode"));
    EXPECT_EQ(store().doubleForKey("zoomFactor_frontCamera"), 1.7);
    click(card.storyModeSwitch);
    EXPECT_TRUE(store().boolForKey("innovative_story_mode"));
    EXPECT_NEAR(front->videoZoomFactor(), 1.0, 1e-9);
}

// The shutter row is redrawn while the panel stays open, and stays below the panel.
TEST_F(InnovativeFeatures, TheDualShutterToggleRedrawsTheShutterRowUnderTheOpenPanel) {
    SettingsPopupView& panel = open();
    ASSERT_EQ(shutterButtons(*controller).size(), 1u);
    click(panel.innovativeFeaturesView->dualCaptureModeSwitch);
    EXPECT_TRUE(store().boolForKey("innovative_dual_capture_mode"));
    runUntilIdle();
    auto dual = shutterButtons(*controller);
    ASSERT_EQ(dual.size(), 2u);
    EXPECT_EQ(controller->settingsPopupView, &panel) << "the panel stays open";
    for (View* b : dual) EXPECT_LT(stackingIndex(b), stackingIndex(&panel));
    EXPECT_LT(stackingIndex(dual[0]), stackingIndex(controller->overlayView));

    click(panel.innovativeFeaturesView->dualCaptureModeSwitch);
    runUntilIdle();
    EXPECT_EQ(shutterButtons(*controller).size(), 1u);
    EXPECT_EQ(controller->settingsPopupView, &panel);
}

// A card whose controller is gone still stores its switches, says so, and never calls into it.
TEST_F(InnovativeFeatures, WithoutItsControllerTheCardOnlyStoresAndSays) {
    loadController();
    View host(QRectF(0, 0, 390, 844));
    auto* card = new InnovativeFeaturesView(QRectF(20, 20, 350, 0), std::weak_ptr<ViewController>());
    host.addSubview(card);
    host.show();
    (void)QTest::qWaitForWindowExposed(&host);
    Pointer mouse{&host};
    mouse.click(card->dualCaptureModeSwitch->mapTo(&host, card->dualCaptureModeSwitch->rect().center()));
    runUntilIdle();
    EXPECT_TRUE(store().boolForKey("innovative_dual_capture_mode"));
    EXPECT_EQ(consoleLinesStartingWith("viewController 不存在").size(), 1u);
    mouse.click(card->extremeModeSwitch->mapTo(&host, card->extremeModeSwitch->rect().center()));
    runUntilIdle();
    EXPECT_TRUE(store().boolForKey("innovative_extreme_mode"));
}

// The background drifts between the two pinks and back, forever; the title's glow flashes up in
// the first fifth of its 6 s and tightens to nothing by its end.
TEST_F(InnovativeFeatures, TheGradientDriftsAndTheTitleGlows) {
    SettingsPopupView& panel = open();
    InnovativeFeaturesView& card = *panel.innovativeFeaturesView;
    EXPECT_TRUE(card.gradientLayer->animationKeys().contains("colorChange"));
    EXPECT_EQ(card.gradientLayer->frame(), card.bounds());
    const QColor start = card.gradientLayer->presentationColors()[0];
    EXPECT_NEAR(start.greenF(), 182 / 255.0, 0.02);
    advance(10);  // the far end of the first sweep
    EXPECT_NEAR(card.gradientLayer->presentationColors()[0].greenF(), 20 / 255.0, 0.03);
    advance(10);  // and back
    EXPECT_NEAR(card.gradientLayer->presentationColors()[0].greenF(), 182 / 255.0, 0.03);
    advance(40);
    EXPECT_TRUE(card.gradientLayer->animationKeys().contains("colorChange")) << "it repeats forever";

    // A fresh card starts its glow now.
    closeWithButton();
    InnovativeFeaturesView& fresh = *open().innovativeFeaturesView;
    const double opened = 0.35;  // the slide-in that open() waited for
    advance(0.6 - opened);
    EXPECT_NEAR(fresh.titleLabel->shadowOpacity(), 0.5, 0.1);
    EXPECT_NEAR(fresh.titleLabel->shadowRadius(), 45, 1.5);
    advance(4.0);
    EXPECT_NEAR(fresh.titleLabel->shadowOpacity(), 1.0, 1e-9);
    EXPECT_NEAR(fresh.titleLabel->shadowRadius(), 50 * (1 - 4.6 / 6), 1.5);
    advance(1.5);  // past 6 s: the next cycle, wide and faint again
    EXPECT_GT(fresh.titleLabel->shadowRadius(), 40);
    EXPECT_LT(fresh.titleLabel->shadowOpacity(), 0.7);
}

namespace {

// Where the launcher looks, pointed at temporary folders for the test: no installed entry
// unless the test installs one.
class AppIconPicker : public SettingsPanelHarness {
protected:
    fs::path dataDirs, userData;
    std::optional<std::string> savedDirs, savedHome;

    void SetUp() override {
        SettingsPanelHarness::SetUp();
        if (const char* v = std::getenv("XDG_DATA_DIRS")) savedDirs = v;
        if (const char* v = std::getenv("XDG_DATA_HOME")) savedHome = v;
        dataDirs = folder->path() / "prefix" / "share";
        userData = folder->path() / "user-data";
        fs::create_directories(dataDirs);
        setenv("XDG_DATA_DIRS", dataDirs.c_str(), 1);
        setenv("XDG_DATA_HOME", userData.c_str(), 1);
    }
    void TearDown() override {
        SettingsPanelHarness::TearDown();
        if (savedDirs) setenv("XDG_DATA_DIRS", savedDirs->c_str(), 1);
        else unsetenv("XDG_DATA_DIRS");
        if (savedHome) setenv("XDG_DATA_HOME", savedHome->c_str(), 1);
        else unsetenv("XDG_DATA_HOME");
    }

    // What `cmake --install` puts for launchers, into the temporary prefix.
    void installDesktopFiles() {
        QProcess tool;
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start("cmake", {"--install", SORVEL_BINARY_DIR, "--prefix", QString::fromStdString(dataDirs.parent_path().string()),
                             "--component", "desktop"});
        ASSERT_TRUE(tool.waitForFinished(60000));
        ASSERT_EQ(tool.exitCode(), 0) << tool.readAll().toStdString();
        ASSERT_TRUE(fs::exists(dataDirs / "applications/org.sorvel.Camera.desktop"));
    }

    CollectionView* openPicker() {
        SettingsPopupView& panel = open();
        click(panel.changeIconButton);
        advance(0.35);
        runUntilIdle();
        auto* navigation = dynamic_cast<NavigationController*>(controller->presentedController());
        if (!navigation) return nullptr;
        EXPECT_EQ(navigation->navigationBar()->title(), "选一个图标");
        return dynamic_cast<CollectionViewController&>(navigation->rootController()).collectionView();
    }
    void clickRow(CollectionView* list, int row) {
        CollectionViewCell* cell = list->cellForItem(row);
        ASSERT_NE(cell, nullptr);
        pointer().click(centreOf(cell));
        runUntilIdle();
    }
    fs::path userEntry() const { return userData / "applications/org.sorvel.Camera.desktop"; }
};

}  // namespace

// The picker lists the fifteen named icons; an app that is not installed as a desktop
// application can only say so: nothing written, no haptic, the picker stays.
TEST_F(AppIconPicker, ListsTheFifteenIconsAndWithoutAnInstallOnlySaysSo) {
    CollectionView* list = openPicker();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->numberOfItems(), 15);
    auto* first = dynamic_cast<IconCell*>(list->cellForItem(0));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->iconNameLabel->text(), "经典");
    EXPECT_EQ(dynamic_cast<IconCell*>(list->cellForItem(14))->iconNameLabel->text(), "樱花");
    EXPECT_EQ(list->frameForItem(3).size(), QSizeF(list->frame().width(), 40));
    EXPECT_TRUE(first->iconImageView->image().isNull()) << "no theme holds the pictures";

    haptics.clear();
    clickRow(list, 1);
    EXPECT_EQ(consoleLinesStartingWith("This device does not support alternate icons").size(), 1u);
    EXPECT_TRUE(consoleLinesStartingWith("Successfully changed app icon").empty());
    EXPECT_TRUE(consoleLinesStartingWith("Error setting app icon").empty());
    EXPECT_FALSE(fs::exists(userEntry()));
    EXPECT_EQ(haptics.count(), 0u);
    EXPECT_TRUE(Alert::presented().empty());
    EXPECT_NE(controller->presentedController(), nullptr) << "the picker stays open";

    clickButtonTitled("完成");
    advance(0.35);
    runUntilIdle();
    EXPECT_EQ(controller->presentedController(), nullptr);
    EXPECT_NE(controller->settingsPopupView, nullptr);
}

// Installed into a prefix: each row writes the user's entry naming its icon from the theme
// (the first row the primary icon, never "AppIcon1"); the entry still validates; a success
// haptic follows; an icon missing from the theme gives the error line and alert.
TEST_F(AppIconPicker, RowsSwitchTheLauncherIconOfAnInstalledApp) {
    installDesktopFiles();
    CollectionView* list = openPicker();
    ASSERT_NE(list, nullptr);
    auto iconKey = [this] {
        std::string text = readTextFile(userEntry());
        auto at = text.find("\nIcon=");
        return at == std::string::npos ? std::string() : text.substr(at + 6, text.find('\n', at + 6) - at - 6);
    };

    // Each row shows its own icon from the installed theme.
    QImage second = dynamic_cast<IconCell*>(list->cellForItem(1))->iconImageView->image();
    QImage tenth = dynamic_cast<IconCell*>(list->cellForItem(9))->iconImageView->image();
    ASSERT_EQ(second.size(), QSize(64, 64));
    EXPECT_EQ(second, QImage(QString::fromStdString((dataDirs / "icons/hicolor/64x64/apps/org.sorvel.Camera.AppIcon2.png").string())));
    EXPECT_NE(second, tenth);

    haptics.clear();
    clickRow(list, 1);
    EXPECT_EQ(consoleLinesStartingWith("Successfully changed app icon to: "),
              (std::vector<std::string>{"Successfully changed app icon to: AppIcon2"}));
    EXPECT_EQ(iconKey(), "org.sorvel.Camera.AppIcon2");
    ASSERT_EQ(haptics.count(), 1u);
    EXPECT_EQ(haptics.events()[0].kind, HapticEvent::Kind::Notification);
    EXPECT_EQ(haptics.events()[0].style, static_cast<int>(NotificationFeedback::Success));
    EXPECT_TRUE(fs::exists(dataDirs / "icons/hicolor/scalable/apps/org.sorvel.Camera.AppIcon2.svg"));
    EXPECT_TRUE(fs::exists(dataDirs / "icons/hicolor/48x48/apps/org.sorvel.Camera.AppIcon2.png"));
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start("desktop-file-validate", {QString::fromStdString(userEntry().string())});
    ASSERT_TRUE(validate.waitForFinished(30000));
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAll().toStdString();

    clickRow(list, 14);
    EXPECT_EQ(iconKey(), "org.sorvel.Camera.AppIcon15");
    clickRow(list, 0);
    EXPECT_EQ(iconKey(), "org.sorvel.Camera");
    EXPECT_EQ(consoleLinesStartingWith("Successfully changed app icon to: ").back(),
              "Successfully changed app icon to: default");
    for (const std::string& line : console->lines()) EXPECT_EQ(line.find("AppIcon1\n"), std::string::npos);

    // The ninth icon was lost from the theme: the entry keeps the primary icon.
    for (const auto& dir : fs::recursive_directory_iterator(dataDirs / "icons"))
        if (dir.path().filename().string().starts_with("org.sorvel.Camera.AppIcon9.")) fs::remove(dir.path());
    clickRow(list, 8);
    auto errors = consoleLinesStartingWith("Error setting app icon: ");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("org.sorvel.Camera.AppIcon9"), std::string::npos);
    EXPECT_EQ(iconKey(), "org.sorvel.Camera");
    auto alerts = Alert::presented();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]->title(), "Error");
    EXPECT_TRUE(alerts[0]->message().startsWith("Failed to change app icon: "));
    clickButtonTitled("OK");
    EXPECT_TRUE(Alert::presented().empty());
}
