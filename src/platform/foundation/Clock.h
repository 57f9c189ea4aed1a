#pragma once
// Every "now", every delay and every timer in the system goes through the Clock, so that
// tests can run a 12-second countdown or a 21-hour interval in microseconds.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "Value.h"

namespace sorvel {

class Clock {
public:
    using Callback = std::function<void()>;
    virtual ~Clock() = default;

    // Seconds since 1970 (wall time, for dates and file names).
    virtual double now() const = 0;

    // Calls `callback` once `now()` has reached `when`. The callback runs on a thread of the
    // clock's choosing and must only hand work to a queue. Any thread.
    virtual void schedule(double when, Callback callback) = 0;

    Date date() const { return Date{now()}; }

    // The process-wide clock: the system clock unless a test installed another.
    static Clock& current();
    // Installs `clock` as the current clock; nullptr restores the system clock. The caller
    // keeps `clock` alive while it is installed.
    static void install(Clock* clock);
};

// Wall-clock time; scheduled callbacks fire from one timer thread.
class SystemClock final : public Clock {
public:
    SystemClock();
    ~SystemClock() override;
    double now() const override;
    void schedule(double when, Callback callback) override;

private:
    void run();
    std::mutex mutex_;
    std::condition_variable wake_;
    std::multimap<double, Callback> due_;
    bool stopping_ = false;
    std::thread thread_;
};

// Time that moves only when told. Callbacks scheduled for the same instant fire in the order
// they were scheduled.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(double start = 1.7e9);
    double now() const override;
    void schedule(double when, Callback callback) override;

    // Time of the earliest pending callback, if any.
    std::optional<double> nextDue() const;
    // Moves to the earliest pending callback at or before `limit` and fires it (and every
    // other callback due at that instant). Returns false when none is due by `limit`;
    // then time is left where it was.
    bool fireNext(double limit);
    // Sets the time without firing anything (never backwards).
    void setNow(double t);

private:
    mutable std::mutex mutex_;
    double now_;
    std::uint64_t sequence_ = 0;
    std::map<std::pair<double, std::uint64_t>, Callback> due_;
};

}  // namespace sorvel
