#pragma once
// The RAW development filter (the platform's CIRAWFilter): made from the bytes of a RAW file
// (DNG, or any Bayer RAW LibRaw reads), options set by key, an output image in the working space
// (linear light, sRGB primaries) at the scale asked for.
//
// Inputs (numbers; defaults in brackets):
//   "inputEV" [0]                         exposure in stops, linear gain 2^EV
//   "inputEnableSharpening" [1]           non-zero: light unsharp mask on luminance
//   "inputNoiseReductionAmount" [0.5]     overall noise-reduction strength 0..1, scales the next two
//   "inputColorNoiseReductionAmount" [0.5]      chroma smoothing 0..1
//   "inputLuminanceNoiseReductionAmount" [0.5]  edge-preserving luminance smoothing 0..1
//   "inputNoiseReductionSharpnessAmount" [0.5]  share of removed luminance detail put back 0..1
//   "inputScaleFactor" [1]                output size as a fraction of the sensor's (0.01..1);
//                                         at 0.5 or less the sensor is read in 2 x 2 blocks
//   "inputLocalToneMapAmount" [0]         0..1: pulls large-scale brightness towards its mean
//   "inputBoost" [1]                      0 linear, 1 the full filmic tone curve
//   "inputBoostShadowAmount" [1]          0..2: shadow lift of the boost (scaled by inputBoost)
//
// Work is cached in two layers: the demosaiced picture (decoded once per filter, again only if
// a larger scale needs full resolution after a half-size decode) and the developed picture (noise
// reduction, sharpening, scale, local tone map; redone only when one of those options changes),
// the latter kept apart for the output and for its reduced copy.
// Exposure and boost are applied at render time, so changing only "inputEV" between reads costs
// nothing but the render.
//
// A filter is used by one thread at a time (the thread that develops the capture); its output
// images may be rendered from any thread.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"
#include "platform/image/FilterValue.h"
#include "platform/image/Image.h"

namespace sorvel::image {

namespace raw {
struct PlanarPicture;
}

class RawFilter {
public:
    // Nothing, with the reason in `whyNot`, when the bytes are not a RAW file we can develop
    // (other image formats, damaged headers, sizes beyond ImageLimits). `options` sets inputs by
    // the keys above (numbers or booleans); other entries are ignored.
    static std::unique_ptr<RawFilter> make(const Bytes& bytes, const Dictionary& options = {},
                                           std::string* whyNot = nullptr);
    ~RawFilter();

    // Keys the filter does not know are kept and ignored.
    void setValue(std::string_view key, FilterValue value);
    // The value set, else the default; null for unknown keys.
    const FilterValue* value(std::string_view key) const;

    // Develops as the inputs ask (see the cache above). Nothing when the RAW data turn out to be
    // damaged; lastError() then says why.
    std::optional<Image> outputImage() const;
    const std::string& lastError() const;

    // The output at the current inputs, reduced by reductionFactor() on each side whatever
    // "inputScaleFactor" asks: area-averaged from the same demosaiced picture and put through
    // the same detail steps (at that scale). For analyses of the whole picture at a small size
    // (the exposure search): the copy is made once per set of detail inputs, so a read after
    // changing only "inputEV" costs a render of a few hundred thousand pixels.
    std::optional<Image> reducedOutputImage() const;
    // 1 to 8: the short side of the demosaiced picture over 64.
    static int reductionFactor(int width, int height);

    // Decodes and demosaics now, if not done yet, at the size the current "inputScaleFactor"
    // needs (the first read does it otherwise). False, with lastError(), on damaged data.
    bool demosaicNow() const;

    // Full-resolution developed size, orientation applied.
    Size nativeSize() const;

    // How often the expensive layers ran, for checking that the cache holds, and how long they
    // took (seconds, for the benchmarks).
    struct WorkCounts {
        int decodes = 0;       // LibRaw decode and demosaic
        int developments = 0;  // noise reduction, scale, local tone map
        int reductions = 0;    // reduced copies made (with their detail steps)
        double decodeSeconds = 0, developSeconds = 0;
    };
    WorkCounts workCounts() const;

private:
    RawFilter();
    struct DevelopKey;
    DevelopKey developKey(int width, int height, double scale) const;
    Image toned(std::shared_ptr<const raw::PlanarPicture> picture) const;
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace sorvel::image
