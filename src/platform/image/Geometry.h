#pragma once
// Geometry of the image framework. Coordinates are pixels, origin bottom-left, y up.
// Pixel (i, j) covers [i, i+1) x [j, j+1); its centre is (i + 0.5, j + 0.5).

#include <cmath>
#include <cstdint>
#include <limits>

namespace sorvel::image {

struct Point {
    double x = 0, y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0, height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// A rectangle with double precision. An infinite rectangle covers the plane (constant colours
// and their filters); an empty one has no area (width or height <= 0).
struct Rect {
    double x = 0, y = 0, width = 0, height = 0;

    static Rect infinite();
    static Rect empty() { return Rect{}; }

    bool isInfinite() const;
    bool isEmpty() const { return !(width > 0) || !(height > 0); }
    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }

    Rect intersection(const Rect& other) const;  // empty when they do not overlap
    Rect unionWith(const Rect& other) const;     // empty rectangles are ignored
    // Smallest rectangle of whole pixels that contains this one. Edges within 1e-6 of a whole
    // number snap to it, so 0.5 x 3 = 1.4999999999 does not grow a column.
    Rect integral() const;
    Rect insetBy(double dx, double dy) const;
    Rect offsetBy(double dx, double dy) const { return {x + dx, y + dy, width, height}; }
    bool contains(const Rect& other) const;

    friend bool operator==(const Rect&, const Rect&) = default;
};

// x' = a x + c y + tx, y' = b x + d y + ty (the platform's affine-transform layout).
struct AffineTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    static AffineTransform identity() { return {}; }
    static AffineTransform translation(double dx, double dy) { return {1, 0, 0, 1, dx, dy}; }
    static AffineTransform scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    static AffineTransform rotation(double radians);  // counter-clockwise, y up

    // this, then `next`
    AffineTransform concatenating(const AffineTransform& next) const;
    bool isInvertible() const { return std::fabs(a * d - b * c) > 1e-12; }
    AffineTransform inverted() const;  // identity when not invertible
    Point apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
    // Bounding box of the transformed rectangle (infinite stays infinite, empty stays empty).
    Rect apply(const Rect& r) const;

    friend bool operator==(const AffineTransform&, const AffineTransform&) = default;
};

// A rectangle of whole pixels, the renderer's unit of work.
struct PixelRect {
    std::int64_t x = 0, y = 0, width = 0, height = 0;

    bool isEmpty() const { return width <= 0 || height <= 0; }
    std::int64_t maxX() const { return x + width; }
    std::int64_t maxY() const { return y + height; }
    PixelRect intersection(const PixelRect& o) const;
    PixelRect outset(std::int64_t dx, std::int64_t dy) const {
        return {x - dx, y - dy, width + 2 * dx, height + 2 * dy};
    }
    // Whole pixels covering `r` (see Rect::integral); infinite rectangles clamp to +-2^40.
    static PixelRect covering(const Rect& r);
    Rect rect() const { return {double(x), double(y), double(width), double(height)}; }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

}  // namespace sorvel::image
