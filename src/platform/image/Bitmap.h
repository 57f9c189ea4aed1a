#pragma once
// A rendered or decoded picture: width x height pixels in one format and colour space, rows
// top to bottom (row 0 is the top of the picture, as a bitmap image on the platform).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace sorvel::image {

enum class PixelFormat {
    RGBA8Premultiplied,  // 8 bits per channel, colour multiplied by alpha after encoding
    RGBA8,               // 8 bits per channel, straight alpha
    RGBAHalf,            // IEEE half float per channel, premultiplied, encoded like the space
    RGBAFloat,           // 32-bit float per channel, premultiplied, encoded like the space
};

enum class ColorSpace {
    SRGB,        // sRGB primaries and transfer curve
    DisplayP3,   // Display P3 primaries, sRGB transfer curve
    LinearSRGB,  // sRGB primaries, linear light (extended: values may leave [0, 1])
};

std::size_t bytesPerPixel(PixelFormat format);

class Bitmap {
public:
    // Zero-filled. Nothing when a side is not positive or the size overflows the byte limit
    // (2^31 bytes, enough for 8-bit 16k x 32k): callers pass untrusted sizes here.
    static std::optional<Bitmap> make(int width, int height, PixelFormat format,
                                      ColorSpace colorSpace);
    // As make(), but the bytes are left as the allocator gives them: for a writer that fills
    // every byte before anyone reads (a render), which saves zeroing 48 MB for a 12 MP picture
    // on one thread before the render's threads start.
    static std::optional<Bitmap> makeUninitialized(int width, int height, PixelFormat format,
                                                   ColorSpace colorSpace);

    int width() const { return width_; }
    int height() const { return height_; }
    PixelFormat format() const { return format_; }
    ColorSpace colorSpace() const { return colorSpace_; }
    std::size_t bytesPerRow() const { return bytesPerRow_; }
    const std::uint8_t* data() const { return pixels_.get(); }
    const std::uint8_t* row(int y) const { return data() + std::size_t(y) * bytesPerRow_; }
    std::size_t byteCount() const { return byteCount_; }

    // Copies share their pixels (copying is cheap). Write only while you hold the only copy,
    // i.e. while filling a bitmap you just made; an Image made from it reads them later.
    std::uint8_t* mutableData() { return pixels_.get(); }
    std::uint8_t* mutableRow(int y) { return mutableData() + std::size_t(y) * bytesPerRow_; }

    // Same size, format, colour space and bytes.
    friend bool operator==(const Bitmap& a, const Bitmap& b);

private:
    Bitmap() = default;
    static std::optional<Bitmap> allocate(int width, int height, PixelFormat format, ColorSpace colorSpace,
                                          bool zeroed);
    int width_ = 0, height_ = 0;
    PixelFormat format_ = PixelFormat::RGBA8;
    ColorSpace colorSpace_ = ColorSpace::SRGB;
    std::size_t bytesPerRow_ = 0;
    std::size_t byteCount_ = 0;
    std::shared_ptr<std::uint8_t[]> pixels_;
};

// A video frame as the capture framework delivers it: 8-bit BGRA, straight alpha (opaque in
// practice), rows top to bottom. The image keeps `owner` alive instead of copying the pixels.
struct PixelBuffer {
    int width = 0;
    int height = 0;
    std::size_t bytesPerRow = 0;
    const std::uint8_t* data = nullptr;
    std::shared_ptr<const void> owner;  // keeps `data` alive for as long as an image uses it
    ColorSpace colorSpace = ColorSpace::SRGB;
};

}  // namespace sorvel::image
