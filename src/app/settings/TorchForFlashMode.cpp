#include "app/settings/TorchForFlashMode.h"

#include "platform/capture/CaptureDevice.h"

namespace sorvel {

std::optional<std::string> setTorchForFlashMode(int flashMode) {
    auto device = CaptureDevice::defaultDevice(MediaType::Video);
    if (!device || !device->hasTorch()) return std::nullopt;
    if (auto error = device->lockForConfiguration()) return error->description;
    // On, the device's only torch level here is its maximum.
    const TorchMode mode = flashMode == 3 ? TorchMode::On : TorchMode::Off;
    const bool set = device->setTorchMode(mode);
    device->unlockForConfiguration();
    if (!set) return std::string("the torch of ") + device->localizedName() + " refused the mode";
    return std::nullopt;
}

}  // namespace sorvel
