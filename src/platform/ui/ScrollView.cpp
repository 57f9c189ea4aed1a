#include "ScrollView.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "GestureDriver.h"
#include "Slider.h"
#include "platform/foundation/Clock.h"

namespace sorvel {

ScrollView::ScrollView(QWidget* parent) : View(parent) { build(); }

ScrollView::ScrollView(const QRectF& frame, QWidget* parent) : View(frame, parent) { build(); }

ScrollView::~ScrollView() {
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
}

void ScrollView::build() {
    content_ = new View(QRectF(0, 0, frame().width(), frame().height()), nullptr);
    content_->setAccessibilityIdentifier("scrollContent");
    View::addSubview(content_);
    // Presses on controls inside are seen here first, so a drag that starts on one can scroll.
    if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(this);
}

void ScrollView::addSubview(QWidget* child) { content_->addSubview(child); }

void ScrollView::setContentSize(QSizeF size) {
    contentSize_ = QSizeF(std::max(0.0, size.width()), std::max(0.0, size.height()));
    offset_ = clamped(offset_);
    placeContent();
}

void ScrollView::sizeContentToFit() {
    double right = 0, bottom = 0;
    for (QObject* child : content_->children()) {
        auto* v = dynamic_cast<View*>(child);
        if (!v || v->isHidden()) continue;
        right = std::max(right, v->frame().right());
        bottom = std::max(bottom, v->frame().bottom());
    }
    setContentSize(QSizeF(right, bottom));
}

QPointF ScrollView::maximumContentOffset() const {
    return QPointF(std::max(0.0, contentSize_.width() - frame().width()),
                   std::max(0.0, contentSize_.height() - frame().height()));
}

QPointF ScrollView::clamped(QPointF offset) const {
    QPointF max = maximumContentOffset();
    return QPointF(std::clamp(offset.x(), 0.0, max.x()), std::clamp(offset.y(), 0.0, max.y()));
}

void ScrollView::setContentOffset(QPointF offset, Animated animated) {
    offset_ = clamped(offset);
    if (animated == Animated::Yes) animate(kAnimationDuration, [this] { placeContent(); });
    else placeContent();
}

void ScrollView::scrollToEnd(Animated animated) {
    QPointF max = maximumContentOffset();
    if (max.y() > 0) setContentOffset(QPointF(offset_.x(), max.y()), animated);
    else setContentOffset(QPointF(max.x(), offset_.y()), animated);
}

void ScrollView::placeContent() {
    // The content covers at least the viewport, so a press anywhere in it reaches this view.
    content_->setFrame(QRectF(-offset_.x(), -offset_.y(), std::max(contentSize_.width(), frame().width()),
                              std::max(contentSize_.height(), frame().height())));
}

void ScrollView::resizeEvent(QResizeEvent* event) {
    View::resizeEvent(event);
    offset_ = clamped(offset_);
    placeContent();
}

void ScrollView::addScrollAction(std::string name, Action action) {
    scrollActions_.add(std::move(name), std::move(action));
}

void ScrollView::userScrolledTo(QPointF offset) {
    QPointF next = clamped(offset);
    if (next == offset_) return;
    offset_ = next;
    placeContent();
    scrollActions_.send();
}

bool ScrollView::exceedsSlop(QPointF m) const {
    double along = 0;
    if (canScrollVertically()) along = std::max(along, std::abs(m.y()));
    if (canScrollHorizontally()) along = std::max(along, std::abs(m.x()));
    return along > GestureDriver::kTapSlop;
}

void ScrollView::beginDrag(QPointF globalPress, QPointF globalNow) {
    dragging_ = true;
    dragStartOffset_ = offset_;
    pressGlobal_ = globalPress;
    lastGlobal_ = globalPress;
    lastMoveTime_ = Clock::current().now();
    velocity_ = {};
    if (dragObserver_) dragObserver_({GestureState::Began, globalNow - globalPress, {}});
    dragTo(globalNow);
}

void ScrollView::dragTo(QPointF global) {
    double now = Clock::current().now();
    QPointF step = global - lastGlobal_;
    if (now > lastMoveTime_) velocity_ = step / (now - lastMoveTime_);
    lastMoveTime_ = now;
    lastGlobal_ = global;
    QPointF moved = global - pressGlobal_;
    QPointF wanted = dragStartOffset_ - QPointF(canScrollHorizontally() ? moved.x() : 0, canScrollVertically() ? moved.y() : 0);
    userScrolledTo(wanted);
    if (dragObserver_) dragObserver_({GestureState::Changed, moved, velocity_});
}

void ScrollView::endDrag(QPointF global) {
    dragTo(global);
    dragging_ = false;
    if (dragObserver_) dragObserver_({GestureState::Ended, global - pressGlobal_, velocity_});
}

void ScrollView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !scrollEnabled_) {
        event->ignore();
        return;
    }
    pressed_ = true;
    dragging_ = false;
    pressGlobal_ = lastGlobal_ = event->globalPosition();
    event->accept();
}

void ScrollView::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_) return View::mouseMoveEvent(event);
    QPointF g = event->globalPosition();
    if (!dragging_ && exceedsSlop(g - pressGlobal_)) beginDrag(pressGlobal_, g);
    else if (dragging_) dragTo(g);
    event->accept();
}

void ScrollView::mouseReleaseEvent(QMouseEvent* event) {
    if (!pressed_) return View::mouseReleaseEvent(event);
    pressed_ = false;
    event->accept();
    if (dragging_) endDrag(event->globalPosition());
    else tapped(event->position());
}

void ScrollView::wheelEvent(QWheelEvent* event) {
    if (!scrollEnabled_ || (!canScrollVertically() && !canScrollHorizontally())) {
        event->ignore();
        return;
    }
    QPointF delta = !event->pixelDelta().isNull() ? QPointF(event->pixelDelta())
                                                   : QPointF(event->angleDelta()) / 120.0 * kWheelStep;
    // A mouse has one wheel: on a row that only scrolls sideways, it scrolls sideways.
    if (!canScrollVertically() && delta.x() == 0) delta = QPointF(delta.y(), 0);
    userScrolledTo(offset_ - delta);
    // Taken even at the ends, so the wheel never reaches the camera's zoom behind.
    event->accept();
}

View* ScrollView::stealableControl(QWidget* w) const {
    View* control = nullptr;
    for (QWidget* p = w; p && p != this; p = p->parentWidget()) {
        if (dynamic_cast<ScrollView*>(p)) return nullptr;
        auto* v = dynamic_cast<View*>(p);
        if (v && v->takesOwnInput() && !control) control = v;
    }
    if (dynamic_cast<Slider*>(control)) return nullptr;
    return control;
}

bool ScrollView::eventFilter(QObject* watched, QEvent* event) {
    auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w == this || !isAncestorOf(w)) return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    switch (type) {
    case QEvent::MouseButtonPress: {
        // Seen again as Qt hands an ignored press on to the parents: the same press.
        pressedControl_ = mouse->button() == Qt::LeftButton && scrollEnabled_ ? stealableControl(w) : nullptr;
        if (pressedControl_) {
            dragging_ = false;
            pressGlobal_ = mouse->globalPosition();
        }
        return false;
    }
    case QEvent::MouseMove: {
        if (!pressedControl_ || !(mouse->buttons() & Qt::LeftButton)) return false;
        QPointF g = mouse->globalPosition();
        if (!dragging_) {
            if (!exceedsSlop(g - pressGlobal_)) return false;
            pressedControl_->cancelTracking();
            beginDrag(pressGlobal_, g);
        } else {
            dragTo(g);
        }
        return true;
    }
    default: {
        if (!pressedControl_ || mouse->button() != Qt::LeftButton) return false;
        pressedControl_ = nullptr;
        if (!dragging_) return false;
        endDrag(mouse->globalPosition());
        return true;
    }
    }
}

}  // namespace sorvel
