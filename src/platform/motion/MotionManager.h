#pragma once
// The motion service: accelerometer samples at a set interval, delivered on the main queue by a
// repeating Timer on the Clock.

#include <functional>
#include <memory>
#include <optional>

#include "Accelerometer.h"
#include "platform/foundation/Dispatch.h"

namespace sorvel {

// Every member runs on the main thread.
class MotionManager {
public:
    // Called with each sample; nothing (no data) never happens with the providers here but the
    // handler must accept it, as a real sensor can drop a sample.
    using AccelerometerHandler = std::function<void(const std::optional<AccelerometerData>&)>;

    MotionManager();  // reads defaultAccelerometer()
    explicit MotionManager(std::shared_ptr<Accelerometer> accelerometer);
    ~MotionManager();
    MotionManager(const MotionManager&) = delete;
    MotionManager& operator=(const MotionManager&) = delete;

    bool isAccelerometerAvailable() const { return accelerometer_->isAvailable(); }
    bool isAccelerometerActive() const { return timer_ != nullptr; }

    // Seconds between samples, at least 0.01 (a sensor does not sample faster). Changing it while
    // updates run takes effect from the next sample.
    void setAccelerometerUpdateInterval(double seconds);
    double accelerometerUpdateInterval() const { return interval_; }

    // The first sample arrives one interval after the start. Nothing is delivered when the
    // accelerometer is unavailable.
    void startAccelerometerUpdates(AccelerometerHandler handler);
    void stopAccelerometerUpdates();

private:
    void schedule();
    std::shared_ptr<Accelerometer> accelerometer_;
    double interval_ = 0.1;
    AccelerometerHandler handler_;
    std::shared_ptr<Timer> timer_;
};

}  // namespace sorvel
