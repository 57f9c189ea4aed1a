#include "Clock.h"

#include <atomic>
#include <chrono>

namespace sorvel {

namespace {
std::atomic<Clock*> installed{nullptr};
}

Clock& Clock::current() {
    if (Clock* c = installed.load(std::memory_order_acquire)) return *c;
    static SystemClock system;
    return system;
}

void Clock::install(Clock* clock) { installed.store(clock, std::memory_order_release); }

SystemClock::SystemClock() : thread_([this] { run(); }) {}

SystemClock::~SystemClock() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

double SystemClock::now() const {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

void SystemClock::schedule(double when, Callback callback) {
    {
        std::lock_guard lock(mutex_);
        due_.emplace(when, std::move(callback));
    }
    wake_.notify_all();
}

void SystemClock::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (due_.empty()) {
            wake_.wait(lock);
            continue;
        }
        double next = due_.begin()->first;
        double t = now();
        if (next > t) {
            // Wall time may jump; waking at least once a second keeps timers honest.
            double wait = std::min(next - t, 1.0);
            wake_.wait_for(lock, std::chrono::duration<double>(wait));
            continue;
        }
        Callback cb = std::move(due_.begin()->second);
        due_.erase(due_.begin());
        lock.unlock();
        cb();
        lock.lock();
    }
}

VirtualClock::VirtualClock(double start) : now_(start) {}

double VirtualClock::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

void VirtualClock::schedule(double when, Callback callback) {
    std::lock_guard lock(mutex_);
    due_.emplace(std::make_pair(when, sequence_++), std::move(callback));
}

std::optional<double> VirtualClock::nextDue() const {
    std::lock_guard lock(mutex_);
    if (due_.empty()) return std::nullopt;
    return due_.begin()->first.first;
}

bool VirtualClock::fireNext(double limit) {
    std::unique_lock lock(mutex_);
    if (due_.empty() || due_.begin()->first.first > limit) return false;
    double t = due_.begin()->first.first;
    if (t > now_) now_ = t;
    while (!due_.empty() && due_.begin()->first.first <= t) {
        Callback cb = std::move(due_.begin()->second);
        due_.erase(due_.begin());
        lock.unlock();
        cb();
        lock.lock();
    }
    return true;
}

void VirtualClock::setNow(double t) {
    std::lock_guard lock(mutex_);
    if (t > now_) now_ = t;
}

}  // namespace sorvel
