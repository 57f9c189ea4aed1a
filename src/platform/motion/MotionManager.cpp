#include "MotionManager.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/Clock.h"

namespace sorvel {

MotionManager::MotionManager() : MotionManager(defaultAccelerometer()) {}

MotionManager::MotionManager(std::shared_ptr<Accelerometer> accelerometer)
    : accelerometer_(accelerometer ? std::move(accelerometer) : std::make_shared<NoAccelerometer>()) {}

// A scheduled Timer keeps itself alive, so it must be invalidated or it would call a handler
// that belongs to a gone manager.
MotionManager::~MotionManager() { stopAccelerometerUpdates(); }

void MotionManager::setAccelerometerUpdateInterval(double seconds) {
    interval_ = std::isfinite(seconds) ? std::max(seconds, 0.01) : 0.1;
    if (timer_) schedule();
}

void MotionManager::startAccelerometerUpdates(AccelerometerHandler handler) {
    if (!accelerometer_->isAvailable()) return;
    handler_ = std::move(handler);
    schedule();
}

void MotionManager::stopAccelerometerUpdates() {
    if (timer_) timer_->invalidate();
    timer_.reset();
    handler_ = nullptr;
}

void MotionManager::schedule() {
    if (timer_) timer_->invalidate();
    // The timer holds the accelerometer and a copy of the handler, not the manager.
    timer_ = Timer::scheduled(interval_, true, [accelerometer = accelerometer_, handler = handler_](Timer&) {
        std::optional<AccelerometerData> data;
        if (auto a = accelerometer->read()) data = AccelerometerData{*a, Clock::current().date()};
        if (handler) handler(data);
    });
}

}  // namespace sorvel
