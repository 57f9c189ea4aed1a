#include <gtest/gtest.h>

#include <QApplication>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Button.h"
#include "platform/ui/Haptics.h"
#include "platform/ui/ImageView.h"

using namespace sorvel;

namespace {
struct UiToolkit : ::testing::Test {
    VirtualClock clock{5000.0};
    ManualMainQueue main{clock};
    void SetUp() override {
        if (!QApplication::instance()) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            static int argc = 1;
            static char name[] = "ui-tests";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
        Clock::install(&clock);
        DispatchQueue::installMain(&main);
    }
    void TearDown() override {
        Alert::dismissAll();
        DispatchQueue::installMain(nullptr);
        Clock::install(nullptr);
    }
};
}  // namespace

// An animated change must be visible to readers at once (the model), show intermediate values
// on screen, and run its completion exactly when delay + duration have passed; the preview card
// and the flash overlay depend on these timings.
TEST_F(UiToolkit, AnimationSetsModelAtOnceAndCompletesOnTime) {
    View v(QRectF(0, 0, 10, 10));
    v.setAlpha(1.0);
    std::vector<double> completedAt;
    animate(0.3, [&] { v.setAlpha(0.0); }, [&](bool finished) {
        EXPECT_TRUE(finished);
        completedAt.push_back(clock.now());
    }, AnimationOptions{0.5});
    EXPECT_EQ(v.alpha(), 0.0);
    EXPECT_EQ(v.presentationAlpha(), 1.0);  // the delay has not begun to run
    main.advance(0.65);
    EXPECT_GT(v.presentationAlpha(), 0.0);
    EXPECT_LT(v.presentationAlpha(), 1.0);
    EXPECT_TRUE(completedAt.empty());
    main.advance(0.15);
    ASSERT_EQ(completedAt.size(), 1u);
    EXPECT_DOUBLE_EQ(completedAt[0], 5000.8);
    EXPECT_EQ(v.presentationAlpha(), 0.0);

    // Outside an animation block a change is immediate on screen as well.
    v.setAlpha(0.4);
    EXPECT_DOUBLE_EQ(v.presentationAlpha(), 0.4);
}

// A pressed alert button must dismiss the card first and then run its handler once; a card that
// stayed on screen would block the camera.
TEST_F(UiToolkit, AlertButtonDismissesThenRunsHandler) {
    View host(QRectF(0, 0, 390, 844));
    int handled = 0;
    auto alert = Alert::make("需要权限", "msg");
    alert->addAction("好", AlertActionStyle::Default, [&] {
        EXPECT_FALSE(alert->isPresented());
        ++handled;
    });
    alert->addTextField([](Alert::TextField& f) { f.placeholder = "代码"; });
    alert->present(&host);
    ASSERT_EQ(Alert::presented().size(), 1u);
    EXPECT_EQ(Alert::presented()[0]->title(), "需要权限");
    EXPECT_FALSE(alert->press("取消"));
    EXPECT_TRUE(alert->press("好"));
    EXPECT_EQ(handled, 1);
    EXPECT_TRUE(Alert::presented().empty());
}

// Aspect fit must letterbox and aspect fill must crop, centred; the live preview and the
// preview card are laid out with these.
TEST_F(UiToolkit, ContentModesFitAndFill) {
    QRectF bounds(0, 0, 390, 844);
    QRectF fit = ImageView::fittedRect(QSizeF(960, 1280), bounds, ContentMode::AspectFit);
    EXPECT_DOUBLE_EQ(fit.width(), 390);
    EXPECT_DOUBLE_EQ(fit.height(), 520);
    EXPECT_DOUBLE_EQ(fit.y(), 162);
    QRectF fill = ImageView::fittedRect(QSizeF(4032, 3024), QRectF(0, 0, 130, 130 * 4.0 / 3), ContentMode::AspectFill);
    EXPECT_NEAR(fill.height(), 130 * 4.0 / 3, 1e-9);
    EXPECT_NEAR(fill.width(), 130 * 4.0 / 3 * 4032 / 3024, 1e-9);
    EXPECT_NEAR(fill.center().x(), 65, 1e-9);
}

// Button actions run in the order they were added, and the recording haptics backend sees what
// generators fire.
TEST_F(UiToolkit, ButtonActionsAndHaptics) {
    RecordingHaptics haptics;
    HapticsBackend::install(&haptics);
    Button b(QRectF(0, 0, 70, 70));
    std::vector<std::string> order;
    ImpactFeedbackGenerator heavy(ImpactStyle::Heavy);
    b.addAction("按下拍照按钮", [&] {
        order.push_back("shutter");
        heavy.impactOccurred();
    });
    b.addAction("second", [&] { order.push_back("second"); });
    b.sendActions();
    HapticsBackend::install(nullptr);
    EXPECT_EQ(order, (std::vector<std::string>{"shutter", "second"}));
    EXPECT_EQ(b.actionNames()[0], "按下拍照按钮");
    ASSERT_EQ(haptics.count(), 1u);
    EXPECT_EQ(haptics.events()[0].style, static_cast<int>(ImpactStyle::Heavy));
}
