#include "Symbols.h"

#include <QPainterPath>
#include <QPainterPathStroker>
#include <QTransform>
#include <QtMath>
#include <cmath>
#include <map>
#include <utility>

namespace sorvel {

namespace {

// Every symbol is designed on a 24 x 24 grid and returned as one filled region: strokes are
// turned into outlines and united, so a translucent tint covers overlaps once instead of
// darkening them. Shapes keep one grid unit clear of the edge for the antialiased rim.
constexpr double kGrid = 24;
constexpr double kLine = 1.8;
// Boolean path operations flatten curves with a tolerance fixed in path units; on the bare
// grid that leaves visible facets at button sizes, so shapes are united at 64 times the grid.
constexpr double kUnits = 64;

QPainterPath up(const QPainterPath& gridPath) { return QTransform::fromScale(kUnits, kUnits).map(gridPath); }

QPainterPath outline(const QPainterPath& gridPath, double width = kLine) {
    QPainterPathStroker stroker;
    stroker.setWidth(width * kUnits);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(up(gridPath));
}

QPainterPath line(QPointF a, QPointF b, double width = kLine) {
    QPainterPath p(a);
    p.lineTo(b);
    return outline(p, width);
}

QPainterPath polyline(std::initializer_list<QPointF> points, double width = kLine) {
    QPainterPath p;
    bool first = true;
    for (QPointF pt : points) {
        if (first) p.moveTo(pt);
        else p.lineTo(pt);
        first = false;
    }
    return outline(p, width);
}

QPainterPath unite(std::initializer_list<QPainterPath> parts) {
    QPainterPath all;
    all.setFillRule(Qt::WindingFill);
    for (const QPainterPath& p : parts) all = all.united(p);
    return all;
}

QPointF polar(QPointF centre, double radius, double degrees) {
    double a = qDegreesToRadians(degrees);
    return centre + QPointF(radius * std::cos(a), radius * std::sin(a));
}

// A four-pointed sparkle: long points on the axes, a narrow waist on the diagonals.
QPainterPath sparkle(QPointF c, double r) {
    QPainterPath p;
    double w = r * 0.26;
    p.moveTo(c + QPointF(0, -r));
    p.quadTo(c + QPointF(w, -w), c + QPointF(r, 0));
    p.quadTo(c + QPointF(w, w), c + QPointF(0, r));
    p.quadTo(c + QPointF(-w, w), c + QPointF(-r, 0));
    p.quadTo(c + QPointF(-w, -w), c + QPointF(0, -r));
    p.closeSubpath();
    return up(p);
}

// A filled arrowhead whose tip lies `length` ahead of `base` in direction `dir` (unit vector).
QPainterPath arrowhead(QPointF base, QPointF dir, double length, double halfWidth) {
    QPointF normal(-dir.y(), dir.x());
    QPainterPath p(base + dir * length);
    p.lineTo(base + normal * halfWidth);
    p.lineTo(base - normal * halfWidth);
    p.closeSubpath();
    return up(p);
}

QPainterPath gearshape() {
    // Eight teeth, each wider at the root than at the tip, around a round hole.
    const QPointF c(12, 12);
    const double tip = 10.6, root = 8.0;
    QPainterPath gear;
    for (int i = 0; i < 8; ++i) {
        double a = i * 45.0;
        QPointF points[] = {polar(c, root, a - 14), polar(c, tip, a - 8), polar(c, tip, a + 8), polar(c, root, a + 14),
                            polar(c, root, a + 22.5)};
        if (i == 0) gear.moveTo(points[0]);
        else gear.lineTo(points[0]);
        for (int k = 1; k < 5; ++k) gear.lineTo(points[k]);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, 3.6, 3.6);
    return up(gear).subtracted(up(hole));
}

QPainterPath stopwatch() {
    const QPointF c(12, 13.6);
    QPainterPath dial;
    dial.addEllipse(c, 8.2, 8.2);
    QPainterPath crown;
    crown.addRoundedRect(QRectF(9.6, 1.6, 4.8, 2.2), 0.8, 0.8);
    QPainterPath centre;
    centre.addEllipse(c, 1.5, 1.5);
    return unite({outline(dial), up(crown), line(QPointF(12, 3.6), QPointF(12, 5.4)),
                  line(polar(c, 8.6, -45), polar(c, 10.2, -45)), line(c, polar(c, 5.6, -60)), up(centre)});
}

QPainterPath xmark() {
    return unite({line(QPointF(5, 5), QPointF(19, 19), 2.2), line(QPointF(19, 5), QPointF(5, 19), 2.2)});
}

QPainterPath wandAndStars() {
    QPainterPath handle = line(QPointF(3.5, 20.5), QPointF(13.2, 10.8), 2.4);
    // The wand's tip is a separate, slightly wider segment with a gap, as a capped wand reads.
    QPainterPath tipPart = line(QPointF(14.6, 9.4), QPointF(16.8, 7.2), 3.0);
    return unite({handle, tipPart, sparkle(QPointF(18.6, 14.0), 3.4), sparkle(QPointF(9.4, 5.2), 3.0),
                  sparkle(QPointF(19.8, 3.6), 2.2)});
}

QPainterPath sliderHorizontal3() {
    // Three tracks with a ring knob on each at a different position; the track stops at the ring.
    const double knob = 2.5;
    QPainterPath all;
    const std::pair<double, double> rows[] = {{6, 15.5}, {12, 8.0}, {18, 13.0}};
    for (auto [y, x] : rows) {
        QPainterPath ring;
        ring.addEllipse(QPointF(x, y), knob, knob);
        all = all.united(outline(ring));
        all = all.united(line(QPointF(3, y), QPointF(x - knob, y)));
        all = all.united(line(QPointF(x + knob, y), QPointF(21, y)));
    }
    return all;
}

QPainterPath trash() {
    QPainterPath can(QPointF(6.2, 6.6));
    can.lineTo(QPointF(7.2, 19.2));
    can.quadTo(QPointF(7.35, 21.0), QPointF(9.2, 21.0));
    can.lineTo(QPointF(14.8, 21.0));
    can.quadTo(QPointF(16.65, 21.0), QPointF(16.8, 19.2));
    can.lineTo(QPointF(17.8, 6.6));
    return unite({line(QPointF(3.8, 5.4), QPointF(20.2, 5.4)),
                  polyline({QPointF(9.3, 5.0), QPointF(9.9, 2.8), QPointF(14.1, 2.8), QPointF(14.7, 5.0)}),
                  outline(can), line(QPointF(10.2, 9.4), QPointF(10.5, 17.6), 1.5),
                  line(QPointF(13.8, 9.4), QPointF(13.5, 17.6), 1.5)});
}

QPainterPath cameraWithCirclingArrows() {
    QPainterPath body;
    body.moveTo(QPointF(8.0, 6.6));
    body.lineTo(QPointF(9.4, 4.2));
    body.lineTo(QPointF(14.6, 4.2));
    body.lineTo(QPointF(16.0, 6.6));
    body.lineTo(QPointF(19.4, 6.6));
    body.quadTo(QPointF(21.6, 6.6), QPointF(21.6, 8.8));
    body.lineTo(QPointF(21.6, 18.4));
    body.quadTo(QPointF(21.6, 20.6), QPointF(19.4, 20.6));
    body.lineTo(QPointF(4.6, 20.6));
    body.quadTo(QPointF(2.4, 20.6), QPointF(2.4, 18.4));
    body.lineTo(QPointF(2.4, 8.8));
    body.quadTo(QPointF(2.4, 6.6), QPointF(4.6, 6.6));
    body.closeSubpath();

    // Two arcs chasing each other round the lens, each ending in an arrowhead. Angles grow
    // clockwise on screen (y points down).
    const QPointF c(12, 13.6);
    const double r = 4.2;
    QPainterPath arrows;
    for (double start : {200.0, 20.0}) {
        const double sweep = 120;
        QPainterPath arc(polar(c, r, start));
        for (int k = 1; k <= 16; ++k) arc.lineTo(polar(c, r, start + sweep * k / 16));
        double end = qDegreesToRadians(start + sweep);
        QPointF tangent(-std::sin(end), std::cos(end));
        arrows = arrows.united(outline(arc, 1.6)).united(arrowhead(polar(c, r, start + sweep), tangent, 2.2, 2.0));
    }
    return outline(body).united(arrows);
}

QPainterPath oneSquare() {
    QPainterPath box;
    box.addRoundedRect(QRectF(3, 3, 18, 18), 4.5, 4.5);
    return unite({outline(box), polyline({QPointF(9.6, 9.0), QPointF(12.6, 7.0), QPointF(12.6, 17.0)}, 2.0),
                  line(QPointF(9.8, 17.0), QPointF(15.4, 17.0), 2.0)});
}

QPainterPath binoculars() {
    auto rounded = [](QRectF r, double radius) {
        QPainterPath p;
        p.addRoundedRect(r, radius, radius);
        return up(p);
    };
    QPainterPath body = unite({rounded(QRectF(2.2, 9.0, 8.6, 12.2), 3.2), rounded(QRectF(13.2, 9.0, 8.6, 12.2), 3.2),
                               rounded(QRectF(4.2, 3.4, 5.0, 7.0), 1.4), rounded(QRectF(14.8, 3.4, 5.0, 7.0), 1.4),
                               rounded(QRectF(10.0, 11.2, 4.0, 4.4), 0.8)});
    QPainterPath lenses;
    lenses.addEllipse(QPointF(6.5, 16.8), 2.3, 2.3);
    lenses.addEllipse(QPointF(17.5, 16.8), 2.3, 2.3);
    return body.subtracted(up(lenses));
}

QPainterPath arrowsOutward() {
    // Each arrow is a shaft and an open right-angled head at the corner it points to.
    return unite({line(QPointF(10.2, 10.2), QPointF(4.4, 4.4), 2.0),
                  polyline({QPointF(4.2, 10.4), QPointF(4.2, 4.2), QPointF(10.4, 4.2)}, 2.0),
                  line(QPointF(13.8, 13.8), QPointF(19.6, 19.6), 2.0),
                  polyline({QPointF(19.8, 13.6), QPointF(19.8, 19.8), QPointF(13.6, 19.8)}, 2.0)});
}

using Builder = QPainterPath (*)();

const std::vector<std::pair<QString, Builder>>& table() {
    static const std::vector<std::pair<QString, Builder>> symbols = {
        {QStringLiteral("gearshape"), gearshape},
        {QStringLiteral("stopwatch"), stopwatch},
        {QStringLiteral("xmark"), xmark},
        {QStringLiteral("wand.and.stars"), wandAndStars},
        {QStringLiteral("slider.horizontal.3"), sliderHorizontal3},
        {QStringLiteral("trash"), trash},
        {QStringLiteral("arrow.triangle.2.circlepath.camera"), cameraWithCirclingArrows},
        {QStringLiteral("1.square"), oneSquare},
        {QStringLiteral("binoculars"), binoculars},
        {QStringLiteral("arrow.up.left.and.arrow.down.right"), arrowsOutward},
    };
    return symbols;
}

Builder find(const QString& name) {
    for (const auto& [n, build] : table())
        if (n == name) return build;
    return nullptr;
}

// The united outlines cost far more than filling them, and a bouncing button repaints every
// frame, so each symbol's region is built once. Main thread only, like all painting.
const QPainterPath* region(const QString& name) {
    static std::map<QString, QPainterPath> built;
    if (auto it = built.find(name); it != built.end()) return &it->second;
    Builder build = find(name);
    if (!build) return nullptr;
    return &built.emplace(name, build()).first->second;
}

}  // namespace

bool hasSymbol(const QString& name) { return find(name) != nullptr; }

QStringList symbolNames() {
    QStringList names;
    for (const auto& entry : table()) names << entry.first;
    return names;
}

bool drawSymbol(QPainter& painter, const QString& name, const QRectF& rect, const QColor& tint) {
    const QPainterPath* path = region(name);
    if (!path) return false;
    double side = std::min(rect.width(), rect.height());
    if (!(side > 0)) return true;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(rect.center());
    painter.scale(side / (kGrid * kUnits), side / (kGrid * kUnits));
    painter.translate(-kGrid * kUnits / 2, -kGrid * kUnits / 2);
    painter.setPen(Qt::NoPen);
    painter.fillPath(*path, tint);
    painter.restore();
    return true;
}

QImage symbolImage(const QString& name, QSizeF points, const QColor& tint, double scale) {
    if (!hasSymbol(name) || !(points.width() > 0) || !(points.height() > 0) || !(scale > 0)) return {};
    double w = std::ceil(points.width() * scale), h = std::ceil(points.height() * scale);
    // A symbol is a few hundred pixels at most; refuse sizes that would be absurd allocations.
    if (w > 4096 || h > 4096) return {};
    QImage image(static_cast<int>(w), static_cast<int>(h), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(scale);
    QPainter p(&image);
    drawSymbol(p, name, QRectF(QPointF(0, 0), points), tint);
    return image;
}

}  // namespace sorvel
