#pragma once
// A device feeding a session. Making one can fail (device busy or gone).

#include <memory>
#include <variant>

#include "platform/capture/CaptureDevice.h"

namespace sorvel {

class DeviceInput {
public:
    // Any thread. Either the input or the reason it cannot be made.
    static std::variant<std::shared_ptr<DeviceInput>, CaptureError> make(std::shared_ptr<CaptureDevice> device);

    const std::shared_ptr<CaptureDevice>& device() const { return device_; }

private:
    explicit DeviceInput(std::shared_ptr<CaptureDevice> device) : device_(std::move(device)) {}
    std::shared_ptr<CaptureDevice> device_;
};

}  // namespace sorvel
