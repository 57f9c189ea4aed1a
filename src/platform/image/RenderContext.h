#pragma once
// RenderContext (the platform's CIContext): evaluates an Image recipe over a rectangle into a
// Bitmap. Work is split into tiles spread over threads; each node computes a tile from exactly
// the input region it asks for, and runs of point operations are applied together on each tile
// while it is in cache; a filter faded over its own input joins such a run, and an orientation
// at the top is applied while the pixels are stored. The bytes produced never depend on tile
// size, thread count or these shortcuts.
//
// A context holds only its options: it is cheap to make (one per picture is fine) and safe to
// share between threads; each render() call uses its own threads and memory.

#include <optional>

#include "platform/image/Bitmap.h"
#include "platform/image/Geometry.h"
#include "platform/image/Image.h"

namespace sorvel::image {

struct RenderOptions {
    int threads = 0;           // 0: one per core. Threads live only inside one render() call.
    // Tiles are the unit of memory and of parallel work. 0: the renderer's choice, 256 x 128, or
    // strips of whole rows of the same area when every node is a point operation (no tile
    // reads outside itself, and long rows are what the memory prefetcher follows best).
    int tileWidth = 0;
    int tileHeight = 0;
    // Blends of a filter over its own input evaluated as point operations, and an orientation
    // at the top written through while storing. Off: every node on its own, the reference the
    // shortcuts must match byte for byte.
    bool shortcuts = true;
    PixelFormat defaultFormat = PixelFormat::RGBA8Premultiplied;
    ColorSpace defaultColorSpace = ColorSpace::SRGB;
};

class RenderContext {
public:
    explicit RenderContext(RenderOptions options = {});

    // Renders `rect` (snapped outward to whole pixels, see Rect::integral) of `image`; the
    // bitmap's top row is the top of the rectangle. Pixels outside the image's extent are
    // transparent. Nothing when the rectangle is empty or infinite or larger than
    // ImageLimits::maxPixels. Any thread; concurrent calls are independent.
    std::optional<Bitmap> render(const Image& image, const Rect& rect, PixelFormat format,
                                 ColorSpace colorSpace) const;
    std::optional<Bitmap> render(const Image& image, const Rect& rect) const {
        return render(image, rect, options_.defaultFormat, options_.defaultColorSpace);
    }

    const RenderOptions& options() const { return options_; }

private:
    RenderOptions options_;
};

}  // namespace sorvel::image
