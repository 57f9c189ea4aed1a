#include <QApplication>

#include "AppHarness.h"
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
