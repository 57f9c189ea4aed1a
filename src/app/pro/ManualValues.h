#pragma once
// Pro mode's arithmetic: slider positions (0 to 1) to device values and back, the clamps that
// keep values inside the device's ranges, and the value labels' texts. The device ranges are
// passed in at each call: they are read from the active format at the moment of use.

#include <string>

#include "platform/capture/CaptureTypes.h"

namespace sorvel {

// Shutter: logarithmic, so that the slider's middle is the geometric mean of the two ends.
// Seconds for position `u`, in double precision, clamped to [minS, maxS].
double shutterSecondsForPosition(float u, double minS, double maxS);
// The position that shows `seconds` (the inverse mapping, not clamped). 0 for an empty or
// non-positive range, which has no logarithmic scale.
float shutterPositionForSeconds(double seconds, double minS, double maxS);

// ISO: linear, in single precision, clamped to [minISO, maxISO].
float isoForPosition(float u, float minISO, float maxISO);
// The inverse (not clamped); 0 for an empty range.
float isoPositionForValue(float iso, float minISO, float maxISO);

// White balance: 3000 K at the left end, 8000 K at the right, tint 0.
constexpr float kWhiteBalanceMinimumKelvin = 3000;
constexpr float kWhiteBalanceSpanKelvin = 5000;
float whiteBalanceTemperatureForPosition(float u);
// Each gain raised to 1.0, then capped at the device's maximum: the device refuses others.
WhiteBalanceGains clampedWhiteBalanceGains(WhiteBalanceGains gains, float maxGain);

// "⏱️SS   %.1f" + "s" from one second up, else "⏱️SS   1/" + the truncated reciprocal + "s".
std::string formatShutterSpeed(float seconds);
std::string isoLabelText(float iso);                    // "📶ISO %.0f"
std::string focusLabelText(float lensPosition);         // "👓F      %.2f"
std::string whiteBalanceLabelText(float temperature);   // "🌓WB  %.0fK"

}  // namespace sorvel
