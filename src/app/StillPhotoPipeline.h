#pragma once
// The normal still's second life: the platform's processed photo decoded again, scaled by the
// user's resolution scale, filtered, turned upright, watermarked and encoded anew as HEIC with
// only its Exif and GPS kept. Runs on the capture callback thread; touches no view.

#include <functional>
#include <optional>

#include "platform/foundation/Value.h"
#include "platform/image/Bitmap.h"
#include "platform/image/Image.h"

namespace sorvel {

struct StillPhotoHooks {
    // The active user filter, when one is on; nothing means the picture passes unfiltered.
    std::function<std::optional<image::Image>(const image::Image&)> filter;
    // The watermark: the upright picture and the source's properties in, the stamped picture out.
    std::function<image::Image(const image::Image&, const Dictionary&)> watermark;
};

// Wall time of each stage, in seconds, for the benchmarks; filled when a pointer is given.
struct StillPhotoTimings {
    double decode = 0, scale = 0, filter = 0, orient = 0, watermark = 0, render = 0, encode = 0;
};

// Every step logs its line; a failure logs its one line and returns nothing.
// `orientation` is the device orientation at the press. The mirroring choice reads the stored
// `is_selfie_camera` and `setting_5`; the quality reads `quality_setting_2`.
std::optional<Bytes> scalePhotoResolutionAndConvertToHEIC(const Bytes& photoData, double scale, int orientation,
                                                          bool isFrontCamera, const StillPhotoHooks& hooks,
                                                          StillPhotoTimings* timings = nullptr);

// Plain HEIC encoding of a rendered bitmap: {quality} plus every entry of `metadata` as options.
// Silent on failure.
std::optional<Bytes> heicData(const image::Bitmap& bitmap, double compressionQuality, const Dictionary& metadata);

}  // namespace sorvel
