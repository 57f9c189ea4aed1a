#include "platform/capture/WhiteBalanceModel.h"

#include <algorithm>
#include <cmath>

namespace sorvel {

TemperatureAndTint daylightTemperature() { return {6500, 0}; }

Rgb illuminantColour(TemperatureAndTint value) {
    // Chromaticity on the Planckian locus (Kim et al. cubic fit), then XYZ with Y = 1.
    double t = std::clamp(static_cast<double>(value.temperature), 1667.0, 25000.0);
    double x = t <= 4000 ? -0.2661239e9 / (t * t * t) - 0.2343589e6 / (t * t) + 0.8776956e3 / t + 0.179910
                         : -3.0258469e9 / (t * t * t) + 2.1070379e6 / (t * t) + 0.2226347e3 / t + 0.240390;
    double y = t <= 2222   ? -1.1063814 * x * x * x - 1.34811020 * x * x + 2.18555832 * x - 0.20219683
               : t <= 4000 ? -0.9549476 * x * x * x - 1.37418593 * x * x + 2.09137015 * x - 0.16748867
                           : 3.0817580 * x * x * x - 5.87338670 * x * x + 3.75112997 * x - 0.37001483;
    double X = x / y, Y = 1.0, Z = (1 - x - y) / y;
    Rgb rgb{3.2404542 * X - 1.5371385 * Y - 0.4985314 * Z, -0.9692660 * X + 1.8760108 * Y + 0.0415560 * Z,
            0.0556434 * X - 0.2040259 * Y + 1.0572252 * Z};
    // The fit puts 6500 K a little off D65; scale so that 6500 K is exactly the sRGB white the
    // scene is defined in.
    static const Rgb d65 = [] {
        double t0 = 6500, x0 = -3.0258469e9 / (t0 * t0 * t0) + 2.1070379e6 / (t0 * t0) + 0.2226347e3 / t0 + 0.240390;
        double y0 = 3.0817580 * x0 * x0 * x0 - 5.87338670 * x0 * x0 + 3.75112997 * x0 - 0.37001483;
        double X0 = x0 / y0, Z0 = (1 - x0 - y0) / y0;
        return Rgb{3.2404542 * X0 - 1.5371385 - 0.4985314 * Z0, -0.9692660 * X0 + 1.8760108 + 0.0415560 * Z0,
                   0.0556434 * X0 - 0.2040259 + 1.0572252 * Z0};
    }();
    // A positive tint is magenta light: less green.
    double tint = std::clamp(static_cast<double>(value.tint), -150.0, 150.0);
    Rgb out{std::max(rgb[0] / d65[0], 0.01), std::max(rgb[1] / d65[1], 0.01) * std::exp(-tint / 300.0),
            std::max(rgb[2] / d65[2], 0.01)};
    return {out[0] / out[1], 1.0, out[2] / out[1]};
}

Rgb cameraResponse(const DeviceDescription& d, const Rgb& c) {
    Rgb r{};
    for (int i = 0; i < 3; ++i)
        r[i] = d.channelSensitivity[i] *
               (d.crosstalk[3 * i] * c[0] + d.crosstalk[3 * i + 1] * c[1] + d.crosstalk[3 * i + 2] * c[2]);
    return r;
}

WhiteBalanceGains neutralGains(const DeviceDescription& device, TemperatureAndTint value) {
    Rgb raw = cameraResponse(device, illuminantColour(value));
    double g[3];
    for (int i = 0; i < 3; ++i) g[i] = 1.0 / std::max(raw[i], 1e-6);
    double smallest = std::min({g[0], g[1], g[2]});
    return {static_cast<float>(g[0] / smallest), static_cast<float>(g[1] / smallest),
            static_cast<float>(g[2] / smallest)};
}

}  // namespace sorvel
