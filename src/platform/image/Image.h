#pragma once
// Image: an immutable recipe for a picture (the platform's CIImage). Building one computes
// nothing; a RenderContext evaluates it. Copying is cheap (a shared pointer to the recipe's
// node graph) and an Image may be used from any thread.
//
// Working space: linear-light, premultiplied RGBA float with the sRGB primaries, extended
// (values may leave [0, 1], e.g. Display P3 colours outside sRGB).

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"
#include "platform/image/Bitmap.h"
#include "platform/image/Geometry.h"
#include "platform/image/FilterValue.h"

namespace sorvel::image {

class Node;

// A colour as the platform gives one: gamma-encoded sRGB components (may leave [0, 1]),
// straight alpha.
struct Color {
    double red = 0, green = 0, blue = 0, alpha = 1;
    static Color clear() { return {0, 0, 0, 0}; }
    static Color black() { return {0, 0, 0, 1}; }
    static Color white() { return {1, 1, 1, 1}; }
};

class Image {
public:
    // The empty image: empty extent, renders as transparent.
    Image();

    // Decodes HEIC, JPEG or PNG bytes: the primary image's pixels as they lie in the file, its
    // orientation (Exif tag, HEIF irot/imir) NOT applied; ImageSource reports that orientation.
    // Nothing for bytes that are not a picture we can decode, or that claim more than
    // ImageLimits::maxPixels pixels. The pixels are decoded here, once, and then shared.
    static std::optional<Image> fromBytes(const std::uint8_t* data, std::size_t size);
    static std::optional<Image> fromBytes(const Bytes& bytes) {
        return fromBytes(bytes.data(), bytes.size());
    }
    // The bitmap's pixels at (0, 0, width, height); the bitmap's top row is the top.
    explicit Image(const Bitmap& bitmap);
    // A video frame, shared (not copied): see PixelBuffer.
    static std::optional<Image> fromPixelBuffer(const PixelBuffer& buffer);
    // Infinite extent, one colour everywhere.
    static Image constantColor(const Color& color);

    Rect extent() const;
    bool isEmpty() const { return extent().isEmpty(); }

    // Applies an image-file orientation value (1 up, 2 up mirrored, 3 down, 4 down mirrored,
    // 5 left mirrored, 6 right, 7 right mirrored, 8 left): the picture as it should be shown
    // when the file says `orientation`. Exact pixel moves; the result lies at (0, 0) with
    // width and height swapped for 5 to 8. Other values, and infinite or empty images, return
    // the image unchanged.
    Image oriented(int orientation) const;

    // Affine transform sampled bilinearly (exact when pixel centres land on pixel centres, as
    // for whole-pixel translations and mirrors). Extent: the transformed rectangle's bounds.
    Image transformed(const AffineTransform& transform) const;

    // Extent: the intersection. Pixels partly inside a fractional rectangle are weighted by the
    // part inside.
    Image cropped(const Rect& rect) const;

    // Source-over: this image over `background`. Extent: the union of both.
    Image composited(const Image& background) const;

    // The named filter with this image as "inputImage" and `inputs` set after it. Nothing when
    // the filter is unknown or has no output for these inputs.
    std::optional<Image> applyingFilter(std::string_view name, const FilterInputs& inputs = {}) const;

    // For filter nodes and the renderer; never null.
    const std::shared_ptr<const Node>& node() const { return node_; }
    explicit Image(std::shared_ptr<const Node> node);

private:
    std::shared_ptr<const Node> node_;
};

struct ImageLimits {
    // Largest picture we decode or render, in pixels (2^28: 16384 x 16384, four 64 MP frames).
    static constexpr std::int64_t maxPixels = std::int64_t(1) << 28;
    static constexpr int maxSide = 65535;
};

}  // namespace sorvel::image
