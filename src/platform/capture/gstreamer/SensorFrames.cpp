#include "platform/capture/gstreamer/SensorFrames.h"

#include <algorithm>
#include <cstring>

namespace sorvel {

namespace {

// out(x, y) = in(width - 1 - y, x), in tiles that stay in the caches on both sides.
template <typename T>
void turnTiles(const std::uint8_t* pixels, int width, int height, int stride, T* out) {
    constexpr int kTile = 32;
    const int outWidth = height;
    for (int y0 = 0; y0 < width; y0 += kTile) {
        int y1 = std::min(y0 + kTile, width);
        for (int x0 = 0; x0 < height; x0 += kTile) {
            int x1 = std::min(x0 + kTile, height);
            for (int y = y0; y < y1; ++y) {
                T* row = out + static_cast<std::size_t>(y) * outWidth;
                const int column = width - 1 - y;
                for (int x = x0; x < x1; ++x) {
                    T v;
                    std::memcpy(&v, pixels + static_cast<std::size_t>(x) * stride + static_cast<std::size_t>(column) * sizeof(T),
                                sizeof(T));
                    row[x] = v;
                }
            }
        }
    }
}

}  // namespace

void turnToSensor(const std::uint8_t* pixels, int width, int height, int stride, PixelBuffer& out) {
    out.width = height;
    out.height = width;
    out.bytesPerRow = out.width * 4;
    out.bgra.resize(static_cast<std::size_t>(out.bytesPerRow) * out.height);
    turnTiles<std::uint32_t>(pixels, width, height, stride, reinterpret_cast<std::uint32_t*>(out.bgra.data()));
    // Preview frames are opaque whatever the source wrote into its padding byte.
    for (std::size_t i = 3; i < out.bgra.size(); i += 4) out.bgra[i] = 255;
}

PixelBuffer turnToSensor(const std::uint8_t* pixels, int width, int height, int stride) {
    PixelBuffer out;
    turnToSensor(pixels, width, height, stride, out);
    return out;
}

RgbImage turnToSensorRgb(const std::uint8_t* pixels, int width, int height, int stride) {
    RgbImage out;
    out.width = height;
    out.height = width;
    out.rgba.resize(static_cast<std::size_t>(out.width) * out.height * 4);
    turnTiles<std::uint32_t>(pixels, width, height, stride, reinterpret_cast<std::uint32_t*>(out.rgba.data()));
    for (std::size_t i = 3; i < out.rgba.size(); i += 4) out.rgba[i] = 255;
    return out;
}

BayerImage turnMosaicToSensor(const std::uint8_t* samples, int width, int height, int stride,
                              std::array<std::uint8_t, 4>& pattern) {
    width &= ~1;
    height &= ~1;
    BayerImage out;
    out.width = height;
    out.height = width;
    std::vector<std::uint8_t> turned(static_cast<std::size_t>(out.width) * out.height);
    turnTiles<std::uint8_t>(samples, width, height, stride, turned.data());
    out.samples.assign(turned.begin(), turned.end());
    // With an even width, out(x, y) = in(width - 1 - y, x) puts the upright block's cell
    // (row x mod 2, column 1 - y mod 2) at the turned block's cell (row y mod 2, column x mod 2).
    std::array<std::uint8_t, 4> upright = pattern;
    for (int sy = 0; sy < 2; ++sy)
        for (int sx = 0; sx < 2; ++sx) pattern[2 * sy + sx] = upright[2 * sx + (1 - sy)];
    return out;
}

}  // namespace sorvel
