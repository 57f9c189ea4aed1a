#include "platform/image/Nodes.h"

#include "platform/image/PixelLoops.h"

#include <algorithm>
#include <cstring>

namespace sorvel::image {

TileView TileView::sub(const PixelRect& r) const {
    TileView v;
    v.rect = r;
    v.stride = stride;
    for (int c = 0; c < 4; ++c) v.planes[c] = planes[c] + (r.y - rect.y) * stride + (r.x - rect.x);
    return v;
}

Rect PointNode::extent() const { return inputs()[0]->extent(); }

void PointNode::compute(const TileView& out, std::span<const TileView> inputs) const {
    const TileView& in = inputs[0];
    const bool straight = alpha() == Alpha::Straight;
    for (std::int64_t y = out.rect.y; y < out.rect.maxY(); ++y) {
        float* p[4];
        for (int c = 0; c < 4; ++c) {
            p[c] = out.row(c, y);
            std::memcpy(p[c], in.row(c, y) + (out.rect.x - in.rect.x), sizeof(float) * out.rect.width);
        }
        std::size_t n = std::size_t(out.rect.width);
        if (straight) loops::unpremultiply(p[0], p[1], p[2], p[3], n);
        apply({p[0], p[1], p[2], p[3], n, out.rect.x, y});
        if (straight) loops::premultiply(p[0], p[1], p[2], p[3], n);
    }
}

ConstantNode::ConstantNode(const Color& c) {
    float a = float(c.alpha);
    rgba_[0] = color::srgbToLinear(float(c.red)) * a;
    rgba_[1] = color::srgbToLinear(float(c.green)) * a;
    rgba_[2] = color::srgbToLinear(float(c.blue)) * a;
    rgba_[3] = a;
}

void ConstantNode::compute(const TileView& out, std::span<const TileView>) const {
    for (int c = 0; c < 4; ++c) {
        for (std::int64_t y = out.rect.y; y < out.rect.maxY(); ++y) {
            std::fill_n(out.row(c, y), out.rect.width, rgba_[c]);
        }
    }
}

Rect BitmapNode::extent() const { return {0, 0, double(bitmap_.width()), double(bitmap_.height())}; }

void BitmapNode::compute(const TileView& out, std::span<const TileView>) const {
    const std::size_t bpp = bytesPerPixel(bitmap_.format());
    const std::size_t n = std::size_t(out.rect.width);
    const ColorSpace space = bitmap_.colorSpace();
    for (std::int64_t y = out.rect.y; y < out.rect.maxY(); ++y) {
        const std::uint8_t* src = bitmap_.row(int(bitmap_.height() - 1 - y)) + bpp * out.rect.x;
        float* r = out.row(0, y);
        float* g = out.row(1, y);
        float* b = out.row(2, y);
        float* a = out.row(3, y);
        switch (bitmap_.format()) {
            case PixelFormat::RGBA8:
                color::loadRGBA8(src, n, space, false, r, g, b, a);
                break;
            case PixelFormat::RGBA8Premultiplied: {
                // Undo the premultiplication of the encoded values, then decode.
                const float* lut = color::decodeTable8();
                for (std::size_t i = 0; i < n; ++i) {
                    const std::uint8_t* p = src + 4 * i;
                    unsigned al = p[3];
                    float af = al * (1.0f / 255.0f);
                    float c[3];
                    for (int k = 0; k < 3; ++k) {
                        unsigned s = al ? std::min(255u, (p[k] * 255u + al / 2) / al) : 0u;
                        c[k] = space == ColorSpace::LinearSRGB ? s * (1.0f / 255.0f) : lut[s];
                    }
                    r[i] = c[0] * af, g[i] = c[1] * af, b[i] = c[2] * af, a[i] = af;
                }
                if (space == ColorSpace::DisplayP3) {
                    for (std::size_t i = 0; i < n; ++i) {
                        const float* m = color::kP3ToSRGB;
                        float cr = r[i], cg = g[i], cb = b[i];
                        r[i] = m[0] * cr + m[1] * cg + m[2] * cb;
                        g[i] = m[3] * cr + m[4] * cg + m[5] * cb;
                        b[i] = m[6] * cr + m[7] * cg + m[8] * cb;
                    }
                }
                break;
            }
            case PixelFormat::RGBAHalf:
            case PixelFormat::RGBAFloat: {
                for (std::size_t i = 0; i < n; ++i) {
                    float v[4];
                    if (bitmap_.format() == PixelFormat::RGBAFloat) {
                        std::memcpy(v, src + 16 * i, 16);
                    } else {
                        std::uint16_t h[4];
                        std::memcpy(h, src + 8 * i, 8);
                        for (int k = 0; k < 4; ++k) v[k] = color::halfToFloat(h[k]);
                    }
                    if (space != ColorSpace::LinearSRGB) {
                        float inv = v[3] > 0 ? 1.0f / v[3] : 0.0f;
                        for (int k = 0; k < 3; ++k) v[k] = color::srgbToLinear(v[k] * inv) * v[3];
                    }
                    if (space == ColorSpace::DisplayP3) {
                        const float* m = color::kP3ToSRGB;
                        float cr = v[0], cg = v[1], cb = v[2];
                        v[0] = m[0] * cr + m[1] * cg + m[2] * cb;
                        v[1] = m[3] * cr + m[4] * cg + m[5] * cb;
                        v[2] = m[6] * cr + m[7] * cg + m[8] * cb;
                    }
                    r[i] = v[0], g[i] = v[1], b[i] = v[2], a[i] = v[3];
                }
                break;
            }
        }
    }
}

Rect PixelBufferNode::extent() const {
    return {0, 0, double(buffer_.width), double(buffer_.height)};
}

void PixelBufferNode::compute(const TileView& out, std::span<const TileView>) const {
    for (std::int64_t y = out.rect.y; y < out.rect.maxY(); ++y) {
        const std::uint8_t* src =
            buffer_.data + std::size_t(buffer_.height - 1 - y) * buffer_.bytesPerRow + 4 * out.rect.x;
        color::loadRGBA8(src, std::size_t(out.rect.width), buffer_.colorSpace, true, out.row(0, y),
                         out.row(1, y), out.row(2, y), out.row(3, y));
    }
}

namespace {
// source pixel = (ax X + bx Y + cx, ay X + by Y + cy) for output pixel (X, Y) of orientation o
// applied to a picture covering `e`.
struct OrientationMove {
    std::int64_t ax, bx, cx, ay, by, cy, outW, outH;
};

OrientationMove orientationMove(const PixelRect& e, int o) {
    const std::int64_t W = e.width, H = e.height;
    const bool swap = o >= 5;
    OrientationMove m{};
    m.outW = swap ? H : W;
    m.outH = swap ? W : H;
    // Derived from the display rules of each value with rows measured from the top; see the
    // orientation tests for the 3 x 2 reference.
    switch (o) {
        default:
        case 1: m.ax = 1, m.bx = 0, m.cx = 0, m.ay = 0, m.by = 1, m.cy = 0; break;
        case 2: m.ax = -1, m.bx = 0, m.cx = W - 1, m.ay = 0, m.by = 1, m.cy = 0; break;
        case 3: m.ax = -1, m.bx = 0, m.cx = W - 1, m.ay = 0, m.by = -1, m.cy = H - 1; break;
        case 4: m.ax = 1, m.bx = 0, m.cx = 0, m.ay = 0, m.by = -1, m.cy = H - 1; break;
        case 5: m.ax = 0, m.bx = -1, m.cx = W - 1, m.ay = -1, m.by = 0, m.cy = H - 1; break;
        case 6: m.ax = 0, m.bx = -1, m.cx = W - 1, m.ay = 1, m.by = 0, m.cy = 0; break;
        case 7: m.ax = 0, m.bx = 1, m.cx = 0, m.ay = 1, m.by = 0, m.cy = 0; break;
        case 8: m.ax = 0, m.bx = 1, m.cx = 0, m.ay = -1, m.by = 0, m.cy = H - 1; break;
    }
    m.cx += e.x;
    m.cy += e.y;
    return m;
}
}  // namespace

OrientNode::OrientNode(NodePtr input, int o) : Node({input}) {
    const OrientationMove m = orientationMove(PixelRect::covering(input->extent()), o);
    ax_ = m.ax, bx_ = m.bx, cx_ = m.cx, ay_ = m.ay, by_ = m.by, cy_ = m.cy;
    outW_ = m.outW, outH_ = m.outH;
}

OrientNode::OrientNode(const OrientNode& inner, int o) : Node({inner.inputs()[0]}) {
    // The outer move takes an output pixel to one of inner's, inner's move that to its source
    // pixel. Both matrices hold 0 and +-1 only, one non-zero per row, and so does the product.
    const OrientationMove m = orientationMove({0, 0, inner.outW_, inner.outH_}, o);
    ax_ = inner.ax_ * m.ax + inner.bx_ * m.ay;
    bx_ = inner.ax_ * m.bx + inner.bx_ * m.by;
    cx_ = inner.ax_ * m.cx + inner.bx_ * m.cy + inner.cx_;
    ay_ = inner.ay_ * m.ax + inner.by_ * m.ay;
    by_ = inner.ay_ * m.bx + inner.by_ * m.by;
    cy_ = inner.ay_ * m.cx + inner.by_ * m.cy + inner.cy_;
    outW_ = m.outW, outH_ = m.outH;
}

PixelRect OrientNode::regionOfInterest(std::size_t, const PixelRect& out) const {
    std::int64_t xs[2] = {out.x, out.maxX() - 1}, ys[2] = {out.y, out.maxY() - 1};
    std::int64_t x0 = INT64_MAX, x1 = INT64_MIN, y0 = INT64_MAX, y1 = INT64_MIN;
    for (auto X : xs)
        for (auto Y : ys) {
            std::int64_t sx = ax_ * X + bx_ * Y + cx_, sy = ay_ * X + by_ * Y + cy_;
            x0 = std::min(x0, sx), x1 = std::max(x1, sx), y0 = std::min(y0, sy), y1 = std::max(y1, sy);
        }
    return {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

void OrientNode::compute(const TileView& out, std::span<const TileView> inputs) const {
    const TileView& in = inputs[0];
    for (int c = 0; c < 4; ++c) {
        for (std::int64_t Y = out.rect.y; Y < out.rect.maxY(); ++Y) {
            float* dst = out.row(c, Y);
            if (ay_ == 0) {  // rows stay rows: 1 to 4
                const float* src = in.row(c, by_ * Y + cy_) - in.rect.x;
                if (ax_ == 1) {
                    std::memcpy(dst, src + out.rect.x + cx_, sizeof(float) * out.rect.width);
                } else {
                    for (std::int64_t X = out.rect.x; X < out.rect.maxX(); ++X)
                        dst[X - out.rect.x] = src[cx_ - X];
                }
            } else {  // columns become rows: 5 to 8
                std::int64_t sx = bx_ * Y + cx_;
                const float* col = in.planes[c] + (sx - in.rect.x);
                for (std::int64_t X = out.rect.x; X < out.rect.maxX(); ++X) {
                    std::int64_t sy = ay_ * X + cy_;
                    dst[X - out.rect.x] = col[(sy - in.rect.y) * in.stride];
                }
            }
        }
    }
}

TransformNode::TransformNode(NodePtr input, const AffineTransform& t)
    : Node({input}), inverse_(t.inverted()), extent_(t.apply(input->extent())) {}

PixelRect TransformNode::regionOfInterest(std::size_t, const PixelRect& out) const {
    Rect src = inverse_.apply(out.rect());
    return PixelRect::covering(src).outset(1, 1);
}

void TransformNode::compute(const TileView& out, std::span<const TileView> inputs) const {
    const TileView& in = inputs[0];
    const AffineTransform& m = inverse_;
    const std::int64_t ix0 = in.rect.x, iy0 = in.rect.y, ix1 = in.rect.maxX(), iy1 = in.rect.maxY();
    auto fetch = [&](int c, std::int64_t x, std::int64_t y) -> float {
        if (x < ix0 || x >= ix1 || y < iy0 || y >= iy1) return 0.0f;
        return in.planes[c][(y - iy0) * in.stride + (x - ix0)];
    };
    for (std::int64_t Y = out.rect.y; Y < out.rect.maxY(); ++Y) {
        const double yc = double(Y) + 0.5;
        float* d[4] = {out.row(0, Y), out.row(1, Y), out.row(2, Y), out.row(3, Y)};
        for (std::int64_t X = out.rect.x; X < out.rect.maxX(); ++X) {
            const double xc = double(X) + 0.5;
            // Pixel-index coordinates of the sample: centre of pixel k is k + 0.5.
            double u = m.a * xc + m.c * yc + m.tx - 0.5;
            double v = m.b * xc + m.d * yc + m.ty - 0.5;
            double fu = std::floor(u), fv = std::floor(v);
            std::int64_t i = std::int64_t(fu), j = std::int64_t(fv);
            float wx = float(u - fu), wy = float(v - fv);
            float w00 = (1 - wx) * (1 - wy), w10 = wx * (1 - wy), w01 = (1 - wx) * wy, w11 = wx * wy;
            for (int c = 0; c < 4; ++c) {
                float s = fetch(c, i, j) * w00;
                if (w10 != 0.0f) s += fetch(c, i + 1, j) * w10;
                if (w01 != 0.0f) s += fetch(c, i, j + 1) * w01;
                if (w11 != 0.0f) s += fetch(c, i + 1, j + 1) * w11;
                d[c][X - out.rect.x] = s;
            }
        }
    }
}

CropNode::CropNode(NodePtr input, const Rect& rect)
    : Node({input}), rect_(rect), extent_(input->extent().intersection(rect)) {}

void CropNode::compute(const TileView& out, std::span<const TileView> inputs) const {
    const TileView& in = inputs[0];
    // Coverage of each pixel by the crop rectangle: 1 inside, a fraction on fractional edges.
    auto coverage = [](std::int64_t p, double lo, double hi) {
        double c = std::min(double(p + 1), hi) - std::max(double(p), lo);
        return float(std::clamp(c, 0.0, 1.0));
    };
    const bool inf = rect_.isInfinite();
    std::vector<float> wx(std::size_t(out.rect.width), 1.0f);
    bool allOne = true;
    if (!inf) {
        for (std::int64_t X = out.rect.x; X < out.rect.maxX(); ++X) {
            wx[X - out.rect.x] = coverage(X, rect_.minX(), rect_.maxX());
            allOne &= wx[X - out.rect.x] == 1.0f;
        }
    }
    for (std::int64_t Y = out.rect.y; Y < out.rect.maxY(); ++Y) {
        float wy = inf ? 1.0f : coverage(Y, rect_.minY(), rect_.maxY());
        for (int c = 0; c < 4; ++c) {
            const float* s = in.row(c, Y) + (out.rect.x - in.rect.x);
            float* d = out.row(c, Y);
            if (allOne && wy == 1.0f) {
                std::memcpy(d, s, sizeof(float) * out.rect.width);
            } else {
                for (std::int64_t i = 0; i < out.rect.width; ++i) d[i] = s[i] * (wx[i] * wy);
            }
        }
    }
}

Rect SourceOverNode::extent() const {
    return inputs()[0]->extent().unionWith(inputs()[1]->extent());
}

void SourceOverNode::compute(const TileView& out, std::span<const TileView> inputs) const {
    const TileView& f = inputs[0];
    const TileView& b = inputs[1];
    const std::size_t n = std::size_t(out.rect.width);
    for (std::int64_t Y = out.rect.y; Y < out.rect.maxY(); ++Y) {
        const float* fa = f.row(3, Y);
        for (int c = 0; c < 4; ++c) {
            const float* fs = f.row(c, Y);
            const float* bs = b.row(c, Y);
            float* d = out.row(c, Y);
            for (std::size_t i = 0; i < n; ++i) d[i] = fs[i] + bs[i] * (1.0f - fa[i]);
        }
    }
}

}  // namespace sorvel::image
