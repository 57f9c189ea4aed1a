#include "platform/capture/FrameOrientation.h"

#include <algorithm>
#include <cstring>

namespace sorvel {

int exifOrientationFor(VideoOrientation orientation, bool mirrored) {
    // Sensors are mounted so that their natural picture is the phone held in landscape with
    // the top to the left (landscape right).
    int plain = 6;
    switch (orientation) {
    case VideoOrientation::Portrait: plain = 6; break;
    case VideoOrientation::PortraitUpsideDown: plain = 8; break;
    case VideoOrientation::LandscapeRight: plain = 1; break;
    case VideoOrientation::LandscapeLeft: plain = 3; break;
    }
    if (!mirrored) return plain;
    // The same turn followed by a left-right flip of the shown picture.
    static const int flipped[9] = {0, 2, 1, 4, 3, 6, 5, 8, 7};
    return flipped[plain];
}

CapturePoint displayToSensor(int o, double u, double v) {
    switch (o) {
    case 2: return {1 - u, v};
    case 3: return {1 - u, 1 - v};
    case 4: return {u, 1 - v};
    case 5: return {v, u};
    case 6: return {v, 1 - u};
    case 7: return {1 - v, 1 - u};
    case 8: return {1 - v, u};
    default: return {u, v};
    }
}

PixelBuffer orientFrame(const PixelBuffer& in, int o) {
    PixelBuffer out;
    out.width = swapsAxes(o) ? in.height : in.width;
    out.height = swapsAxes(o) ? in.width : in.height;
    out.bytesPerRow = out.width * 4;
    out.bgra.resize(static_cast<std::size_t>(out.bytesPerRow) * out.height);
    const auto* src = reinterpret_cast<const std::uint32_t*>(in.bgra.data());
    auto* dst = reinterpret_cast<std::uint32_t*>(out.bgra.data());
    int stride = in.bytesPerRow / 4;
    for (int dy = 0; dy < out.height; ++dy) {
        for (int dx = 0; dx < out.width; ++dx) {
            // Pixel centres, so the mapping is exact on the integer grid.
            CapturePoint p = displayToSensor(o, (dx + 0.5) / out.width, (dy + 0.5) / out.height);
            int sx = std::clamp(static_cast<int>(p.x * in.width), 0, in.width - 1);
            int sy = std::clamp(static_cast<int>(p.y * in.height), 0, in.height - 1);
            dst[static_cast<std::size_t>(dy) * out.width + dx] = src[static_cast<std::size_t>(sy) * stride + sx];
        }
    }
    return out;
}

}  // namespace sorvel
