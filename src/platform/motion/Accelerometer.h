#pragma once
// Accelerometer sources. There is no sensor on a desktop, so the default source is a simulated
// phone whose attitude the window (keyboard shortcuts) and tests set; "none" stands for a device
// without an accelerometer.

#include <memory>
#include <mutex>
#include <optional>

#include "platform/foundation/Value.h"

namespace sorvel {

// Acceleration in g, in the phone's axes: x to the right of the screen, y up the screen, z out
// of the screen. A phone held upright reads (0, -1, 0).
struct Acceleration {
    double x = 0, y = 0, z = 0;
    friend bool operator==(const Acceleration&, const Acceleration&) = default;
};

struct AccelerometerData {
    Acceleration acceleration;
    Date timestamp;  // on the Clock
};

class Accelerometer {
public:
    virtual ~Accelerometer() = default;
    virtual bool isAvailable() const = 0;
    // The current reading; nothing when there is no sensor. Any thread.
    virtual std::optional<Acceleration> read() const = 0;
};

enum class PhoneAttitude { Portrait, PortraitUpsideDown, LandscapeLeft, LandscapeRight, FaceUp };

// Gravity as the phone reads it when held still in `attitude`.
Acceleration gravityFor(PhoneAttitude attitude);

class SimulatedPhone final : public Accelerometer {
public:
    bool isAvailable() const override { return true; }
    std::optional<Acceleration> read() const override;
    // Any thread.
    void setAttitude(PhoneAttitude attitude) { setAcceleration(gravityFor(attitude)); }
    void setAcceleration(Acceleration a);

    // The phone the window turns and the default motion manager reads.
    static std::shared_ptr<SimulatedPhone> shared();

private:
    mutable std::mutex mutex_;
    Acceleration current_ = gravityFor(PhoneAttitude::Portrait);
};

class NoAccelerometer final : public Accelerometer {
public:
    bool isAvailable() const override { return false; }
    std::optional<Acceleration> read() const override { return std::nullopt; }
};

// The shared simulated phone, or no accelerometer when $SORVEL_ACCELEROMETER is "none".
std::shared_ptr<Accelerometer> defaultAccelerometer();

}  // namespace sorvel
