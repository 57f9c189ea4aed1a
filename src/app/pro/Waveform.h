#pragma once
// The waveform monitor's picture: for each output column, how many pixels of the matching
// source column have each red, green and blue level, drawn as dots of the channel's pure colour
// whose opacity grows with the count. Level 0 is at the bottom.
//
// The output is half the monitor's size in points. Each column samples one source column; each
// output row shows one of the 256 bins (sampled, not summed: with 50 rows only every fifth bin or
// so is seen). Any thread; nothing is shared between calls.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/image/Image.h"

namespace sorvel {

// 8-bit premultiplied RGBA, rows stored top down; drawing coordinates have their origin at the
// bottom-left (y up), as a bitmap context's do.
struct WaveformBitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;

    // Clear everywhere. Nothing for a side below 1.
    static std::optional<WaveformBitmap> make(int width, int height);
    // The pixel at (x, y), y counted from the bottom row.
    const std::uint8_t* pixel(int x, int y) const {
        return &rgba[(static_cast<std::size_t>(height - 1 - y) * width + x) * 4];
    }
    std::uint8_t* pixel(int x, int y) { return &rgba[(static_cast<std::size_t>(height - 1 - y) * width + x) * 4]; }
};

enum class WaveformChannel { Red, Green, Blue };

// One dot: the channel's colour at min(alpha x 5, 1) painted source-over on rows y - 1 and y of
// column x, each only when it lies inside the bitmap.
void drawPixel(WaveformBitmap& bitmap, int x, int y, double alpha, WaveformChannel channel);

// Opacity of a dot for `count` pixels in a column of `sourceHeight` rows, before drawPixel's
// factor: sqrt(count / 255) x min(count / (sourceHeight / 2), 1).
double waveformDotAlpha(int count, int sourceHeight);

// The waveform of an 8-bit RGBA picture (red, green, blue in bytes 0, 1, 2 of each pixel) in a
// bitmap of outputWidth x outputHeight. Nothing when a size is not positive.
std::optional<WaveformBitmap> computeWaveform(const std::uint8_t* rgba, int width, int height, std::size_t bytesPerRow,
                                              int outputWidth, int outputHeight);

// The monitor's whole update short of the screen: `frame` (the upright preview frame) turned a
// further quarter turn right, rendered to 8-bit sRGB in a fresh render context, and its waveform.
// Nothing when the picture cannot be rendered or a size is not positive.
std::optional<WaveformBitmap> renderWaveform(const image::Image& frame, int outputWidth, int outputHeight);

}  // namespace sorvel
