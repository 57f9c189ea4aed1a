#include "Slider.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace sorvel {

void Slider::setRange(float minimum, float maximum) {
    if (!std::isfinite(minimum) || !std::isfinite(maximum)) return;
    if (maximum < minimum) std::swap(minimum, maximum);
    minimum_ = minimum;
    maximum_ = maximum;
    storeValue(value_);
}

void Slider::setMinimumValue(float minimum) { setRange(minimum, std::max(minimum, maximum_)); }

void Slider::setMaximumValue(float maximum) { setRange(std::min(minimum_, maximum), maximum); }

void Slider::setValue(float value) { storeValue(value); }

void Slider::storeValue(float value) {
    if (std::isnan(value)) return;
    value_ = std::clamp(value, minimum_, maximum_);
    update();
}

void Slider::addAction(std::string name, Action action) { actions_.add(std::move(name), std::move(action)); }

void Slider::sendActions() { actions_.send(); }

void Slider::setMinimumTrackTintColor(const QColor& c) {
    minimumTrack_ = c;
    update();
}
void Slider::setMaximumTrackTintColor(const QColor& c) {
    maximumTrack_ = c;
    update();
}
void Slider::setThumbTintColor(const QColor& c) {
    thumb_ = c;
    update();
}

void Slider::setThumbImage(const QImage& image) {
    thumbImage_ = image;
    update();
}

void Slider::setDrawingScale(double sx, double sy) {
    if (!(sx > 0) || !(sy > 0)) return;
    drawingScale_ = QPointF(sx, sy);
    update();
}

double Slider::thumbRadius() const {
    if (!thumbImage_.isNull()) return thumbImage_.deviceIndependentSize().width() * drawingScale_.x() / 2;
    return std::min(14.0, height() / 2.0);
}

float Slider::valueAtX(double x) const {
    // The thumb's centre travels between one radius from each end.
    double r = thumbRadius();
    double travel = width() - 2 * r;
    if (travel <= 0) return minimum_;
    double f = std::clamp((x - r) / travel, 0.0, 1.0);
    return static_cast<float>(minimum_ + f * (maximum_ - minimum_));
}

void Slider::userMovedTo(double x) {
    float v = valueAtX(x);
    if (v == value_) return;
    setValue(v);
    sendActions();
}

void Slider::paintEvent(QPaintEvent* event) {
    View::paintEvent(event);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // Where things lie on screen: the thumb's centre travels between r from each end.
    const double r = thumbRadius();
    const double cy = height() / 2.0;
    const double span = maximum_ - minimum_;
    const double f = span > 0 ? (value_ - minimum_) / span : 0;
    double left = r, right = std::max(r, width() - r);
    double x = left + f * (right - left);
    double radius = r;
    const double track = 4;
    if (drawingScale_ != QPointF(1, 1)) {
        // Drawn in unscaled coordinates about the centre, so positions are mapped back.
        const QPointF c(width() / 2.0, cy);
        p.translate(c);
        p.scale(drawingScale_.x(), drawingScale_.y());
        p.translate(-c);
        auto unscaled = [&](double screenX) { return c.x() + (screenX - c.x()) / drawingScale_.x(); };
        left = unscaled(left), right = unscaled(right), x = unscaled(x);
        radius = r / drawingScale_.x();
    }
    p.setPen(Qt::NoPen);
    p.setBrush(maximumTrack_);
    p.drawRoundedRect(QRectF(left, cy - track / 2, right - left, track), track / 2, track / 2);
    p.setBrush(minimumTrack_);
    p.drawRoundedRect(QRectF(left, cy - track / 2, x - left, track), track / 2, track / 2);
    if (!thumbImage_.isNull()) {
        const QSizeF size = thumbImage_.deviceIndependentSize();
        p.drawImage(QRectF(x - size.width() / 2, cy - size.height() / 2, size.width(), size.height()), thumbImage_);
        return;
    }
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawEllipse(QPointF(x, cy + 1), radius, radius);
    p.setBrush(thumb_);
    p.drawEllipse(QPointF(x, cy), radius - 0.5, radius - 0.5);
}

void Slider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled()) return View::mousePressEvent(event);
    tracking_ = true;
    userMovedTo(event->position().x());
    event->accept();
}

void Slider::mouseMoveEvent(QMouseEvent* event) {
    if (!tracking_) return View::mouseMoveEvent(event);
    userMovedTo(event->position().x());
    event->accept();
}

void Slider::mouseReleaseEvent(QMouseEvent* event) {
    if (!tracking_) return View::mouseReleaseEvent(event);
    tracking_ = false;
    userMovedTo(event->position().x());
    event->accept();
}

}  // namespace sorvel
