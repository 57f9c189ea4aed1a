#include <QApplication>

#include "AppHarness.h"
#include <set>

#include "app/SettingsKeys.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Window.h"

using namespace sorvel;
using namespace sorvel::testing;

using AppShell = AppHarness;

// The window must host the controller's root view full-screen at the profile size; a root view
// of another size would put every later layout computation off.
TEST_F(AppShell, StartsHeadlessWithRootViewAtProfileSize) {
    ASSERT_EQ(QGuiApplication::platformName(), "offscreen");
    ScreenProfile profile = ScreenProfile::phone();
    auto vc = std::make_shared<ViewController>(profile);
    Window window(*vc);
    EXPECT_FALSE(vc->isViewLoaded());
    window.makeKeyAndVisible();
    EXPECT_TRUE(vc->isViewLoaded());
    EXPECT_EQ(window.size(), QSize(390, 844));
    EXPECT_EQ(vc->view()->parentWidget(), &window);
    EXPECT_EQ(vc->view()->geometry(), QRect(0, 0, 390, 844));
    EXPECT_TRUE(vc->view()->isVisible());
    EXPECT_EQ(vc->safeAreaInsets().top, 47);
    EXPECT_EQ(vc->safeAreaInsets().bottom, 34);
    EXPECT_EQ(vc->screenProfile().scale, 3.0);
    runUntilIdle();
}

// A controller must stop observing application state when it goes away; a dangling observer
// would call into a destroyed controller on the next focus change.
TEST_F(AppShell, TeardownRemovesApplicationObservers) {
    auto& center = NotificationCenter::defaultCenter();
    int before = center.observerCount(notifications::kDidBecomeActive);
    loadController();
    EXPECT_EQ(center.observerCount(notifications::kDidBecomeActive), before + 1);
    EXPECT_EQ(center.observerCount(notifications::kWillResignActive), before + 1);
    controller.reset();
    EXPECT_EQ(center.observerCount(notifications::kDidBecomeActive), before);
    center.post(notifications::kDidBecomeActive);
}

// A fresh install must get the twenty defaults at its first screen appearance (deep mode off,
// Live Photo on, quality 0.65...), keep a value the user already changed, and never re-seed on
// later appearances.
TEST_F(AppShell, FirstAppearanceRegistersDefaultsOnce) {
    auto& store = env->settings();
    store.setBool(false, "setting_2");
    auto& vc = loadController();
    EXPECT_FALSE(store.objectForKey("quality_setting"));
    vc.viewDidAppear();
    EXPECT_FALSE(store.objectForKey("quality_setting")) << "the welcome comes one main-queue hop later";
    runUntilIdle();
    EXPECT_TRUE(store.boolForKey("isFirstLaunch"));
    EXPECT_FALSE(store.boolForKey("setting_2"));
    EXPECT_FLOAT_EQ(store.floatForKey("quality_setting_2"), 0.65f);
    EXPECT_EQ(store.integerForKey("photo_preview"), 2);
    // The twenty seeds, the welcome flag, what the start-up camera switch records, and the
    // first start's preset filters.
    std::set<std::string> expected = {"isFirstLaunch", "current_camera_id", "is_selfie_camera", "hasLaunchedBefore",
                                      "savedFilters"};
    for (const auto& [key, value] : settingSeeds()) expected.insert(key);
    auto keys = store.allKeys();
    EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()), expected);

    store.setInteger(0, "photo_preview");
    store.removeObjectForKey("setting_9");
    vc.viewDidAppear();
    runUntilIdle();
    EXPECT_EQ(store.integerForKey("photo_preview"), 0);
    EXPECT_FALSE(store.objectForKey("setting_9"));
}
