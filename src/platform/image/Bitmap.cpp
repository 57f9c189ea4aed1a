#include "platform/image/Bitmap.h"

#include <cstdlib>
#include <cstring>

#include "platform/image/LargeBlocks.h"

namespace sorvel::image {

std::size_t bytesPerPixel(PixelFormat format) {
    switch (format) {
        case PixelFormat::RGBA8Premultiplied:
        case PixelFormat::RGBA8: return 4;
        case PixelFormat::RGBAHalf: return 8;
        case PixelFormat::RGBAFloat: return 16;
    }
    return 4;
}

std::optional<Bitmap> Bitmap::make(int width, int height, PixelFormat format, ColorSpace colorSpace) {
    return allocate(width, height, format, colorSpace, true);
}

std::optional<Bitmap> Bitmap::makeUninitialized(int width, int height, PixelFormat format, ColorSpace colorSpace) {
    return allocate(width, height, format, colorSpace, false);
}

std::optional<Bitmap> Bitmap::allocate(int width, int height, PixelFormat format, ColorSpace colorSpace,
                                       bool zeroed) {
    if (width <= 0 || height <= 0) return std::nullopt;
    constexpr std::uint64_t kMaxBytes = std::uint64_t(1) << 31;
    std::uint64_t row = std::uint64_t(width) * bytesPerPixel(format);
    std::uint64_t total = row * std::uint64_t(height);
    if (row > kMaxBytes || total > kMaxBytes) return std::nullopt;
    Bitmap b;
    b.width_ = width;
    b.height_ = height;
    b.format_ = format;
    b.colorSpace_ = colorSpace;
    b.bytesPerRow_ = std::size_t(row);
    b.byteCount_ = std::size_t(total);
    // A 12 MP picture is 48 to 192 MB: in 2 MB pages its first writes fault 24 to 96 times
    // instead of 12,000 to 48,000, and a block kept from the last picture not at all.
    if (b.byteCount_ >= blocks::kMinBytes) {
        std::size_t capacity = 0;
        void* memory = blocks::acquire(b.byteCount_, capacity);
        if (!memory) return std::nullopt;
        if (zeroed) std::memset(memory, 0, b.byteCount_);
        b.pixels_ = std::shared_ptr<std::uint8_t[]>(static_cast<std::uint8_t*>(memory),
                                                    [capacity](std::uint8_t* p) { blocks::release(p, capacity); });
        return b;
    }
    b.pixels_ = zeroed ? std::make_shared<std::uint8_t[]>(b.byteCount_)
                       : std::make_shared_for_overwrite<std::uint8_t[]>(b.byteCount_);
    return b;
}

bool operator==(const Bitmap& a, const Bitmap& b) {
    if (a.width_ != b.width_ || a.height_ != b.height_ || a.format_ != b.format_ ||
        a.colorSpace_ != b.colorSpace_)
        return false;
    if (a.pixels_ == b.pixels_) return true;
    return std::memcmp(a.data(), b.data(), a.byteCount_) == 0;
}

}  // namespace sorvel::image
