#pragma once
// The nodes behind Image's own operations and sources. Internal to the image framework.

#include "platform/image/ColorMath.h"
#include "platform/image/FilterKit.h"

namespace sorvel::image {

class EmptyNode final : public Node {
public:
    Rect extent() const override { return Rect::empty(); }
    void compute(const TileView&, std::span<const TileView>) const override {}
};

// Infinite, one premultiplied working-space colour.
class ConstantNode final : public Node {
public:
    explicit ConstantNode(const Color& c);
    Rect extent() const override { return Rect::infinite(); }
    void compute(const TileView& out, std::span<const TileView>) const override;

private:
    float rgba_[4];
};

// A bitmap's pixels at (0, 0, width, height).
class BitmapNode final : public Node {
public:
    explicit BitmapNode(Bitmap bitmap) : bitmap_(std::move(bitmap)) {}
    Rect extent() const override;
    void compute(const TileView& out, std::span<const TileView>) const override;
    const Bitmap& bitmap() const { return bitmap_; }

private:
    Bitmap bitmap_;
};

class PixelBufferNode final : public Node {
public:
    explicit PixelBufferNode(PixelBuffer buffer) : buffer_(std::move(buffer)) {}
    Rect extent() const override;
    void compute(const TileView& out, std::span<const TileView>) const override;

private:
    PixelBuffer buffer_;
};

// Exact pixel moves of the eight image-file orientations; output at (0, 0).
class OrientNode final : public Node {
public:
    OrientNode(NodePtr input, int orientation);
    // `orientation` applied to what `inner` shows, as one move of inner's input: a picture
    // turned twice (a frame made upright, then turned for a monitor) is still moved once.
    OrientNode(const OrientNode& inner, int orientation);
    Rect extent() const override { return {0, 0, double(outW_), double(outH_)}; }
    PixelRect regionOfInterest(std::size_t, const PixelRect& out) const override;
    void compute(const TileView& out, std::span<const TileView> inputs) const override;

    // The output pixel that source pixel (x, y) moves to, and how that output position changes
    // per step of x along the source row (the renderer writes stored rows through this).
    struct Placement {
        std::int64_t x, y, stepX, stepY;
    };
    Placement placement(std::int64_t x, std::int64_t y) const {
        // The move's matrix has entries 0 and +-1 only: its inverse is its transpose.
        const std::int64_t dx = x - cx_, dy = y - cy_;
        return {ax_ * dx + ay_ * dy, bx_ * dx + by_ * dy, ax_, bx_};
    }

private:
    // source pixel = (ax X + bx Y + cx, ay X + by Y + cy) for output pixel (X, Y)
    std::int64_t ax_, bx_, cx_, ay_, by_, cy_;
    std::int64_t outW_, outH_;
};

class TransformNode final : public Node {
public:
    TransformNode(NodePtr input, const AffineTransform& t);
    Rect extent() const override { return extent_; }
    PixelRect regionOfInterest(std::size_t, const PixelRect& out) const override;
    void compute(const TileView& out, std::span<const TileView> inputs) const override;

private:
    AffineTransform inverse_;
    Rect extent_;
};

class CropNode final : public Node {
public:
    CropNode(NodePtr input, const Rect& rect);
    Rect extent() const override { return extent_; }
    void compute(const TileView& out, std::span<const TileView> inputs) const override;

private:
    Rect rect_;
    Rect extent_;
};

// First input over the second (source-over, premultiplied).
class SourceOverNode final : public Node {
public:
    SourceOverNode(NodePtr foreground, NodePtr background)
        : Node({std::move(foreground), std::move(background)}) {}
    Rect extent() const override;
    void compute(const TileView& out, std::span<const TileView> inputs) const override;
};

}  // namespace sorvel::image
