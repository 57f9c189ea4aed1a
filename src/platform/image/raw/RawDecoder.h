#pragma once
// LibRaw behind a small, defensive interface: open RAW bytes (refusing anything that is not a
// RAW file or claims an absurd size), then decode and demosaic once into linear 16-bit RGB with
// the sRGB primaries. Internal to the RAW developer.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

namespace sorvel::image::raw {

// Linear RGB, 16 bits per channel interleaved, rows top to bottom, upright (the file's
// orientation applied); 65535 is the sensor's white.
struct LinearRgb16 {
    int width = 0, height = 0;
    bool halfSize = false;  // decoded from 2 x 2 blocks without demosaicing
    std::vector<std::uint16_t> pixels;
};

class RawDecoder {
public:
    // Nothing, with the reason in `whyNot`, for bytes that are not a RAW file we can decode.
    // Keeps its own copy of the bytes.
    static std::unique_ptr<RawDecoder> open(const Bytes& bytes, std::string* whyNot);
    ~RawDecoder();

    // The developed size (orientation applied) at full resolution.
    int width() const { return width_; }
    int height() const { return height_; }

    // Decodes and demosaics; `halfSize` bins 2 x 2 sensor blocks instead (a quarter of the
    // work, for outputs at half size or less). Nothing, with a reason, on damaged data.
    // One call at a time per decoder.
    std::optional<LinearRgb16> decode(bool halfSize, std::string* whyNot);

private:
    RawDecoder() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int width_ = 0, height_ = 0;
};

}  // namespace sorvel::image::raw
