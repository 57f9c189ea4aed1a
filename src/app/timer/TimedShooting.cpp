#include "app/timer/TimedShooting.h"

#include <charconv>

namespace sorvel {

std::shared_ptr<TimedShooting> TimedShooting::make(std::weak_ptr<TimedShootingDelegate> delegate) {
    return std::shared_ptr<TimedShooting>(new TimedShooting(std::move(delegate)));
}

TimedShooting::~TimedShooting() {
    if (countdownTimer) countdownTimer->invalidate();
    if (intervalShootingTimer) intervalShootingTimer->invalidate();
}

bool TimedShooting::startCountdown(int seconds) {
    if (isBusy()) return false;
    isCountdownActive = true;
    startCountdownTimer(seconds);
    if (auto delegate = delegate_.lock()) delegate->timedShootingStateChanged();
    return true;
}

void TimedShooting::startCountdownTimer(int seconds) {
    auto delegate = delegate_.lock();
    if (!delegate) return;
    if (delegate->isCaptureInProgress()) {
        delegate->countdownSkipped();
        isCountdownActive = false;
        return;
    }
    std::shared_ptr<CountdownDisplay> display = delegate->countdownBegan(seconds);
    displays_.push_back(display);
    auto remaining = std::make_shared<int>(seconds);
    std::weak_ptr<TimedShooting> weak = weak_from_this();
    std::weak_ptr<CountdownDisplay> weakDisplay = display;
    countdownTimer = Timer::scheduled(1.0, true, [weak, remaining, weakDisplay](Timer& timer) {
        auto self = weak.lock();
        auto delegate = self ? self->delegate_.lock() : nullptr;
        if (!delegate) {
            timer.invalidate();
            if (self) self->displays_.clear();
            return;
        }
        *remaining -= 1;
        if (auto display = weakDisplay.lock()) display->show(*remaining);
        if (*remaining >= 1) return;
        timer.invalidate();
        std::erase_if(self->displays_, [&](const auto& d) { return d == weakDisplay.lock(); });
        delegate->countdownFinished();
        self->isCountdownActive = false;
        delegate->timedShootingStateChanged();
    });
}

void TimedShooting::startIntervalShooting(int interval) {
    std::weak_ptr<TimedShooting> weak = weak_from_this();
    intervalShootingTimer = Timer::scheduled(static_cast<double>(interval), true, [weak, interval](Timer& timer) {
        auto self = weak.lock();
        if (!self || self->delegate_.expired()) {
            timer.invalidate();
            return;
        }
        self->startCountdownTimer(interval - 1);
    });
}

void TimedShooting::stopIntervalShooting() {
    if (intervalShootingTimer) intervalShootingTimer->invalidate();
    intervalShootingTimer.reset();
    if (countdownTimer) countdownTimer->invalidate();
    countdownTimer.reset();
    isCountdownActive = false;
    displays_.clear();
    intervalShootingEnabled = false;
}

namespace {
// A base-10 integer as a whole: an optional sign and digits, nothing else, within int.
std::optional<int> parseInteger(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}
}  // namespace

std::optional<int> countdownSecondsFromTitle(const std::string& title) {
    if (title.empty()) return std::nullopt;
    // Titles are ASCII ("1s" ... "12s"); drop the whole last UTF-8 character all the same.
    std::size_t end = title.size() - 1;
    while (end > 0 && (static_cast<unsigned char>(title[end]) & 0xC0) == 0x80) --end;
    return parseInteger(std::string_view(title).substr(0, end));
}

IntervalChoice intervalFromText(const std::optional<std::string>& text) {
    auto value = parseInteger(text.value_or("5"));
    if (!value) return {};
    if (*value < kMinimumShootingInterval) return {kMinimumShootingInterval, true};
    return {*value, false};
}

TimerControlStates timerControlStates(bool isCountdownActive, bool intervalShootingEnabled) {
    const bool busy = isCountdownActive || intervalShootingEnabled;
    const ControlState whenBusy{!busy, busy ? 0.5 : 1.0};
    return {whenBusy, {!isCountdownActive, isCountdownActive ? 0.5 : 1.0}, whenBusy, whenBusy};
}

}  // namespace sorvel
