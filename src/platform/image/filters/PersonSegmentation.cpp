// "CIPersonSegmentation": a mask of the people in the picture (white on black, opaque) at a
// reduced size — the installed segmenter's analysis size for inputQualityLevel (0 fast,
// 1 balanced, 2 accurate); callers scale it to their picture. The mask is computed once, on
// the first render that reads it, from the whole input picture.
#include <cmath>
#include <mutex>

#include "platform/image/FilterKit.h"
#include "platform/image/RenderContext.h"
#include "platform/image/segmentation/PersonSegmenter.h"

namespace sorvel::image {
namespace {

using segmentation::Mask;
using segmentation::PersonSegmenter;
using segmentation::Quality;

class PersonMaskNode final : public Node {
public:
    PersonMaskNode(NodePtr in, std::shared_ptr<const PersonSegmenter> segmenter, Quality quality, int w, int h)
        : source_(std::move(in)), segmenter_(std::move(segmenter)), quality_(quality), width_(w), height_(h) {}

    Rect extent() const override { return {0, 0, double(width_), double(height_)}; }

    void compute(const TileView& out, std::span<const TileView>) const override {
        // The mask needs the whole picture at once, unlike a tile: it is made on first use and
        // kept (the node stays immutable to its readers; the once-flag orders the write).
        std::call_once(once_, [this] { mask_ = makeMask(); });
        for (std::int64_t y = out.rect.y; y < out.rect.maxY(); ++y) {
            const std::uint8_t* row = mask_.values.data() + std::size_t(height_ - 1 - y) * width_;
            float* r = out.row(0, y);
            for (std::int64_t x = out.rect.x; x < out.rect.maxX(); ++x) r[x - out.rect.x] = row[x] * (1.0f / 255.0f);
            std::copy_n(r, out.rect.width, out.row(1, y));
            std::copy_n(r, out.rect.width, out.row(2, y));
            std::fill_n(out.row(3, y), out.rect.width, 1.0f);
        }
    }

private:
    Mask makeMask() const {
        Mask empty{width_, height_, std::vector<std::uint8_t>(std::size_t(width_) * height_, 0)};
        const Rect e = source_->extent();
        Image picture(source_);
        picture = picture.transformed(AffineTransform::translation(-e.x, -e.y));
        auto small = picture.applyingFilter("CILanczosScaleTransform",
                                            {{"inputScale", height_ / e.height},
                                             {"inputAspectRatio", (width_ / e.width) / (height_ / e.height)}});
        if (!small) return empty;
        auto bitmap = RenderContext().render(*small, {0, 0, double(width_), double(height_)}, PixelFormat::RGBA8,
                                             ColorSpace::SRGB);
        if (!bitmap) return empty;
        auto mask = segmenter_->segment(*bitmap, quality_);
        if (!mask || mask->width != width_ || mask->height != height_) return empty;
        return std::move(*mask);
    }

    NodePtr source_;  // not an input of the tile graph: the mask reads the whole picture itself
    std::shared_ptr<const PersonSegmenter> segmenter_;
    Quality quality_;
    int width_, height_;
    mutable std::once_flag once_;
    mutable Mask mask_;
};

}  // namespace

SORVEL_FILTER(PersonSegmentation) {
    registerFilter({"CIPersonSegmentation", "A reduced-size mask of the people in the picture (people white).",
                    {{"inputQualityLevel", 0.0}},
                    [](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        if (!in) return std::nullopt;
                        const Rect e = in->extent();
                        if (e.isEmpty() || e.isInfinite()) return std::nullopt;
                        const double q = number(f, "inputQualityLevel");
                        const Quality quality = !(q >= 0.5) ? Quality::Fast : q < 1.5 ? Quality::Balanced : Quality::Accurate;
                        auto segmenter = PersonSegmenter::current();
                        if (!segmenter) return std::nullopt;
                        // The analysis size: the longest side at the segmenter's size for the
                        // quality (never larger than the picture), the other in proportion.
                        const double side = std::min<double>(segmenter->analysisSide(quality), std::max(e.width, e.height));
                        const double k = side / std::max(e.width, e.height);
                        const int w = std::max(1, int(std::lround(e.width * k)));
                        const int h = std::max(1, int(std::lround(e.height * k)));
                        return makeImage<PersonMaskNode>(in->node(), std::move(segmenter), quality, w, h);
                    }});
}

}  // namespace sorvel::image
