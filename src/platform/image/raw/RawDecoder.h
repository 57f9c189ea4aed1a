#pragma once
// LibRaw behind a small, defensive interface: open RAW bytes (refusing anything that is not a
// RAW file or claims an absurd size), then decode and demosaic into linear float planes with the
// sRGB primaries (0..1, 1 the sensor's white, clipped; white balance as shot; the file's
// orientation applied). Internal to the RAW developer.

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/image/raw/RawDevelopment.h"

namespace sorvel::image::raw {

// How the mosaic becomes RGB.
enum class Demosaicing {
    Fast,       // our own, on all cores, where the sensor allows it; LibRaw otherwise
    LibRawAHD,  // always LibRaw's AHD (single-threaded); the reference the fast one is held to
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
    std::optional<PlanarPicture> decode(bool halfSize, std::string* whyNot,
                                        Demosaicing method = Demosaicing::Fast);
    // Whether the last decode() demosaiced itself (a plain Bayer sensor) rather than through
    // LibRaw.
    bool usedFastPath() const { return fastPath_; }

private:
    RawDecoder() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int width_ = 0, height_ = 0;
    bool fastPath_ = false;
};

}  // namespace sorvel::image::raw
