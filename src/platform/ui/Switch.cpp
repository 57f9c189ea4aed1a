#include "Switch.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "GestureDriver.h"
#include "platform/foundation/Clock.h"

namespace sorvel {

Switch::Switch(QWidget* parent) : View(QRectF(0, 0, kWidth, kHeight), parent) {}

Switch::Switch(const QRectF& frame, QWidget* parent) : View(frame, parent) {}

void Switch::setOn(bool on, Animated animated) {
    if (on == on_) return;
    double shown = presentationThumbPosition();
    on_ = on;
    if (animated == Animated::Yes) {
        slideFrom_ = shown;
        slideStart_ = Clock::current().now();
        keepRedrawingUntil(slideStart_ + kAnimationDuration);
    } else {
        slideStart_ = -1;
    }
    update();
}

void Switch::addAction(std::string name, Action action) { actions_.add(std::move(name), std::move(action)); }

void Switch::sendActions() { actions_.send(); }

void Switch::setOnTintColor(const QColor& c) {
    onTint_ = c;
    update();
}
void Switch::setThumbTintColor(const QColor& c) {
    thumb_ = c;
    update();
}
void Switch::setOffTintColor(const QColor& c) {
    offTint_ = c;
    update();
}

double Switch::presentationThumbPosition() const {
    if (tracking_ && dragged_) return dragPosition_;
    double target = on_ ? 1.0 : 0.0;
    if (slideStart_ < 0) return target;
    double t = (Clock::current().now() - slideStart_) / kAnimationDuration;
    if (t >= 1) return target;
    t = std::clamp(t, 0.0, 1.0);
    double eased = t * t * (3 - 2 * t);
    return slideFrom_ + (target - slideFrom_) * eased;
}

double Switch::thumbPositionForX(double x) const {
    QRectF r = contentRect();
    double d = r.height() - 4;
    double travel = r.width() - 4 - d;
    if (travel <= 0) return on_ ? 1.0 : 0.0;
    return std::clamp((x - r.left() - 2 - d / 2) / travel, 0.0, 1.0);
}

void Switch::userSet(bool on) {
    if (on == on_) return;
    setOn(on, Animated::Yes);
    sendActions();
}

void Switch::cancelTracking() {
    tracking_ = dragged_ = false;
    update();
}

void Switch::paintEvent(QPaintEvent* event) {
    View::paintEvent(event);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) p.setOpacity(0.5);
    QRectF r = contentRect();
    double pos = presentationThumbPosition();
    // The track blends from the off tint to the on tint as the thumb travels.
    QColor track = QColor::fromRgbF(static_cast<float>(offTint_.redF() + (onTint_.redF() - offTint_.redF()) * pos),
                                    static_cast<float>(offTint_.greenF() + (onTint_.greenF() - offTint_.greenF()) * pos),
                                    static_cast<float>(offTint_.blueF() + (onTint_.blueF() - offTint_.blueF()) * pos),
                                    static_cast<float>(offTint_.alphaF() + (onTint_.alphaF() - offTint_.alphaF()) * pos));
    p.setPen(Qt::NoPen);
    p.setBrush(track);
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    double d = r.height() - 4;
    double x = r.left() + 2 + pos * std::max(0.0, r.width() - 4 - d);
    p.setBrush(QColor(0, 0, 0, 50));
    p.drawEllipse(QRectF(x, r.top() + 3, d, d));
    p.setBrush(thumb_);
    p.drawEllipse(QRectF(x, r.top() + 2, d, d));
}

void Switch::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled() || !contentRect().contains(event->position())) {
        event->ignore();
        return;
    }
    tracking_ = true;
    dragged_ = false;
    pressX_ = event->position().x();
    dragPosition_ = on_ ? 1.0 : 0.0;
    event->accept();
}

void Switch::mouseMoveEvent(QMouseEvent* event) {
    if (!tracking_) return View::mouseMoveEvent(event);
    double x = event->position().x();
    if (!dragged_ && std::abs(x - pressX_) > GestureDriver::kTapSlop) dragged_ = true;
    if (dragged_) {
        dragPosition_ = thumbPositionForX(x);
        update();
    }
    event->accept();
}

void Switch::mouseReleaseEvent(QMouseEvent* event) {
    if (!tracking_) {
        event->ignore();
        return;
    }
    bool dragged = dragged_;
    double position = dragPosition_;
    tracking_ = dragged_ = false;
    event->accept();
    if (dragged) {
        // Settle from where the finger left the thumb.
        bool on = position >= 0.5;
        slideFrom_ = position;
        slideStart_ = Clock::current().now();
        keepRedrawingUntil(slideStart_ + kAnimationDuration);
        if (on != on_) {
            on_ = on;
            sendActions();
        }
        update();
        return;
    }
    if (contentRect().contains(event->position())) userSet(!on_);
    else update();
}

}  // namespace sorvel
