#pragma once
// Small synthetic pictures and helpers for the image framework tests.

#include <string>

#include "platform/image/Bitmap.h"
#include "platform/image/Image.h"
#include "platform/image/RenderContext.h"

namespace sorvel::image::test {

// w x h, 8-bit straight sRGB; pixel (column c, row r from the top) has red 10 + 20 c + 70 r,
// green 200 - 30 c, blue 5 + 40 r, alpha 255: every pixel of a 3 x 2 picture differs.
Bitmap labelledBitmap(int w, int h);
// Smooth colours plus deterministic noise; opaque.
Bitmap noiseBitmap(int w, int h, unsigned seed);

std::optional<Bitmap> renderRGBA8(const Image& image, const Rect& rect,
                                  RenderOptions options = {});

// Peak signal-to-noise ratio of the colour channels, in dB (99 when equal, 0 when the sizes differ).
double psnr(const Bitmap& a, const Bitmap& b);

// "" when equal, else the first differing pixel (column, row from the top) and both values.
std::string firstDifference(const Bitmap& a, const Bitmap& b);

Bytes readFile(const std::string& path);

// While it lives (and `on`), the table look-ups run four lanes at a time on a CPU that has
// eight, so tests reach the code such CPUs run.
class FourLanesOnly {
public:
    explicit FourLanesOnly(bool on);
    ~FourLanesOnly();
    FourLanesOnly(const FourLanesOnly&) = delete;
    FourLanesOnly& operator=(const FourLanesOnly&) = delete;

private:
    bool was_;
};

}  // namespace sorvel::image::test
