// A RAW file's embedded preview (the JPEG or bitmap a camera stores beside the sensor data),
// for ImageSource::thumbnail; declared in Decode.h.

#include <libraw/libraw.h>

#include <cstring>
#include <memory>

#include "platform/image/Decode.h"
#include "platform/image/Image.h"

namespace sorvel::image::decode {

namespace {

// Larger than any preview a camera embeds; keeps a damaged header from making LibRaw read
// hundreds of megabytes.
constexpr std::int64_t kMaxPreviewBytes = std::int64_t(64) << 20;

}  // namespace

std::optional<Bitmap> decodeRawPreview(const std::uint8_t* data, std::size_t size, int minLongSide) {
    if (!data || size == 0) return std::nullopt;
    // LibRaw's processor is large: on the heap, not on a worker thread's stack.
    auto p = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    // LibRaw reads the buffer only (its signature predates const).
    if (p->open_buffer(const_cast<std::uint8_t*>(data), size) != LIBRAW_SUCCESS) return std::nullopt;
    const libraw_thumbnail_t& t = p->imgdata.thumbnail;
    const std::int64_t w = t.twidth, h = t.theight;
    if (w <= 0 || h <= 0 || std::max(w, h) < minLongSide || w * h > ImageLimits::maxPixels ||
        std::int64_t(t.tlength) > kMaxPreviewBytes)
        return std::nullopt;
    if (p->unpack_thumb() != LIBRAW_SUCCESS) return std::nullopt;
    if (t.tformat == LIBRAW_THUMBNAIL_JPEG && t.thumb && t.tlength > 0) {
        auto preview = decodeJpegReduced(reinterpret_cast<const std::uint8_t*>(t.thumb), t.tlength, minLongSide);
        if (!preview || std::max(preview->width(), preview->height()) < minLongSide) return std::nullopt;
        return preview;
    }
    // An 8-bit RGB bitmap, rows packed.
    if (t.tformat != LIBRAW_THUMBNAIL_BITMAP || t.tcolors != 3 || !t.thumb ||
        std::int64_t(t.tlength) < w * h * 3)
        return std::nullopt;
    auto bitmap = Bitmap::make(int(w), int(h), PixelFormat::RGBA8, ColorSpace::SRGB);
    if (!bitmap) return std::nullopt;
    const auto* src = reinterpret_cast<const std::uint8_t*>(t.thumb);
    for (int y = 0; y < int(h); ++y) {
        std::uint8_t* d = bitmap->mutableRow(y);
        const std::uint8_t* s = src + std::size_t(y) * std::size_t(w) * 3;
        for (int x = 0; x < int(w); ++x) d[4 * x] = s[3 * x], d[4 * x + 1] = s[3 * x + 1], d[4 * x + 2] = s[3 * x + 2], d[4 * x + 3] = 255;
    }
    return bitmap;
}

}  // namespace sorvel::image::decode
