#include "Accelerometer.h"

#include <cstdlib>
#include <string_view>

namespace sorvel {

Acceleration gravityFor(PhoneAttitude attitude) {
    switch (attitude) {
    case PhoneAttitude::Portrait: return {0, -1, 0};
    case PhoneAttitude::PortraitUpsideDown: return {0, 1, 0};
    case PhoneAttitude::LandscapeLeft: return {-1, 0, 0};
    case PhoneAttitude::LandscapeRight: return {1, 0, 0};
    case PhoneAttitude::FaceUp: return {0, 0, -1};
    }
    return {0, -1, 0};
}

std::optional<Acceleration> SimulatedPhone::read() const {
    std::lock_guard lock(mutex_);
    return current_;
}

void SimulatedPhone::setAcceleration(Acceleration a) {
    std::lock_guard lock(mutex_);
    current_ = a;
}

std::shared_ptr<SimulatedPhone> SimulatedPhone::shared() {
    static auto phone = std::make_shared<SimulatedPhone>();
    return phone;
}

std::shared_ptr<Accelerometer> defaultAccelerometer() {
    const char* v = std::getenv("SORVEL_ACCELEROMETER");
    if (v && std::string_view(v) == "none") return std::make_shared<NoAccelerometer>();
    return SimulatedPhone::shared();
}

}  // namespace sorvel
