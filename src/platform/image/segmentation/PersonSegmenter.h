#pragma once
// Finding people in a picture: the interface behind the "CIPersonSegmentation" filter, so a
// better model can replace the built-in detector without touching the filter or its callers.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/image/Bitmap.h"

namespace sorvel::image::segmentation {

enum class Quality { Fast = 0, Balanced = 1, Accurate = 2 };

// width x height, rows top to bottom, 0 background .. 255 person.
struct Mask {
    int width = 0, height = 0;
    std::vector<std::uint8_t> values;
};

class PersonSegmenter {
public:
    virtual ~PersonSegmenter() = default;

    // The longest side, in pixels, of the picture the segmenter wants for `quality`; the mask
    // comes back at the size of the picture it was given.
    virtual int analysisSide(Quality quality) const = 0;

    // `picture` is 8-bit sRGB (RGBA8 or RGBA8Premultiplied, opaque in practice). Nothing when
    // the segmenter cannot work (its data files missing); a picture without people gives an
    // all-zero mask. Any thread; concurrent calls are allowed.
    virtual std::optional<Mask> segment(const Bitmap& picture, Quality quality) const = 0;

    // The segmenter the filter uses: the built-in one unless another was installed. Any thread.
    static std::shared_ptr<const PersonSegmenter> current();
    // Replaces it for every later use (nullptr restores the built-in one). Any thread.
    static void install(std::shared_ptr<const PersonSegmenter> segmenter);
};

}  // namespace sorvel::image::segmentation
