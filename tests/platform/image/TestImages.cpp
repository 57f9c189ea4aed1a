#include "TestImages.h"

#include "platform/image/TableLookup.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

namespace sorvel::image::test {

Bitmap labelledBitmap(int w, int h) {
    Bitmap b = *Bitmap::make(w, h, PixelFormat::RGBA8, ColorSpace::SRGB);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            std::uint8_t* p = b.mutableRow(r) + 4 * c;
            p[0] = std::uint8_t(10 + 20 * c + 70 * r);
            p[1] = std::uint8_t(200 - 30 * c);
            p[2] = std::uint8_t(5 + 40 * r);
            p[3] = 255;
        }
    return b;
}

Bitmap noiseBitmap(int w, int h, unsigned seed) {
    Bitmap b = *Bitmap::make(w, h, PixelFormat::RGBA8, ColorSpace::SRGB);
    unsigned s = seed * 2654435761u + 1;
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            s = s * 1664525u + 1013904223u;
            std::uint8_t* p = b.mutableRow(r) + 4 * c;
            p[0] = std::uint8_t((c * 255 / std::max(1, w - 1) + (s >> 28)) & 255);
            p[1] = std::uint8_t((r * 255 / std::max(1, h - 1) + (s >> 26)) & 255);
            p[2] = std::uint8_t(128 + 100 * std::sin(c * 0.1 + r * 0.07) + ((s >> 24) & 15));
            p[3] = 255;
        }
    return b;
}

std::optional<Bitmap> renderRGBA8(const Image& image, const Rect& rect, RenderOptions options) {
    return RenderContext(options).render(image, rect, PixelFormat::RGBA8, ColorSpace::SRGB);
}

double psnr(const Bitmap& a, const Bitmap& b) {
    if (a.width() != b.width() || a.height() != b.height()) return 0;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            for (int c = 0; c < 3; ++c) {
                const double d = double(a.row(y)[4 * x + c]) - double(b.row(y)[4 * x + c]);
                sum += d * d;
            }
    const double mse = sum / (double(a.width()) * a.height() * 3);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

std::string firstDifference(const Bitmap& a, const Bitmap& b) {
    std::ostringstream out;
    if (a.width() != b.width() || a.height() != b.height() || a.format() != b.format()) {
        out << "size/format differ: " << a.width() << "x" << a.height() << " vs " << b.width() << "x" << b.height();
        return out.str();
    }
    const std::size_t bpp = bytesPerPixel(a.format());
    for (int r = 0; r < a.height(); ++r)
        for (int c = 0; c < a.width(); ++c)
            for (std::size_t k = 0; k < bpp; ++k)
                if (a.row(r)[c * bpp + k] != b.row(r)[c * bpp + k]) {
                    out << "pixel (" << c << ", " << r << " from top) byte " << k << ": "
                        << int(a.row(r)[c * bpp + k]) << " vs " << int(b.row(r)[c * bpp + k]);
                    return out.str();
                }
    return "";
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

#ifdef SORVEL_TABLE_LOOKUP_X86
FourLanesOnly::FourLanesOnly(bool on) : was_(lookup::fourLanesOnly().exchange(on)) {}
FourLanesOnly::~FourLanesOnly() { lookup::fourLanesOnly().store(was_); }
#else
FourLanesOnly::FourLanesOnly(bool) : was_(false) {}
FourLanesOnly::~FourLanesOnly() = default;
#endif

}  // namespace sorvel::image::test

// x265 keeps a few small per-encoder buffers until process exit (a known leak inside the
// library, not ours); LeakSanitizer builds (SORVEL_SANITIZE) read this hook.
extern "C" const char* __lsan_default_suppressions() { return "leak:libx265.so\n"; }
