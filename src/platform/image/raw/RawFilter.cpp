#include "platform/image/raw/RawFilter.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/image/RenderContext.h"
#include "platform/image/raw/RawDecoder.h"
#include "platform/image/raw/RawDevelopment.h"

namespace sorvel::image {

// The options that shape the developed picture; equal keys reuse it.
struct RawFilter::DevelopKey {
    raw::DetailOptions detail;
    int width = 0, height = 0;

    bool operator==(const DevelopKey& o) const {
        const raw::DetailOptions &a = detail, &b = o.detail;
        return width == o.width && height == o.height && a.noiseReduction == b.noiseReduction &&
               a.colorNoiseReduction == b.colorNoiseReduction &&
               a.luminanceNoiseReduction == b.luminanceNoiseReduction &&
               a.noiseReductionSharpness == b.noiseReductionSharpness && a.sharpen == b.sharpen &&
               a.localToneMap == b.localToneMap;
    }
};

namespace {

const FilterInputs& defaults() {
    static const FilterInputs d = {
        {"inputEV", 0.0},
        {"inputEnableSharpening", 1.0},
        {"inputNoiseReductionAmount", 0.5},
        {"inputColorNoiseReductionAmount", 0.5},
        {"inputLuminanceNoiseReductionAmount", 0.5},
        {"inputNoiseReductionSharpnessAmount", 0.5},
        {"inputScaleFactor", 1.0},
        {"inputLocalToneMapAmount", 0.0},
        {"inputBoost", 1.0},
        {"inputBoostShadowAmount", 1.0},
    };
    return d;
}

float finiteOr(double v, double fallback, double lo, double hi) {
    return float(std::isfinite(v) ? std::clamp(v, lo, hi) : fallback);
}

// Lanczos-scales the picture to w x h with the image framework (tiled over the cores).
std::optional<raw::PlanarPicture> scaled(const std::shared_ptr<const raw::PlanarPicture>& src, int w, int h) {
    Image in = raw::planarImage(src);
    const double sy = double(h) / src->height, sx = double(w) / src->width;
    auto out = in.applyingFilter("CILanczosScaleTransform", {{"inputScale", sy}, {"inputAspectRatio", sx / sy}});
    if (!out) return std::nullopt;
    auto bitmap = RenderContext().render(*out, {0, 0, double(w), double(h)}, PixelFormat::RGBAFloat,
                                         ColorSpace::LinearSRGB);
    if (!bitmap) return std::nullopt;
    raw::PlanarPicture p = raw::PlanarPicture::sized(w, h);
    for (int y = 0; y < h; ++y) {
        const float* row = reinterpret_cast<const float*>(bitmap->row(y));
        for (int x = 0; x < w; ++x) {
            const std::size_t i = std::size_t(y) * w + x;
            p.r[i] = row[4 * x];
            p.g[i] = row[4 * x + 1];
            p.b[i] = row[4 * x + 2];
        }
    }
    return p;
}

}  // namespace

struct RawFilter::State {
    std::unique_ptr<raw::RawDecoder> decoder;
    FilterInputs values;
    // Caches, filled by outputImage() (logically const: they only remember work).
    mutable std::shared_ptr<const raw::PlanarPicture> demosaiced;
    mutable bool demosaicedHalf = false;
    mutable std::optional<DevelopKey> developedKey;
    mutable std::shared_ptr<const raw::PlanarPicture> developed;
    mutable std::optional<DevelopKey> reducedKey;
    mutable std::shared_ptr<const raw::PlanarPicture> reduced;
    mutable WorkCounts counts;
    mutable std::string lastError;

    double number(std::string_view key) const {
        auto it = values.find(key);
        const FilterValue* v = it != values.end() ? &it->second : &defaults().find(key)->second;
        return v->number() ? *v->number() : *defaults().find(key)->second.number();
    }
};

RawFilter::RawFilter() : state_(std::make_unique<State>()) {}
RawFilter::~RawFilter() = default;

std::unique_ptr<RawFilter> RawFilter::make(const Bytes& bytes, const Dictionary& options, std::string* whyNot) {
    auto decoder = raw::RawDecoder::open(bytes, whyNot);
    if (!decoder) return nullptr;
    std::unique_ptr<RawFilter> f(new RawFilter);
    f->state_->decoder = std::move(decoder);
    for (const auto& [key, value] : options) {
        if (!defaults().count(key)) continue;
        if (value.isNumber() || value.type() == Value::Type::Bool) f->setValue(key, value.toReal());
    }
    return f;
}

void RawFilter::setValue(std::string_view key, FilterValue value) {
    state_->values.insert_or_assign(std::string(key), std::move(value));
}

const FilterValue* RawFilter::value(std::string_view key) const {
    if (auto it = state_->values.find(key); it != state_->values.end()) return &it->second;
    if (auto it = defaults().find(key); it != defaults().end()) return &it->second;
    return nullptr;
}

Size RawFilter::nativeSize() const { return {double(state_->decoder->width()), double(state_->decoder->height())}; }

RawFilter::WorkCounts RawFilter::workCounts() const { return state_->counts; }

const std::string& RawFilter::lastError() const { return state_->lastError; }

RawFilter::DevelopKey RawFilter::developKey(int width, int height, double scale) const {
    const State& s = *state_;
    DevelopKey key;
    key.width = width;
    key.height = height;
    raw::DetailOptions& d = key.detail;
    d.noiseReduction = finiteOr(s.number("inputNoiseReductionAmount"), 0.5, 0, 1);
    d.colorNoiseReduction = finiteOr(s.number("inputColorNoiseReductionAmount"), 0.5, 0, 1);
    d.luminanceNoiseReduction = finiteOr(s.number("inputLuminanceNoiseReductionAmount"), 0.5, 0, 1);
    d.noiseReductionSharpness = finiteOr(s.number("inputNoiseReductionSharpnessAmount"), 0.5, 0, 1);
    d.sharpen = s.number("inputEnableSharpening") != 0;
    d.localToneMap = finiteOr(s.number("inputLocalToneMapAmount"), 0, 0, 1);
    d.scale = scale;
    return key;
}

bool RawFilter::demosaicNow() const {
    State& s = *state_;
    const double scale = finiteOr(s.number("inputScaleFactor"), 1.0, 0.01, 1.0);
    // Half size (2 x 2 blocks binned) when that is all the output needs.
    const bool halfEnough = scale <= 0.5;
    if (s.demosaiced && !(s.demosaicedHalf && !halfEnough)) return true;
    s.developed.reset();
    s.developedKey.reset();
    s.reduced.reset();
    s.reducedKey.reset();
    s.demosaiced.reset();  // its memory is needed for the new one
    const auto t0 = std::chrono::steady_clock::now();
    auto rgb = s.decoder->decode(halfEnough, &s.lastError);
    ++s.counts.decodes;
    s.counts.decodeSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!rgb) return false;
    s.demosaiced = std::make_shared<const raw::PlanarPicture>(std::move(*rgb));
    s.demosaicedHalf = halfEnough;
    return true;
}

Image RawFilter::toned(std::shared_ptr<const raw::PlanarPicture> picture) const {
    const State& s = *state_;
    const float ev = finiteOr(s.number("inputEV"), 0, -16, 16);
    const float boost = finiteOr(s.number("inputBoost"), 1, 0, 1);
    const float shadow = finiteOr(s.number("inputBoostShadowAmount"), 1, 0, 2);
    return raw::toned(raw::planarImage(std::move(picture)), ev, boost, shadow);
}

std::optional<Image> RawFilter::outputImage() const {
    State& s = *state_;
    const double scale = finiteOr(s.number("inputScaleFactor"), 1.0, 0.01, 1.0);
    const int fullW = s.decoder->width(), fullH = s.decoder->height();
    const DevelopKey key = developKey(std::max(1, int(std::lround(fullW * scale))),
                                      std::max(1, int(std::lround(fullH * scale))), scale);
    if (!demosaicNow()) return std::nullopt;

    // Scale, noise reduction, sharpening, local tone map.
    if (!s.developed || !s.developedKey || !(*s.developedKey == key)) {
        ++s.counts.developments;
        const auto t0 = std::chrono::steady_clock::now();
        try {
            s.developed.reset();  // its memory is needed for the new one
            if (key.width == s.demosaiced->width && key.height == s.demosaiced->height) {
                raw::PlanarPicture p;
                raw::developDetail(*s.demosaiced, p, key.detail);
                s.developed = std::make_shared<const raw::PlanarPicture>(std::move(p));
            } else {
                auto p = scaled(s.demosaiced, key.width, key.height);
                if (!p) {
                    s.lastError = "scaling the developed picture failed";
                    return std::nullopt;
                }
                raw::developDetail(*p, key.detail);
                s.developed = std::make_shared<const raw::PlanarPicture>(std::move(*p));
            }
            s.developedKey = key;
            s.counts.developSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        } catch (const std::bad_alloc&) {
            s.lastError = "out of memory for the developed picture";
            return std::nullopt;
        }
    }
    // Exposure and tone curve at render time.
    return toned(s.developed);
}

std::optional<Image> RawFilter::reducedOutputImage() const {
    State& s = *state_;
    if (!demosaicNow()) return std::nullopt;
    const raw::PlanarPicture& source = *s.demosaiced;
    const int factor = reductionFactor(source.width, source.height);
    const int w = (source.width + factor - 1) / factor, h = (source.height + factor - 1) / factor;
    const DevelopKey key = developKey(w, h, double(w) / s.decoder->width());
    if (!s.reduced || !s.reducedKey || !(*s.reducedKey == key)) {
        try {
            ++s.counts.reductions;
            raw::PlanarPicture p = raw::reduced(source, factor);
            raw::developDetail(p, key.detail);
            s.reduced = std::make_shared<const raw::PlanarPicture>(std::move(p));
            s.reducedKey = key;
        } catch (const std::bad_alloc&) {
            s.lastError = "out of memory for the reduced picture";
            return std::nullopt;
        }
    }
    return toned(s.reduced);
}

int RawFilter::reductionFactor(int width, int height) {
    return std::clamp(std::min(width, height) / 64, 1, 8);
}

}  // namespace sorvel::image
