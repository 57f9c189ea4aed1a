#include "Layer.h"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "ImageBlur.h"
#include "View.h"
#include "platform/foundation/Clock.h"

namespace sorvel {

namespace {

// The same ease-in-ease-out progress as view animations, as a smoothstep: close enough for a
// colour that drifts over seconds.
double eased(double t) { return t * t * (3 - 2 * t); }

QColor mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t),
                            static_cast<float>(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

}  // namespace

Layer::~Layer() = default;

void Layer::setFrame(const QRectF& frame) {
    frame_ = frame;
    setNeedsDisplay();
}

void Layer::setHidden(bool hidden) {
    hidden_ = hidden;
    setNeedsDisplay();
}

void Layer::setOpacity(double opacity) {
    opacity_ = std::clamp(opacity, 0.0, 1.0);
    setNeedsDisplay();
}

void Layer::setShadow(const QColor& color, double opacity, double radius, QPointF offset) {
    shadowColor_ = color;
    shadowOpacity_ = std::clamp(opacity, 0.0, 1.0);
    shadowRadius_ = std::max(0.0, radius);
    shadowOffset_ = offset;
    setNeedsDisplay();
}

void Layer::removeFromSuperlayer() {
    if (host_) host_->removeSublayer(this);
}

void Layer::setNeedsDisplay() {
    if (host_) host_->sublayersChanged();
}

void Layer::animationStarted() {
    if (host_) host_->sublayerAnimationStarted();
}

QRectF Layer::drawnBounds() const {
    QRectF content = contentBounds().translated(frame_.topLeft());
    if (shadowOpacity_ <= 0 || shadowColor_.alpha() == 0) return content;
    double spread = shadowRadius_ * 1.5 + 1;
    QRectF shadow = content.translated(shadowOffset_).adjusted(-spread, -spread, spread, spread);
    return content.united(shadow);
}

void Layer::render(QPainter& painter) const {
    if (hidden_ || opacity_ <= 0) return;
    painter.save();
    painter.setOpacity(painter.opacity() * opacity_);
    if (shadowOpacity_ > 0 && shadowColor_.alpha() > 0) {
        // The shadow is the blurred alpha of the drawing, so a stroked frame casts a stroked
        // shadow rather than a filled box.
        QRectF content = contentBounds();
        double spread = std::ceil(shadowRadius_ * 1.5 + 1);
        QRect area = content.adjusted(-spread, -spread, spread, spread).toAlignedRect();
        if (area.width() > 0 && area.height() > 0 && area.width() * qint64(area.height()) < 64'000'000) {
            QImage drawing(area.size(), QImage::Format_ARGB32_Premultiplied);
            drawing.fill(Qt::transparent);
            {
                QPainter p(&drawing);
                p.setRenderHint(QPainter::Antialiasing);
                p.translate(-area.topLeft());
                draw(p);
            }
            QImage shadow = shadowImage(drawing, shadowColor_, shadowOpacity_, shadowRadius_);
            painter.drawImage(frame_.topLeft() + QPointF(area.topLeft()) + shadowOffset_, shadow);
        }
    }
    painter.translate(frame_.topLeft());
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    painter.restore();
}

QPainterPath ShapeLayer::roundedRectPath(const QRectF& rect, double cornerRadius) {
    QPainterPath path;
    double r = std::clamp(cornerRadius, 0.0, std::min(rect.width(), rect.height()) / 2);
    path.addRoundedRect(rect, r, r);
    return path;
}

void ShapeLayer::setPath(const QPainterPath& path) {
    path_ = path;
    setNeedsDisplay();
}
void ShapeLayer::setFillColor(const QColor& c) {
    fill_ = c;
    setNeedsDisplay();
}
void ShapeLayer::setStrokeColor(const QColor& c) {
    stroke_ = c;
    setNeedsDisplay();
}
void ShapeLayer::setLineWidth(double w) {
    lineWidth_ = std::max(0.0, w);
    setNeedsDisplay();
}
void ShapeLayer::setFillRule(FillRule rule) {
    fillRule_ = rule;
    setNeedsDisplay();
}

QRectF ShapeLayer::contentBounds() const {
    double half = stroke_.alpha() > 0 ? lineWidth_ / 2 + 1 : 1;
    return path_.boundingRect().adjusted(-half, -half, half, half);
}

void ShapeLayer::draw(QPainter& painter) const {
    QPainterPath path = path_;
    path.setFillRule(fillRule_ == FillRule::EvenOdd ? Qt::OddEvenFill : Qt::WindingFill);
    if (fill_.alpha() > 0) painter.fillPath(path, fill_);
    if (stroke_.alpha() > 0 && lineWidth_ > 0) {
        QPen pen(stroke_, lineWidth_);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.strokePath(path, pen);
    }
}

void GradientLayer::setColors(std::vector<QColor> colors) {
    colors_ = std::move(colors);
    setNeedsDisplay();
}
void GradientLayer::setLocations(std::vector<double> locations) {
    locations_ = std::move(locations);
    setNeedsDisplay();
}
void GradientLayer::setStartPoint(QPointF p) {
    start_ = p;
    setNeedsDisplay();
}
void GradientLayer::setEndPoint(QPointF p) {
    end_ = p;
    setNeedsDisplay();
}

void GradientLayer::addColorsAnimation(const QString& key, std::vector<QColor> to, double duration, bool autoreverses,
                                       RepeatCount repeat) {
    if (to.size() != colors_.size() || !(duration > 0) || !(repeat.count > 0)) return;
    ColorsAnimation a{presentationColors(), std::move(to), Clock::current().now(), duration, autoreverses, repeat.count};
    animations_[key] = std::move(a);
    animationStarted();
    setNeedsDisplay();
}

void GradientLayer::removeAnimation(const QString& key) {
    animations_.erase(key);
    setNeedsDisplay();
}

QStringList GradientLayer::animationKeys() const {
    double now = Clock::current().now();
    QStringList keys;
    for (const auto& [key, a] : animations_)
        if (now < a.end()) keys << key;
    return keys;
}

bool GradientLayer::isAnimating(double now) const {
    for (const auto& [key, a] : animations_)
        if (now < a.end()) return true;
    return false;
}

std::vector<QColor> GradientLayer::presentationColors() const {
    double now = Clock::current().now();
    const ColorsAnimation* shown = nullptr;
    for (const auto& [key, a] : animations_)
        if (now < a.end() && a.to.size() == colors_.size()) shown = &a;
    if (!shown) return colors_;
    // Position within one cycle: forward, then (auto-reversing) back.
    double elapsed = std::max(0.0, now - shown->start);
    double cycle = shown->duration * (shown->autoreverses ? 2 : 1);
    double within = std::fmod(elapsed, cycle) / shown->duration;
    double t = within <= 1 ? within : 2 - within;
    t = eased(std::clamp(t, 0.0, 1.0));
    std::vector<QColor> out;
    for (std::size_t i = 0; i < colors_.size(); ++i) out.push_back(mix(shown->from[i], shown->to[i], t));
    return out;
}

void GradientLayer::draw(QPainter& painter) const {
    std::vector<QColor> colors = presentationColors();
    if (colors.empty()) return;
    QSizeF s = frame().size();
    QLinearGradient g(QPointF(start_.x() * s.width(), start_.y() * s.height()),
                      QPointF(end_.x() * s.width(), end_.y() * s.height()));
    for (std::size_t i = 0; i < colors.size(); ++i) {
        double at = i < locations_.size() ? locations_[i]
                                          : (colors.size() == 1 ? 0.0 : double(i) / double(colors.size() - 1));
        g.setColorAt(std::clamp(at, 0.0, 1.0), colors[i]);
    }
    painter.fillRect(QRectF(QPointF(), s), g);
}

}  // namespace sorvel
