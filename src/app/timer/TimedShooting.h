#pragma once
// Countdown and interval shooting without the screen: the two flags, the two repeating timers
// on the Clock and the order of what happens at each tick. The screen side (the big number,
// the haptic, the shutter press, the panel's controls) is the delegate's. Main thread only.
//
// A countdown of n seconds shows n, n - 1, ..., 1 a second apart and presses the shutter n
// seconds after it began. Interval shooting every N seconds starts a countdown of N - 1 at
// each tick, so the first picture comes 2N - 1 seconds after switching on.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Dispatch.h"

namespace sorvel {

// The big number of one countdown. Destroying it takes the number off the screen.
class CountdownDisplay {
public:
    virtual ~CountdownDisplay() = default;
    // `remaining` seconds are left; an empty text once none is.
    virtual void show(int remaining) = 0;
};

class TimedShootingDelegate {
public:
    virtual ~TimedShootingDelegate() = default;
    // A deep capture is under way: a countdown starting now is skipped.
    virtual bool isCaptureInProgress() const = 0;
    virtual void countdownSkipped() = 0;
    // A countdown of `seconds` begins (its haptic and its number).
    virtual std::unique_ptr<CountdownDisplay> countdownBegan(int seconds) = 0;
    // The countdown reached zero; its number is already gone.
    virtual void countdownFinished() = 0;
    // isCountdownActive or intervalShootingEnabled changed: the panel's controls follow.
    virtual void timedShootingStateChanged() = 0;
};

class TimedShooting : public std::enable_shared_from_this<TimedShooting> {
public:
    // The delegate is held weakly: ticks that find it gone do nothing and stop their timer.
    static std::shared_ptr<TimedShooting> make(std::weak_ptr<TimedShootingDelegate> delegate);
    ~TimedShooting();

    bool isBusy() const { return isCountdownActive || intervalShootingEnabled; }

    // A countdown button's press: refused (false) while a countdown or interval shooting runs.
    bool startCountdown(int seconds);
    // One countdown; the button's and each interval tick's.
    void startCountdownTimer(int seconds);
    // Repeats a countdown of interval - 1 every `interval` seconds; intervalShootingEnabled is
    // the caller's (the switch's) to set.
    void startIntervalShooting(int interval);
    // Cancels the interval timer and the countdown in progress and clears both flags. The
    // countdown's number goes with it.
    void stopIntervalShooting();

    bool isCountdownActive = false;        // a countdown started by a button runs
    bool intervalShootingEnabled = false;  // the interval switch is on
    std::shared_ptr<Timer> countdownTimer;
    std::shared_ptr<Timer> intervalShootingTimer;

private:
    explicit TimedShooting(std::weak_ptr<TimedShootingDelegate> delegate) : delegate_(std::move(delegate)) {}
    std::weak_ptr<TimedShootingDelegate> delegate_;
    // The numbers of the countdowns under way (one in practice); each tick holds its own weakly.
    std::vector<std::shared_ptr<CountdownDisplay>> displays_;
};

// The seconds a countdown button's title ("12s") stands for: the title without its last
// character, read as a base-10 integer. Nothing when that is not a number.
std::optional<int> countdownSecondsFromTitle(const std::string& title);

constexpr int kMinimumShootingInterval = 5;

struct IntervalChoice {
    int seconds = kMinimumShootingInterval;
    bool raisedToMinimum = false;  // a number below five was given: the user is told
};
// The interval field's text: a base-10 integer of at least five; below five it is raised to
// five (and the user told), an absent or unreadable text silently means five.
IntervalChoice intervalFromText(const std::optional<std::string>& text);

struct ControlState {
    bool enabled = true;
    double alpha = 1.0;
    friend bool operator==(const ControlState&, const ControlState&) = default;
};
struct TimerControlStates {
    ControlState countdownButtons, intervalSwitch, intervalInput, timerButton;
};
// While a countdown or interval shooting runs the panel cannot be closed and no other countdown
// started; interval shooting can be switched off unless a button's countdown runs.
TimerControlStates timerControlStates(bool isCountdownActive, bool intervalShootingEnabled);

}  // namespace sorvel
