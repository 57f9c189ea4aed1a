#include "app/pro/Waveform.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "platform/image/RenderContext.h"

namespace sorvel {

std::optional<WaveformBitmap> WaveformBitmap::make(int width, int height) {
    // A monitor smaller than 2 points has no output pixels; one larger than the screen is a
    // caller's mistake that must not turn into a huge allocation.
    if (width < 1 || height < 1 || width > 16384 || height > 16384) return std::nullopt;
    WaveformBitmap b;
    b.width = width;
    b.height = height;
    b.rgba.assign(static_cast<std::size_t>(width) * height * 4, 0);
    return b;
}

void drawPixel(WaveformBitmap& bitmap, int x, int y, double alpha, WaveformChannel channel) {
    if (x < 0 || x >= bitmap.width) return;
    const double a = std::min(alpha * 5.0, 1.0);
    if (!(a > 0)) return;
    const int lit = static_cast<int>(channel);
    for (int row : {y - 1, y}) {
        if (row < 0 || row >= bitmap.height) continue;
        std::uint8_t* p = bitmap.pixel(x, row);
        // Source-over of the premultiplied colour (a on one channel, 0 on the others, alpha a).
        for (int c = 0; c < 4; ++c) {
            const double source = (c == lit || c == 3) ? a * 255.0 : 0.0;
            p[c] = static_cast<std::uint8_t>(std::lround(source + p[c] * (1.0 - a)));
        }
    }
}

double waveformDotAlpha(int count, int sourceHeight) {
    const double maxCount = sourceHeight / 2.0;
    return std::sqrt(count / 255.0) * std::min(count / maxCount, 1.0);
}

std::optional<WaveformBitmap> computeWaveform(const std::uint8_t* rgba, int width, int height, std::size_t bytesPerRow,
                                              int outputWidth, int outputHeight) {
    if (!rgba || width < 1 || height < 1 || bytesPerRow < static_cast<std::size_t>(width) * 4) return std::nullopt;
    auto output = WaveformBitmap::make(outputWidth, outputHeight);
    if (!output) return std::nullopt;
    const double xScale = static_cast<double>(width) / outputWidth;
    std::array<std::array<int, 256>, 3> counts;
    for (int x = 0; x < outputWidth; ++x) {
        for (auto& table : counts) table.fill(0);
        const int sourceX = std::min(static_cast<int>(std::floor(x * xScale)), width - 1);
        const std::uint8_t* p = rgba + static_cast<std::size_t>(sourceX) * 4;
        for (int y = 0; y < height; ++y, p += bytesPerRow) {
            ++counts[0][p[0]];
            ++counts[1][p[1]];
            ++counts[2][p[2]];
        }
        for (int level = 0; level < outputHeight; ++level) {
            const int bin = static_cast<int>((static_cast<std::int64_t>(level) * 256) / outputHeight);
            for (int channel = 0; channel < 3; ++channel) {
                const int c = counts[channel][bin];
                if (c > 0)
                    drawPixel(*output, x, level, waveformDotAlpha(c, height), static_cast<WaveformChannel>(channel));
            }
        }
    }
    return output;
}

std::optional<WaveformBitmap> renderWaveform(const image::Image& frame, int outputWidth, int outputHeight) {
    if (outputWidth < 1 || outputHeight < 1) return std::nullopt;
    const image::Image turned = frame.oriented(6);
    const image::RenderContext context;
    auto source = context.render(turned, turned.extent(), image::PixelFormat::RGBA8Premultiplied,
                                 image::ColorSpace::SRGB);
    if (!source) return std::nullopt;
    return computeWaveform(source->data(), source->width(), source->height(), source->bytesPerRow(), outputWidth,
                           outputHeight);
}

}  // namespace sorvel
