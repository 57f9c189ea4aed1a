#include "app/pro/ManualValues.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sorvel {

namespace {
std::string formatted(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}
}  // namespace

double shutterSecondsForPosition(float u, double minS, double maxS) {
    if (!(minS > 0) || !(maxS >= minS)) return minS;
    // exp(log(x)) may miss x by an ulp: the ends are the format's own values.
    if (u <= 0) return minS;
    if (u >= 1) return maxS;
    const double lo = std::log(minS), hi = std::log(maxS);
    return std::clamp(std::exp(lo + static_cast<double>(u) * (hi - lo)), minS, maxS);
}

float shutterPositionForSeconds(double seconds, double minS, double maxS) {
    if (!(minS > 0) || !(maxS > minS) || !(seconds > 0)) return 0;
    return static_cast<float>((std::log(seconds) - std::log(minS)) / (std::log(maxS) - std::log(minS)));
}

float isoForPosition(float u, float minISO, float maxISO) {
    if (!(maxISO >= minISO)) return minISO;
    return std::clamp(minISO + (maxISO - minISO) * u, minISO, maxISO);
}

float isoPositionForValue(float iso, float minISO, float maxISO) {
    if (!(maxISO > minISO)) return 0;
    return (iso - minISO) / (maxISO - minISO);
}

float whiteBalanceTemperatureForPosition(float u) { return kWhiteBalanceMinimumKelvin + u * kWhiteBalanceSpanKelvin; }

WhiteBalanceGains clampedWhiteBalanceGains(WhiteBalanceGains g, float maxGain) {
    auto clamp = [maxGain](float gain) { return std::min(std::max(gain, 1.0f), maxGain); };
    return {clamp(g.redGain), clamp(g.greenGain), clamp(g.blueGain)};
}

std::string formatShutterSpeed(float seconds) {
    if (seconds >= 1.0f) return formatted("⏱️SS   %.1f", seconds) + "s";
    // Truncated, not rounded (1/0.3 s reads 1/3). A duration that is a whole fraction of a
    // second reaches us in single precision a hair below it (1/250 s is 0.0040000002 s, whose
    // reciprocal is 249.99999), so a reciprocal within a millionth below a whole number counts
    // as that number.
    const double reciprocal = 1.0 / static_cast<double>(seconds);
    if (!std::isfinite(reciprocal) || reciprocal <= 0) return "⏱️SS   1/0s";
    const double whole = std::floor(reciprocal * (1 + 1e-6));
    return "⏱️SS   1/" + std::to_string(static_cast<long long>(std::min(whole, 1e15))) + "s";
}

std::string isoLabelText(float iso) { return formatted("📶ISO %.0f", iso); }
std::string focusLabelText(float lensPosition) { return formatted("👓F      %.2f", lensPosition); }
std::string whiteBalanceLabelText(float temperature) { return formatted("🌓WB  %.0fK", temperature); }

}  // namespace sorvel
