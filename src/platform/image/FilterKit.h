#pragma once
// FilterKit: what a filter is made of. Read this before writing one.
//
// PIXELS. A node computes tiles. A TileView is four float planes (R, G, B, A), linear light,
// premultiplied alpha, sRGB primaries, extended range; row(c, y) points at pixel (rect.x, y) of
// plane c, and rows go up with y (y up, as extents). No per-pixel virtual calls: a node's
// compute() loops over whole rows.
//
// A NODE states three things:
//   (a) extent()                         the output's extent (Rect, doubles, may be infinite)
//   (b) regionOfInterest(i, outRect)     which pixels of input i it reads to compute outRect
//   (c) compute(out, inputs)             fills every pixel of out.rect; inputs[i] covers exactly
//                                        regionOfInterest(i, out.rect), already computed, with
//                                        pixels outside input i's extent set to 0
// The renderer calls compute() only for pixels inside the node's (whole-pixel) extent, and
// zero-fills the rest. compute() may run on several threads at once for different tiles: keep
// nodes immutable. Every output pixel must be computed the same way whatever the tile it falls
// in (weights from absolute coordinates, fixed summation order): tests compare tilings.
//
// A POINT OPERATION (colour in, colour out, one pixel at a time) derives from PointNode and
// only writes apply(): the renderer runs consecutive point operations one after another on the
// same tile while it is in cache, unpremultiplying once for a run of Alpha::Straight ops.
//
// A FILTER is one file in filters/, e.g. filters/Exposure.cpp:
//
//     #include "platform/image/FilterKit.h"
//     namespace sorvel::image {
//     namespace {
//     // out = in * 2^ev (linear light)
//     class ExposureNode final : public PointNode {
//     public:
//         ExposureNode(NodePtr in, float ev) : PointNode(std::move(in)), gain_(std::exp2(ev)) {}
//         Alpha alpha() const override { return Alpha::Premultiplied; }
//         void apply(const PixelRun& p) const override {
//             for (std::size_t i = 0; i < p.count; ++i) { p.r[i] *= gain_; p.g[i] *= gain_; p.b[i] *= gain_; }
//         }
//     private:
//         float gain_;
//     };
//     }  // namespace
//     SORVEL_FILTER(Exposure) {
//         registerFilter({"CIExposureAdjust", "Multiplies linear colour by 2^inputEV.",
//                         {{"inputEV", 0.0}},
//                         [](const Filter& f) -> std::optional<Image> {
//                             const Image* in = inputImage(f);
//                             if (!in) return std::nullopt;
//                             return makeImage<ExposureNode>(in->node(), float(number(f, "inputEV")));
//                         }});
//     }
//     }  // namespace sorvel::image
//
// SORVEL_FILTER(Name) must use the file's base name; CMake finds filters/*.cpp and registers
// them all (re-run cmake after adding a file). A filter may also build its output from other
// images and filters (a bloom = blur + blend) instead of a node of its own. Add a test in
// tests/platform/image/ that checks pixels against a plain reference and the extent.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/image/Filter.h"
#include "platform/image/Geometry.h"
#include "platform/image/Image.h"

namespace sorvel::image {

class Node;
class PointNode;
using NodePtr = std::shared_ptr<const Node>;

struct TileView {
    PixelRect rect;
    std::ptrdiff_t stride = 0;  // floats from one row to the next
    float* planes[4] = {nullptr, nullptr, nullptr, nullptr};

    float* row(int channel, std::int64_t y) const {
        return planes[channel] + (y - rect.y) * stride;
    }
    // The part of this view over `r` (which must lie inside rect).
    TileView sub(const PixelRect& r) const;
};

class Node {
public:
    explicit Node(std::vector<NodePtr> inputs = {}) : inputs_(std::move(inputs)) {}
    virtual ~Node() = default;

    virtual Rect extent() const = 0;
    virtual PixelRect regionOfInterest(std::size_t input, const PixelRect& out) const {
        (void)input;
        return out;
    }
    virtual void compute(const TileView& out, std::span<const TileView> inputs) const = 0;

    const std::vector<NodePtr>& inputs() const { return inputs_; }
    virtual const PointNode* asPointNode() const { return nullptr; }

private:
    std::vector<NodePtr> inputs_;
};

// `count` pixels of one row, planar; modified in place. The first pixel is at (x, y), for
// operations that depend on where a pixel is (grain, vignetting).
struct PixelRun {
    float* r;
    float* g;
    float* b;
    float* a;
    std::size_t count;
    std::int64_t x = 0;
    std::int64_t y = 0;
};

class PointNode : public Node {
public:
    enum class Alpha {
        Premultiplied,  // apply() sees premultiplied colour
        Straight,       // apply() sees colour divided by alpha (alpha 0 gives colour 0)
    };
    explicit PointNode(NodePtr input) : Node({std::move(input)}) {}

    virtual Alpha alpha() const { return Alpha::Straight; }
    virtual void apply(const PixelRun& pixels) const = 0;

    // The input's extent: a point operation keeps pixels where they are and leaves the outside
    // of its input transparent.
    Rect extent() const final;
    void compute(const TileView& out, std::span<const TileView> inputs) const final;
    const PointNode* asPointNode() const final { return this; }
};

// Registration -------------------------------------------------------------------------------

struct Filter::Definition {
    std::string name;
    std::string summary;    // one line: what it computes
    FilterInputs defaults;  // inputs that have a default
    std::function<std::optional<Image>(const Filter&)> output;
};

// Called from SORVEL_FILTER bodies; a second definition of a name replaces the first.
void registerFilter(Filter::Definition definition);

#define SORVEL_FILTER(FileBaseName) void sorvelRegisterFilter_##FileBaseName()

// Input helpers for Definition::output.
const Image* inputImage(const Filter& f, std::string_view key = kInputImageKey);
double number(const Filter& f, std::string_view key, double fallback = 0.0);
std::optional<Vector> vector(const Filter& f, std::string_view key);

template <class N, class... Args>
Image makeImage(Args&&... args) {
    return Image(std::make_shared<const N>(std::forward<Args>(args)...));
}

}  // namespace sorvel::image
