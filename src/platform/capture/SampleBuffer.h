#pragma once
// A preview frame: 8-bit BGRA in sensor orientation (the long side horizontal), rows top down.

#include <cstdint>
#include <memory>
#include <vector>

namespace sorvel {

struct PixelBuffer {
    int width = 0;
    int height = 0;
    int bytesPerRow = 0;
    std::vector<std::uint8_t> bgra;
};

struct SampleBuffer {
    std::shared_ptr<const PixelBuffer> imageBuffer;
    double presentationTime = 0;  // Clock seconds
    std::uint64_t frameNumber = 0;
};

}  // namespace sorvel
