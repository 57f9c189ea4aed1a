#include "platform/image/Geometry.h"

#include <algorithm>

namespace sorvel::image {

namespace {
// The platform's infinite rectangle: origin -max/2, size max.
constexpr double kInfOrigin = -std::numeric_limits<double>::max() / 2;
constexpr double kInfSize = std::numeric_limits<double>::max();
constexpr double kSnap = 1e-6;
constexpr std::int64_t kPixelLimit = std::int64_t(1) << 40;

double snapFloor(double v) {
    double r = std::round(v);
    return std::fabs(v - r) < kSnap ? r : std::floor(v);
}
double snapCeil(double v) {
    double r = std::round(v);
    return std::fabs(v - r) < kSnap ? r : std::ceil(v);
}
}  // namespace

Rect Rect::infinite() { return {kInfOrigin, kInfOrigin, kInfSize, kInfSize}; }

bool Rect::isInfinite() const { return width >= kInfSize * 0.5 || height >= kInfSize * 0.5; }

Rect Rect::intersection(const Rect& o) const {
    if (isEmpty() || o.isEmpty()) return empty();
    if (isInfinite()) return o;
    if (o.isInfinite()) return *this;
    double x0 = std::max(x, o.x), y0 = std::max(y, o.y);
    double x1 = std::min(maxX(), o.maxX()), y1 = std::min(maxY(), o.maxY());
    if (x1 <= x0 || y1 <= y0) return empty();
    return {x0, y0, x1 - x0, y1 - y0};
}

Rect Rect::unionWith(const Rect& o) const {
    if (isEmpty()) return o.isEmpty() ? empty() : o;
    if (o.isEmpty()) return *this;
    if (isInfinite() || o.isInfinite()) return infinite();
    double x0 = std::min(x, o.x), y0 = std::min(y, o.y);
    double x1 = std::max(maxX(), o.maxX()), y1 = std::max(maxY(), o.maxY());
    return {x0, y0, x1 - x0, y1 - y0};
}

Rect Rect::integral() const {
    if (isEmpty() || isInfinite()) return *this;
    double x0 = snapFloor(x), y0 = snapFloor(y), x1 = snapCeil(maxX()), y1 = snapCeil(maxY());
    return {x0, y0, x1 - x0, y1 - y0};
}

Rect Rect::insetBy(double dx, double dy) const {
    if (isInfinite() || isEmpty()) return *this;
    Rect r{x + dx, y + dy, width - 2 * dx, height - 2 * dy};
    return r.isEmpty() ? empty() : r;
}

bool Rect::contains(const Rect& o) const {
    if (o.isEmpty()) return true;
    if (isInfinite()) return true;
    if (o.isInfinite() || isEmpty()) return false;
    return o.x >= x && o.y >= y && o.maxX() <= maxX() && o.maxY() <= maxY();
}

AffineTransform AffineTransform::rotation(double radians) {
    double c = std::cos(radians), s = std::sin(radians);
    return {c, s, -s, c, 0, 0};
}

AffineTransform AffineTransform::concatenating(const AffineTransform& n) const {
    // p' = n(this(p))
    return {a * n.a + b * n.c,        a * n.b + b * n.d,        c * n.a + d * n.c,
            c * n.b + d * n.d,        tx * n.a + ty * n.c + n.tx, tx * n.b + ty * n.d + n.ty};
}

AffineTransform AffineTransform::inverted() const {
    double det = a * d - b * c;
    if (std::fabs(det) <= 1e-12) return identity();
    double ia = d / det, ib = -b / det, ic = -c / det, id = a / det;
    return {ia, ib, ic, id, -(ia * tx + ic * ty), -(ib * tx + id * ty)};
}

Rect AffineTransform::apply(const Rect& r) const {
    if (r.isEmpty() || r.isInfinite()) return r;
    Point p[4] = {apply(Point{r.minX(), r.minY()}), apply(Point{r.maxX(), r.minY()}),
                  apply(Point{r.minX(), r.maxY()}), apply(Point{r.maxX(), r.maxY()})};
    double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
    for (const Point& q : p) {
        x0 = std::min(x0, q.x), x1 = std::max(x1, q.x);
        y0 = std::min(y0, q.y), y1 = std::max(y1, q.y);
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

PixelRect PixelRect::intersection(const PixelRect& o) const {
    std::int64_t x0 = std::max(x, o.x), y0 = std::max(y, o.y);
    std::int64_t x1 = std::min(maxX(), o.maxX()), y1 = std::min(maxY(), o.maxY());
    if (x1 <= x0 || y1 <= y0) return {};
    return {x0, y0, x1 - x0, y1 - y0};
}

PixelRect PixelRect::covering(const Rect& r) {
    if (r.isEmpty()) return {};
    if (r.isInfinite()) return {-kPixelLimit, -kPixelLimit, 2 * kPixelLimit, 2 * kPixelLimit};
    auto clampD = [](double v) {
        return std::clamp(v, double(-kPixelLimit), double(kPixelLimit));
    };
    double x0 = clampD(snapFloor(r.x)), y0 = clampD(snapFloor(r.y));
    double x1 = clampD(snapCeil(r.maxX())), y1 = clampD(snapCeil(r.maxY()));
    PixelRect p{std::int64_t(x0), std::int64_t(y0), std::int64_t(x1 - x0), std::int64_t(y1 - y0)};
    return p.isEmpty() ? PixelRect{} : p;
}

}  // namespace sorvel::image
