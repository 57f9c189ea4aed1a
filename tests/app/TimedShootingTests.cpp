// Countdown and interval shooting on the virtual clock, without the screen.

#include <gtest/gtest.h>

#include "app/timer/TimedShooting.h"
#include "platform/foundation/Clock.h"

using namespace sorvel;

namespace {

struct Recorder : TimedShootingDelegate {
    // A number on the screen; it may outlive the recorder (the screen going first).
    struct Display : CountdownDisplay {
        std::shared_ptr<int> onScreen;
        std::shared_ptr<std::vector<int>> shown;
        Display(std::shared_ptr<int> count, std::shared_ptr<std::vector<int>> log)
            : onScreen(std::move(count)), shown(std::move(log)) {
            ++*onScreen;
        }
        ~Display() override { --*onScreen; }
        void show(int remaining) override { shown->push_back(remaining); }
    };
    bool deepCapture = false;
    std::shared_ptr<int> onScreen = std::make_shared<int>(0);
    std::shared_ptr<std::vector<int>> shownLog = std::make_shared<std::vector<int>>();
    int skipped = 0, stateChanges = 0;
    std::vector<double> shots;  // clock times of the shutter presses
    bool isCaptureInProgress() const override { return deepCapture; }
    void countdownSkipped() override { ++skipped; }
    std::unique_ptr<CountdownDisplay> countdownBegan(int seconds) override {
        shownLog->push_back(seconds);
        return std::make_unique<Display>(onScreen, shownLog);
    }
    void countdownFinished() override { shots.push_back(Clock::current().now()); }
    void timedShootingStateChanged() override { ++stateChanges; }
};

struct TimedShootingTest : ::testing::Test {
    static constexpr double kStart = 1000.0;
    VirtualClock clock{kStart};
    ManualMainQueue main{clock};
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::shared_ptr<TimedShooting> timed = TimedShooting::make(recorder);
    void SetUp() override {
        Clock::install(&clock);
        DispatchQueue::installMain(&main);
    }
    void TearDown() override {
        timed.reset();
        main.runUntilIdle();
        DispatchQueue::installMain(nullptr);
        Clock::install(nullptr);
    }
    std::vector<double> shotTimes() const {
        std::vector<double> t;
        for (double s : recorder->shots) t.push_back(s - kStart);
        return t;
    }
};

}  // namespace

// "12s": 12 shown at once, then 11 ... 1 a second apart, the shot at exactly 12 s; a second
// button meanwhile is refused, and the number is gone once the shot is taken.
TEST_F(TimedShootingTest, TwelveSecondCountdownShootsAtTwelveAndRefusesOthers) {
    ASSERT_TRUE(timed->startCountdown(12));
    EXPECT_TRUE(timed->isCountdownActive);
    EXPECT_EQ(recorder->stateChanges, 1);
    main.advance(3.5);
    EXPECT_FALSE(timed->startCountdown(3)) << "a second countdown while one runs";
    main.advance(8.49);
    EXPECT_TRUE(recorder->shots.empty()) << "shot before 12 s";
    main.advance(0.01);
    EXPECT_EQ(shotTimes(), (std::vector<double>{12.0}));
    std::vector<int> expected{12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    EXPECT_EQ(*recorder->shownLog, expected);
    EXPECT_EQ(*recorder->onScreen, 0);
    EXPECT_FALSE(timed->isCountdownActive);
    EXPECT_EQ(recorder->stateChanges, 2);
    main.advance(30);
    EXPECT_EQ(recorder->shots.size(), 1u) << "the countdown's timer keeps running";
    EXPECT_TRUE(timed->startCountdown(1));
}

// Interval 7: ticks at 7, 14, 21 start six-second countdowns, so shots at 13, 20, 27.
TEST_F(TimedShootingTest, IntervalShootsEveryIntervalAfterACountdownOfOneLess) {
    timed->intervalShootingEnabled = true;
    timed->startIntervalShooting(7);
    EXPECT_FALSE(timed->startCountdown(3)) << "buttons refused while interval shooting runs";
    main.advance(27.5);
    EXPECT_EQ(shotTimes(), (std::vector<double>{13, 20, 27}));
    EXPECT_FALSE(timed->isCountdownActive) << "interval countdowns are not button countdowns";
    // Switching off during the next countdown (begun at 28) takes the number away, no shot.
    main.advance(1.0);
    EXPECT_EQ(*recorder->onScreen, 1);
    timed->stopIntervalShooting();
    EXPECT_EQ(*recorder->onScreen, 0);
    EXPECT_FALSE(timed->intervalShootingEnabled);
    main.advance(60);
    EXPECT_EQ(recorder->shots.size(), 3u);
}

// A deep capture in progress: the countdown is skipped, the button flag cleared, and interval
// shooting carries on with its next tick.
TEST_F(TimedShootingTest, DeepCaptureSkipsTheCountdownButNotTheNextInterval) {
    recorder->deepCapture = true;
    EXPECT_TRUE(timed->startCountdown(3));
    EXPECT_FALSE(timed->isCountdownActive);
    EXPECT_EQ(recorder->skipped, 1);
    EXPECT_EQ(*recorder->onScreen, 0);
    main.advance(5);
    EXPECT_TRUE(recorder->shots.empty());

    timed->intervalShootingEnabled = true;
    timed->startIntervalShooting(5);
    main.advance(5);
    EXPECT_EQ(recorder->skipped, 2);
    recorder->deepCapture = false;
    main.advance(9);  // tick at 10 s after switching on, countdown of 4
    EXPECT_EQ(shotTimes(), (std::vector<double>{5 + 14}));
}

// Ticks hold the delegate weakly: once the screen is gone nothing more happens.
TEST_F(TimedShootingTest, TicksAfterTheDelegateIsGoneDoNothing) {
    timed->startCountdown(2);
    std::weak_ptr<Recorder> weak = recorder;
    auto onScreen = recorder->onScreen;
    recorder.reset();
    main.advance(5);
    EXPECT_TRUE(weak.expired());
    EXPECT_FALSE(clock.nextDue()) << "the timer stopped itself";
    EXPECT_EQ(*onScreen, 0) << "and let its number go";
}

TEST(TimedShootingText, TitlesAndIntervalTexts) {
    EXPECT_EQ(countdownSecondsFromTitle("12s"), 12);
    EXPECT_EQ(countdownSecondsFromTitle("1s"), 1);
    EXPECT_EQ(countdownSecondsFromTitle("s"), std::nullopt);
    EXPECT_EQ(countdownSecondsFromTitle(""), std::nullopt);
    EXPECT_EQ(countdownSecondsFromTitle("3秒"), 3) << "the last character, not the last byte";
    EXPECT_EQ(countdownSecondsFromTitle("x3s"), std::nullopt);

    struct Case {
        std::optional<std::string> text;
        int seconds;
        bool raised;
    };
    const Case cases[] = {{"7", 7, false},  {"5", 5, false},   {"3", 5, true},    {"0", 5, true},
                          {"-8", 5, true},  {"abc", 5, false}, {"", 5, false},    {std::nullopt, 5, false},
                          {" 7", 5, false}, {"7.5", 5, false}, {"+9", 9, false},  {"+-9", 5, false},
                          {"99999999999999", 5, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.value_or("(none)"));
        IntervalChoice choice = intervalFromText(c.text);
        EXPECT_EQ(choice.seconds, c.seconds);
        EXPECT_EQ(choice.raisedToMinimum, c.raised);
    }
}

TEST(TimedShootingText, ControlsTable) {
    const ControlState on{true, 1.0}, dimmed{false, 0.5};
    auto idle = timerControlStates(false, false);
    EXPECT_TRUE(idle.countdownButtons == on && idle.intervalSwitch == on && idle.intervalInput == on &&
                idle.timerButton == on);
    auto counting = timerControlStates(true, false);
    EXPECT_TRUE(counting.countdownButtons == dimmed && counting.intervalSwitch == dimmed &&
                counting.intervalInput == dimmed && counting.timerButton == dimmed);
    auto interval = timerControlStates(false, true);
    EXPECT_TRUE(interval.countdownButtons == dimmed && interval.intervalSwitch == on &&
                interval.intervalInput == dimmed && interval.timerButton == dimmed);
}
