#pragma once
// The development steps that run once per set of options on the demosaiced picture (noise
// reduction, sharpening, local tone mapping), and the exposure and tone curve that run at
// render time. Internal to the RAW developer.

#include <memory>
#include <vector>

#include "platform/image/FilterKit.h"

namespace sorvel::image::raw {

// Linear RGB with the sRGB primaries, one plane per channel, rows top to bottom; opaque.
struct PlanarPicture {
    int width = 0, height = 0;
    std::vector<float> r, g, b;

    static PlanarPicture sized(int w, int h);
    std::size_t size() const { return std::size_t(width) * std::size_t(height); }
};

struct DetailOptions {
    float noiseReduction = 0;           // overall strength, scales the two below
    float colorNoiseReduction = 0;      // chroma smoothing
    float luminanceNoiseReduction = 0;  // edge-preserving luminance smoothing
    float noiseReductionSharpness = 0;  // share of the removed luminance detail put back
    bool sharpen = false;               // a light unsharp mask on luminance
    float localToneMap = 0;             // compression of large-scale brightness differences
    double scale = 1;                   // output scale (radii follow it)
};

// The mean of each `factor` x `factor` block (partial blocks at the right and bottom edges):
// a picture 1/factor the size, rounded up.
PlanarPicture reduced(const PlanarPicture& picture, int factor);

// Noise reduction, sharpening and local tone mapping in place, in that order.
void developDetail(PlanarPicture& picture, const DetailOptions& options);
// The same from `source` into `out` (sized to match), sparing the copy of a cached source.
void developDetail(const PlanarPicture& source, PlanarPicture& out, const DetailOptions& options);

// The picture as an image at (0, 0), shared, not copied.
Image planarImage(std::shared_ptr<const PlanarPicture> picture);

// Exposure (2^ev), then the boost tone curve mixed in by `boost` (0 linear, 1 full), with its
// shadow lift scaled by `boostShadow`.
Image toned(const Image& developed, float ev, float boost, float boostShadow);

}  // namespace sorvel::image::raw
