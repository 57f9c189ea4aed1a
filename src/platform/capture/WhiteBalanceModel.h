#pragma once
// How a sensor's channels respond to light of a colour temperature, and the gains that make
// such light neutral again. Shared by the device (gains for a temperature) and the rig's
// sensor (auto white balance, the RAW file's as-shot neutral).

#include <array>

#include "platform/capture/CaptureTypes.h"
#include "platform/capture/DeviceDescription.h"

namespace sorvel {

using Rgb = std::array<double, 3>;

// The scene's light: noon daylight, which the built-in scene is lit by.
TemperatureAndTint daylightTemperature();

// Linear sRGB colour of a light source of this temperature and tint, green channel 1.
Rgb illuminantColour(TemperatureAndTint value);

// Camera-native response to a linear sRGB colour (channel sensitivity after crosstalk).
Rgb cameraResponse(const DeviceDescription& device, const Rgb& linearSrgb);

// Gains (smallest 1) that turn the camera's response to a neutral under this light neutral.
WhiteBalanceGains neutralGains(const DeviceDescription& device, TemperatureAndTint value);

}  // namespace sorvel
