// Countdown and interval shooting through the running app: the stopwatch button, the timer
// panel's buttons, field and switch used with the mouse and keyboard, the big number, and the
// shutter presses on the virtual clock.

#include <QLineEdit>
#include <QTest>

#include "AppHarness.h"
#include "platform/capture/AudioSession.h"
#include "platform/capture/virtual/VirtualRig.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Label.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/Window.h"

using namespace sorvel;
using namespace sorvel::testing;

namespace {

class Timers : public AppHarness {
protected:
    void SetUp() override {
        AppHarness::SetUp();
        env->settings().registerSeeds({{"normal_resolution_scale", 1.0}, {"setting_2", false}, {"setting_9", true}});
        // The welcome has been answered: its alert would lie over the window.
        env->settings().setBool(true, "isFirstLaunch");
        // Small sensors keep each of the many photos quick.
        RigProfile profile = RigProfile::builtIn();
        for (auto& camera : profile.cameras) camera.sensor = {1024, 768};
        VirtualRig::shared().configure(profile);
    }
    void TearDown() override {
        window.reset();
        AppHarness::TearDown();
    }
    ViewController& open() {
        auto& vc = startCamera();
        window = std::make_unique<Window>(vc);
        window->makeKeyAndVisible();
        window->activateWindow();
        (void)QTest::qWaitForWindowExposed(window.get());
        runUntilIdle();
        return vc;
    }
    // A click through the window system on the middle of `w`: Qt routes it to whatever lies there.
    void click(QWidget* w) {
        ASSERT_NE(w, nullptr);
        const QPoint at = w->mapTo(window.get(), w->rect().center());
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at);
        runUntilIdle();
    }
    Button* countdownButton(ViewController& vc, const QString& title) {
        for (Button* b : vc.countdownButtons)
            if (b->title() == title) return b;
        return nullptr;
    }
    // The shutter's heavy haptic: one per press of any kind.
    int presses() const {
        int n = 0;
        for (const auto& e : haptics.events())
            if (e.kind == HapticEvent::Kind::Impact && e.style == static_cast<int>(ImpactStyle::Heavy)) ++n;
        return n;
    }
    std::vector<Label*> bigNumbers(ViewController& vc) {
        std::vector<Label*> found;
        for (QObject* child : vc.view()->children())
            if (auto* l = dynamic_cast<Label*>(child); l && l->font().pixelSize() == 200) found.push_back(l);
        return found;
    }
    std::string bigNumber(ViewController& vc) {
        auto labels = bigNumbers(vc);
        return labels.size() == 1 ? labels[0]->text().toStdString() : "(" + std::to_string(labels.size()) + " labels)";
    }
    // Types `text` into the interval field as a person would (click, clear, keys).
    void typeInterval(ViewController& vc, const QString& text) {
        click(vc.intervalShootingInput);
        ASSERT_TRUE(vc.intervalShootingInput->isEditing());
        vc.intervalShootingInput->lineEdit()->selectAll();
        QTest::keyClick(vc.intervalShootingInput->lineEdit(), Qt::Key_Backspace);
        QTest::keyClicks(vc.intervalShootingInput->lineEdit(), text);
        runUntilIdle();
    }
    std::unique_ptr<Window> window;
};

}  // namespace

// The stopwatch opens the panel (fading in over 0.1 s, the button turning into a cross) and
// closes it again; each press lets haptics play while recording and ticks the soft haptic.
TEST_F(Timers, StopwatchOpensAndClosesThePanel) {
    auto& vc = open();
    ASSERT_TRUE(vc.timerButton && vc.timerView);
    EXPECT_EQ(vc.timerButton->frame(), QRectF(20, 47 + 16, 30, 30));
    EXPECT_EQ(vc.timerButton->symbolName(), "stopwatch");
    EXPECT_TRUE(vc.timerView->isHidden());
    EXPECT_EQ(vc.timerView->accessibilityIdentifier(), "timerView");
    std::vector<QString> titles;
    for (Button* b : vc.countdownButtons) titles.push_back(b->title());
    EXPECT_EQ(titles, (std::vector<QString>{"1s", "3s", "6s", "12s"}));
    ASSERT_TRUE(vc.intervalShootingInput && vc.intervalSwitch);
    EXPECT_EQ(vc.intervalShootingInput->text(), "5");
    EXPECT_EQ(vc.intervalShootingInput->placeholder(), "秒");
    EXPECT_EQ(vc.intervalShootingInput->keyboardType(), KeyboardType::NumberPad);
    EXPECT_EQ(vc.intervalShootingInput->frame().size(), QSizeF(70, 35));
    EXPECT_FALSE(vc.intervalSwitch->isOn());

    AudioSession::shared().setAllowHapticsAndSystemSoundsDuringRecording(false);
    haptics.clear();
    click(vc.timerButton);
    EXPECT_TRUE(AudioSession::shared().allowHapticsAndSystemSoundsDuringRecording());
    EXPECT_EQ(haptics.count(), 1u);
    EXPECT_EQ(vc.timerButton->symbolName(), "xmark");
    EXPECT_FALSE(vc.timerView->isHidden());
    advance(0.05);
    EXPECT_GT(vc.timerView->presentationAlpha(), 0.0);
    EXPECT_LT(vc.timerView->presentationAlpha(), 1.0);
    advance(0.06);
    EXPECT_EQ(vc.timerView->presentationAlpha(), 1.0);

    click(vc.timerButton);
    EXPECT_EQ(vc.timerButton->symbolName(), "stopwatch");
    EXPECT_FALSE(vc.timerView->isHidden()) << "hidden only once it has faded";
    advance(0.11);
    EXPECT_TRUE(vc.timerView->isHidden());
    EXPECT_EQ(haptics.count(), 2u);
}

// "12s" shows 12 at once and 11 ... 1 a second apart, and shoots at exactly 12 s; meanwhile the
// other buttons, the field and the stopwatch are dimmed and refuse, the switch too. A preview
// card of the photo lies below the panel.
TEST_F(Timers, TwelveSecondCountdownShowsEachSecondAndShootsAtTwelve) {
    env->settings().setObject(Value(2), "photo_preview");
    auto& vc = open();
    click(vc.timerButton);
    advance(0.2);
    haptics.clear();
    click(countdownButton(vc, "12s"));
    EXPECT_TRUE(vc.timedShooting->isCountdownActive);
    EXPECT_EQ(bigNumber(vc), "12");
    Label* number = bigNumbers(vc).at(0);
    EXPECT_NEAR(number->frame().center().x(), 195, 0.5);
    EXPECT_NEAR(number->frame().center().y(), 422, 0.5);
    EXPECT_EQ(number->font().weight(), QFont::DemiBold);
    EXPECT_EQ(number->shadowOffset(), QPointF(5, 5));
    EXPECT_EQ(number->shadowOpacity(), 0.5);
    for (Button* b : vc.countdownButtons) {
        EXPECT_FALSE(b->isEnabled());
        EXPECT_EQ(b->alpha(), 0.5);
    }
    EXPECT_FALSE(vc.timerButton->isEnabled());
    EXPECT_FALSE(vc.intervalSwitch->isEnabled());
    EXPECT_FALSE(vc.intervalShootingInput->isEnabled());

    for (int shown = 11; shown >= 1; --shown) {
        advance(1.0);
        EXPECT_EQ(bigNumber(vc), std::to_string(shown));
        if (shown == 6) {
            click(countdownButton(vc, "3s"));
            click(vc.intervalSwitch);
            EXPECT_FALSE(vc.intervalSwitch->isOn()) << "the switch is disabled during a countdown";
            EXPECT_EQ(bigNumbers(vc).size(), 1u);
        }
    }
    advance(0.99);
    EXPECT_EQ(presses(), 0) << "no shot before 12 s";
    advance(0.01);
    EXPECT_EQ(presses(), 1) << "the shot at 12 s";
    EXPECT_TRUE(bigNumbers(vc).empty());
    EXPECT_FALSE(vc.timedShooting->isCountdownActive);
    for (Button* b : vc.countdownButtons) EXPECT_TRUE(b->isEnabled());
    EXPECT_TRUE(vc.timerButton->isEnabled());
    EXPECT_EQ(vc.timerButton->alpha(), 1.0);

    View* card = nullptr;
    ASSERT_TRUE(pumpUntil([&] {
        card = vc.view()->findChild<View*>("previewCard", Qt::FindDirectChildrenOnly);
        return card != nullptr;
    }, 300));
    const QObjectList children = vc.view()->children();
    EXPECT_LT(children.indexOf(card), children.indexOf(vc.timerView)) << "the panel stays above the card";
    ASSERT_TRUE(pumpUntil([&] { return !outcomes().empty(); }, 300));
    EXPECT_TRUE(outcomes()[0].success) << outcomes()[0].message;
    advance(5);
    EXPECT_EQ(presses(), 1) << "one countdown, one photo";
}

// Interval "3" is raised to five with the alert; "abc" silently means five; "7" shoots at 13,
// 20 and 27 s, each after a visible countdown; switching off mid-countdown takes the number
// away at once and no photo.
TEST_F(Timers, IntervalShootingAndItsMinimum) {
    auto& vc = open();
    click(vc.timerButton);
    advance(0.2);

    typeInterval(vc, "3");
    click(vc.intervalSwitch);
    EXPECT_TRUE(vc.intervalSwitch->isOn());
    EXPECT_TRUE(vc.timedShooting->intervalShootingEnabled);
    EXPECT_FALSE(vc.intervalShootingInput->isEditing()) << "the keyboard goes away";
    auto alerts = Alert::presented();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]->title(), "至少间隔五秒,已改为间隔五秒");
    EXPECT_EQ(alerts[0]->message(), "");
    ASSERT_EQ(alerts[0]->actions().size(), 1u);
    EXPECT_EQ(alerts[0]->actions()[0].title, "确定");
    EXPECT_EQ(vc.intervalShootingInput->text(), "5");
    EXPECT_TRUE(alerts[0]->press("确定"));
    EXPECT_EQ(vc.timedShooting->intervalShootingTimer->interval(), 5.0);
    for (Button* b : vc.countdownButtons) EXPECT_FALSE(b->isEnabled());
    EXPECT_TRUE(vc.intervalSwitch->isEnabled()) << "interval shooting can always be switched off";
    click(vc.intervalSwitch);
    advance(0.5);
    EXPECT_FALSE(vc.timedShooting->intervalShootingEnabled);

    typeInterval(vc, "abc");
    click(vc.intervalSwitch);
    EXPECT_TRUE(Alert::presented().empty());
    EXPECT_EQ(vc.timedShooting->intervalShootingTimer->interval(), 5.0);
    click(vc.intervalSwitch);
    advance(0.5);

    typeInterval(vc, "7");
    haptics.clear();
    click(vc.intervalSwitch);
    const std::pair<double, int> expected[] = {{6.99, 0}, {7.0, 0}, {12.99, 0}, {13.0, 1}, {19.99, 1},
                                               {20.0, 2}, {26.99, 2}, {27.0, 3}};
    double at = 0;
    for (auto [time, shots] : expected) {
        advance(time - at);
        at = time;
        EXPECT_EQ(presses(), shots) << "at " << time << " s";
    }
    EXPECT_TRUE(bigNumbers(vc).empty());
    advance(1.5);  // 28.5 s: the next countdown shows 6
    EXPECT_EQ(bigNumber(vc), "6");
    click(vc.intervalSwitch);
    EXPECT_TRUE(bigNumbers(vc).empty()) << "switching off removes the number at once";
    advance(30);
    EXPECT_EQ(presses(), 3);
    EXPECT_FALSE(vc.intervalSwitch->isOn());
    for (Button* b : vc.countdownButtons) EXPECT_TRUE(b->isEnabled());
    ASSERT_TRUE(pumpUntil([&] { return outcomes().size() >= 3; }, 600));
}

// Leaving the app stops interval shooting and turns the switch off (after one hop).
TEST_F(Timers, ResigningActiveStopsIntervalShooting) {
    auto& vc = open();
    click(vc.timerButton);
    click(vc.intervalSwitch);
    ASSERT_TRUE(vc.timedShooting->intervalShootingEnabled);
    advance(5.5);
    EXPECT_EQ(bigNumber(vc), "4");
    NotificationCenter::defaultCenter().post(notifications::kWillResignActive);
    EXPECT_FALSE(vc.timedShooting->intervalShootingEnabled);
    EXPECT_FALSE(vc.timedShooting->intervalShootingTimer);
    EXPECT_TRUE(bigNumbers(vc).empty());
    runUntilIdle();
    EXPECT_FALSE(vc.intervalSwitch->isOn());
    EXPECT_TRUE(vc.timerButton->isEnabled());
    advance(20);
    EXPECT_EQ(presses(), 0);
}

// A countdown pressed while a deep picture is being taken takes no photo and leaves the
// buttons usable, with the console line.
TEST_F(Timers, CountdownDuringADeepCaptureIsSkipped) {
    env->settings().setBool(true, "setting_0");
    auto& vc = open();
    click(vc.timerButton);
    click(vc.captureButton);
    ASSERT_TRUE(vc.isProcessingPhoto);
    const int before = presses();
    click(countdownButton(vc, "3s"));
    EXPECT_TRUE(console->contains("正在拍摄raw,跳过本次开始倒计时"));
    EXPECT_FALSE(vc.timedShooting->isCountdownActive);
    EXPECT_TRUE(bigNumbers(vc).empty());
    for (Button* b : vc.countdownButtons) EXPECT_TRUE(b->isEnabled());
    advance(4);
    EXPECT_EQ(presses(), before);
    ASSERT_TRUE(pumpUntil([&] { return !vc.isProcessingPhoto; }, 900));
    click(countdownButton(vc, "1s"));
    EXPECT_EQ(bigNumber(vc), "1");
}

// The field's keyboard toolbar: "完成" ends the editing.
TEST_F(Timers, IntervalFieldDoneButtonEndsEditing) {
    auto& vc = open();
    click(vc.timerButton);
    typeInterval(vc, "9");
    auto* bar = dynamic_cast<Toolbar*>(vc.intervalShootingInput->inputAccessoryView());
    ASSERT_NE(bar, nullptr);
    Button* done = bar->buttonForItem(1);
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(done->title(), "完成");
    click(done);
    EXPECT_FALSE(vc.intervalShootingInput->isEditing());
    EXPECT_EQ(vc.intervalShootingInput->text(), "9");
}
