#include <QTest>

#include "UiTestSupport.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/ScreenController.h"

using namespace sorvel;
using sorvel::testing::Pointer;

namespace {

struct Screen : ScreenController {
    using ScreenController::ScreenController;
    int loaded = 0, appeared = 0, disappeared = 0;
    void viewDidLoad() override {
        ++loaded;
        view()->setBackgroundColor(QColor(30, 30, 30));
    }
    void viewDidAppear() override { ++appeared; }
    void viewDidDisappear() override { ++disappeared; }
};

struct UiPresentation : sorvel::testing::UiFixture {
    std::unique_ptr<Screen> camera;
    void SetUp() override {
        UiFixture::SetUp();
        camera = std::make_unique<Screen>(ScreenProfile::phone());
        sorvel::testing::showTopLevel(*camera->view());
    }
    void TearDown() override {
        camera.reset();
        UiFixture::TearDown();
    }
    Pointer pointer() { return Pointer{camera->view()}; }
};

}  // namespace

// The theme screen is closed by pulling it down ("下滑关闭此页面"): a short pull must spring
// back and keep it, a long one must dismiss it once the slide has run, and its controller must
// hear both ends of its life.
TEST_F(UiPresentation, PresentedScreenSlidesUpAndASwipeDownDismissesIt) {
    auto theme = std::make_shared<Screen>(ScreenProfile::phone());
    int dismissed = 0;
    theme->onDismiss = [&] { ++dismissed; };
    camera->present(theme);
    EXPECT_EQ(theme->loaded, 1);
    EXPECT_EQ(camera->presentedController(), theme.get());
    EXPECT_EQ(theme->presentingController(), camera.get());
    EXPECT_EQ(theme->view()->frame(), QRectF(0, 0, 390, 844));  // the model: full window
    main.advance(0.15);
    EXPECT_GT(theme->view()->presentationFrame().top(), 0);
    main.advance(0.2);
    EXPECT_EQ(theme->appeared, 1);
    EXPECT_EQ(theme->view()->presentationFrame().top(), 0);
    EXPECT_TRUE(theme->view()->isVisible());

    // 100 points slowly (a step of 12 points every 0.1 s): it follows the finger, then returns.
    auto slowly = [&] { main.advance(0.1); };
    pointer().press(QPoint(200, 300));
    for (int i = 1; i <= 8; ++i) {
        slowly();
        pointer().move(QPoint(200, 300 + 12 * i));
    }
    EXPECT_EQ(theme->view()->frame().top(), 96);
    pointer().release(QPoint(200, 396));
    main.advance(0.5);
    EXPECT_EQ(theme->view()->frame().top(), 0);
    EXPECT_EQ(dismissed, 0);

    // Past a quarter of the height.
    pointer().drag(QPoint(200, 200), QPoint(200, 500), 10, slowly);
    EXPECT_TRUE(theme->isBeingDismissed());
    main.advance(ScreenController::kPresentationDuration + 0.01);
    EXPECT_EQ(dismissed, 1);
    EXPECT_EQ(theme->disappeared, 1);
    EXPECT_EQ(camera->presentedController(), nullptr);
    EXPECT_FALSE(theme->view()->isVisible());

    // A fast flick of 80 points dismisses too: 80 points in 0.05 s.
    camera->present(theme, Animated::No);
    EXPECT_EQ(theme->appeared, 2);
    pointer().drag(QPoint(200, 200), QPoint(200, 280), 4, [&] { main.advance(0.0125); });
    main.advance(0.5);
    EXPECT_EQ(dismissed, 2);
}

// The icon picker: a navigation bar shows the list's title and a right button whose action
// closes the picker by code; the list below it starts under the bar.
TEST_F(UiPresentation, NavigationControllerShowsTitleAndRightButtonThatDismisses) {
    auto list = std::make_shared<Screen>(ScreenProfile::phone());
    list->navigationItem().title = "选一个图标";
    bool closed = false;
    std::weak_ptr<Screen> weakList = list;
    list->navigationItem().rightBarButtonItem =
        BarButtonItem::titled("完成", BarButtonStyle::Done, "dismissIconPicker", [&, weakList] {
            if (auto l = weakList.lock()) l->dismiss(Animated::Yes, [&] { closed = true; });
        });
    auto nav = std::make_shared<NavigationController>(list);
    camera->present(nav, Animated::No);
    NavigationBar* bar = nav->navigationBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->title(), "选一个图标");
    ASSERT_NE(bar->rightButton(), nullptr);
    const double top = camera->safeAreaInsets().top;
    EXPECT_EQ(list->view()->frame().top(), top + NavigationBar::kHeight);

    Button* done = bar->rightButton();
    pointer().click(done->mapTo(camera->view(), done->rect().center()));
    main.advance(0.5);
    EXPECT_TRUE(closed);
    EXPECT_EQ(camera->presentedController(), nullptr);
    EXPECT_EQ(list->disappeared, 1);
}
