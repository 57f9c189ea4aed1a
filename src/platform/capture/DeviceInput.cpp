#include "platform/capture/DeviceInput.h"

#include "platform/capture/CaptureBackend.h"

namespace sorvel {

std::variant<std::shared_ptr<DeviceInput>, CaptureError> DeviceInput::make(std::shared_ptr<CaptureDevice> device) {
    if (!device) return CaptureError{CaptureErrorCode::DeviceNotAvailable, "No capture device was given"};
    if (auto error = CaptureBackend::current().openDevice(*device)) return *error;
    return std::shared_ptr<DeviceInput>(new DeviceInput(std::move(device)));
}

}  // namespace sorvel
