#pragma once
// The flash row's torch: choosing "常亮" (flash mode 3) lights the default video device's torch
// at once, any other choice puts it out.

#include <optional>
#include <string>

namespace sorvel {

// Nothing when the torch is now as the mode asks (or the device has none), else the error's
// description. The configuration lock is released whether or not the torch call succeeded.
std::optional<std::string> setTorchForFlashMode(int flashMode);

}  // namespace sorvel
