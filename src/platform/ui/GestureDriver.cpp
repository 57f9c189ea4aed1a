#include "GestureDriver.h"

#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QTouchEvent>
#include <QWheelEvent>
#include <cmath>

#include "GestureRecognizer.h"
#include "View.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"

namespace sorvel {

namespace {

double distance(QPointF a, QPointF b) { return std::hypot(a.x() - b.x(), a.y() - b.y()); }

bool isDown(const QEventPoint& p) { return p.state() != QEventPoint::State::Released; }

}  // namespace

GestureDriver::GestureDriver(View& view) : view_(view), alive_(std::make_shared<bool>(true)) {}

GestureDriver::~GestureDriver() = default;

// Calls `fn` for each enabled recogniser of the kind. Returns false when a handler destroyed
// the view (and with it this driver): the caller must then return without touching members.
template <class Recognizer, class Fn>
bool GestureDriver::forEach(Fn&& fn) {
    std::weak_ptr<bool> alive = alive_;
    const auto& list = view_.gestureRecognizers();
    // By index: a handler may add recognisers, which moves the vector's storage.
    for (std::size_t i = 0; i < list.size(); ++i) {
        auto* r = dynamic_cast<Recognizer*>(list[i].get());
        if (!r || !r->isEnabled()) continue;
        fn(*r);
        if (alive.expired()) return false;
    }
    return true;
}

template <class Recognizer>
bool GestureDriver::has() const {
    for (const auto& r : view_.gestureRecognizers())
        if (dynamic_cast<const Recognizer*>(r.get()) && r->isEnabled()) return true;
    return false;
}

bool GestureDriver::handle(QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
        return handleMouse(static_cast<QMouseEvent*>(event));
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
        return handleTouch(static_cast<QTouchEvent*>(event));
    case QEvent::Wheel:
        return handleWheel(static_cast<QWheelEvent*>(event));
    case QEvent::NativeGesture:
        return handleNativeGesture(static_cast<QNativeGestureEvent*>(event));
    default:
        return false;
    }
}

bool GestureDriver::handleMouse(QMouseEvent* event) {
    QPointF p = event->position();
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (event->button() != Qt::LeftButton || pointer_ != Pointer::Idle) return pointer_ != Pointer::Idle;
        if (!has<TapGestureRecognizer>() && !has<PanGestureRecognizer>()) return false;
        event->accept();
        pointerDown(p);
        return true;
    case QEvent::MouseMove:
        if (pointer_ == Pointer::Idle) return false;
        event->accept();
        pointerMoved(p);
        return true;
    default:
        if (pointer_ == Pointer::Idle || event->button() != Qt::LeftButton) return pointer_ != Pointer::Idle;
        event->accept();
        pointerUp(p);
        return true;
    }
}

bool GestureDriver::isOnInteractiveDescendant(const QWidget& view, QPointF point) {
    for (QWidget* w = view.childAt(point.toPoint()); w && w != &view; w = w->parentWidget())
        if (auto* v = dynamic_cast<View*>(w); v && v->takesOwnInput()) return true;
    return false;
}

bool GestureDriver::handleTouch(QTouchEvent* event) {
    const auto& points = event->points();
    if (event->type() == QEvent::TouchBegin) {
        // A touch on a child button is left to Qt, which turns it into the button's mouse
        // press; everything else on the view is a gesture.
        if (points.isEmpty() || isOnInteractiveDescendant(view_, points.first().position())) return false;
        touchActive_ = true;
        touchPinchDone_ = false;
    }
    if (!touchActive_) return false;
    event->accept();

    if (event->type() == QEvent::TouchCancel) {
        touchActive_ = false;
        if (pinch_ == PinchSource::Touch && !pinchCancel()) return true;
        pointerCancelled();
        return true;
    }

    QList<QPointF> down;
    for (const QEventPoint& p : points)
        if (isDown(p)) down.push_back(p.position());

    if (down.size() >= 2) {
        QPointF centroid = (down[0] + down[1]) / 2;
        double d = distance(down[0], down[1]);
        if (pointer_ != Pointer::Idle && !pointerCancelled()) return true;
        if (pinch_ == PinchSource::None && !touchPinchDone_) {
            touchDistance_ = d;
            pinchBegin(PinchSource::Touch, centroid);
            return true;
        }
        if (pinch_ != PinchSource::Touch) return true;
        double factor = touchDistance_ > 0 && d > 0 ? d / touchDistance_ : 1.0;
        if (d > 0) touchDistance_ = d;
        if (factor != 1.0 || centroid != pinchCentroid_) pinchChange(factor, centroid);
        return true;
    }

    // Fewer than two fingers: a pinch in progress ends, and the finger left behind does not
    // start a pan until every finger has been lifted.
    if (pinch_ == PinchSource::Touch) {
        touchPinchDone_ = true;
        if (!pinchEnd(pinchCentroid_)) return true;
    }
    if (down.size() == 1 && !touchPinchDone_) {
        if (pointer_ == Pointer::Idle) pointerDown(down[0]);
        else if (!pointerMoved(down[0])) return true;
    } else if (down.isEmpty() && pointer_ != Pointer::Idle && !points.isEmpty()) {
        if (!pointerUp(points.first().position())) return true;
    }
    if (event->type() == QEvent::TouchEnd) touchActive_ = false;
    return true;
}

bool GestureDriver::handleWheel(QWheelEvent* event) {
    int dy = event->angleDelta().y();
    if (dy == 0 || !has<PinchGestureRecognizer>()) return false;
    event->accept();
    if (pinch_ != PinchSource::None && pinch_ != PinchSource::Wheel) return true;
    QPointF at = event->position();
    if (pinch_ == PinchSource::None && !pinchBegin(PinchSource::Wheel, at)) return true;
    if (!pinchChange(std::pow(kWheelStepScale, dy / 120.0), at)) return true;
    unsigned generation = ++wheelGeneration_;
    std::weak_ptr<bool> alive = alive_;
    DispatchQueue::main().asyncAfter(kWheelPinchEndDelay, [this, alive, generation] {
        if (alive.expired() || generation != wheelGeneration_ || pinch_ != PinchSource::Wheel) return;
        pinchEnd(pinchCentroid_);
    });
    return true;
}

bool GestureDriver::handleNativeGesture(QNativeGestureEvent* event) {
    if (!has<PinchGestureRecognizer>()) return false;
    QPointF at = event->position();
    switch (event->gestureType()) {
    case Qt::BeginNativeGesture:
        // The pinch begins with the first zoom step: a begin may open a rotation or a swipe.
        event->accept();
        return true;
    case Qt::ZoomNativeGesture:
        event->accept();
        if (pinch_ != PinchSource::None && pinch_ != PinchSource::Trackpad) return true;
        if (pinch_ == PinchSource::None) {
            trackpadScale_ = 1.0;
            if (!pinchBegin(PinchSource::Trackpad, at)) return true;
        }
        // Linux touchpads report the pinch's scale since it began; Qt hands on the difference
        // from the previous event. The running sum gives the scale back, and the pinch gets
        // the ratio of consecutive scales.
        if (double next = trackpadScale_ + event->value(); next > 0) {
            double factor = next / trackpadScale_;
            trackpadScale_ = next;
            pinchChange(factor, at);
        }
        return true;
    case Qt::EndNativeGesture:
        event->accept();
        if (pinch_ == PinchSource::Trackpad) pinchEnd(at);
        return true;
    default:
        return false;
    }
}

void GestureDriver::pointerDown(QPointF point) {
    pointer_ = Pointer::Pressed;
    pressPoint_ = lastPoint_ = view_.mapToGlobal(point);
    lastMoveTime_ = Clock::current().now();
}

bool GestureDriver::pointerMoved(QPointF point) {
    const QPointF global = view_.mapToGlobal(point);
    QPointF step = global - lastPoint_;
    double now = Clock::current().now();
    if (pointer_ == Pointer::Pressed) {
        if (distance(global, pressPoint_) <= kTapSlop) return true;
        pointer_ = Pointer::Panning;
        lastPoint_ = global;
        QPointF velocity = now > lastMoveTime_ ? (global - pressPoint_) / (now - lastMoveTime_) : QPointF();
        lastMoveTime_ = now;
        if (!forEach<TapGestureRecognizer>([](TapGestureRecognizer& r) { r.setState(GestureState::Failed); }))
            return false;
        // Measured from the press, so the slop the finger travelled is part of the pan.
        QPointF sincePress = global - pressPoint_;
        return forEach<PanGestureRecognizer>([&](PanGestureRecognizer& r) {
            r.setTranslation(sincePress);
            r.setVelocity(velocity);
            r.setLocation(point);
            r.setState(GestureState::Began);
            r.fire();
        });
    }
    if (pointer_ != Pointer::Panning || step.isNull()) return true;
    lastPoint_ = global;
    // Events with no time between them (one batch) keep the velocity they had.
    bool timed = now > lastMoveTime_;
    QPointF velocity = timed ? step / (now - lastMoveTime_) : QPointF();
    if (timed) lastMoveTime_ = now;
    // Added to what the recogniser holds, so a handler that resets the translation reads the
    // movement since its reset.
    return forEach<PanGestureRecognizer>([&](PanGestureRecognizer& r) {
        r.setTranslation(r.translationInView(nullptr) + step);
        if (timed) r.setVelocity(velocity);
        r.setLocation(point);
        r.setState(GestureState::Changed);
        r.fire();
    });
}

bool GestureDriver::pointerUp(QPointF point) {
    Pointer was = pointer_;
    if (was == Pointer::Panning && !pointerMoved(point)) return false;
    pointer_ = Pointer::Idle;
    if (was == Pointer::Pressed) {
        return forEach<TapGestureRecognizer>([&](TapGestureRecognizer& r) {
            r.setLocation(point);
            r.setState(GestureState::Ended);
            r.fire();
            r.setState(GestureState::Possible);
        });
    }
    if (!forEach<TapGestureRecognizer>([](TapGestureRecognizer& r) { r.setState(GestureState::Possible); }))
        return false;
    if (was != Pointer::Panning) return true;
    return forEach<PanGestureRecognizer>([&](PanGestureRecognizer& r) {
        r.setLocation(point);
        r.setState(GestureState::Ended);
        r.fire();
        r.setState(GestureState::Possible);
    });
}

bool GestureDriver::pointerCancelled() {
    Pointer was = pointer_;
    pointer_ = Pointer::Idle;
    if (!forEach<TapGestureRecognizer>([](TapGestureRecognizer& r) { r.setState(GestureState::Possible); }))
        return false;
    if (was != Pointer::Panning) return true;
    return forEach<PanGestureRecognizer>([](PanGestureRecognizer& r) {
        r.setState(GestureState::Cancelled);
        r.fire();
        r.setState(GestureState::Possible);
    });
}

bool GestureDriver::pinchBegin(PinchSource source, QPointF centroid) {
    pinch_ = source;
    pinchCentroid_ = centroid;
    return forEach<PinchGestureRecognizer>([&](PinchGestureRecognizer& r) {
        r.setScale(1.0);
        r.setLocation(centroid);
        r.setState(GestureState::Began);
        r.fire();
    });
}

bool GestureDriver::pinchChange(double factor, QPointF centroid) {
    pinchCentroid_ = centroid;
    // Multiplied into what the recogniser holds: a handler that resets the scale to 1.0 after
    // each change reads the change since the previous event; one that does not reads the
    // change since the pinch began.
    return forEach<PinchGestureRecognizer>([&](PinchGestureRecognizer& r) {
        r.setScale(r.scale() * factor);
        r.setLocation(centroid);
        r.setState(GestureState::Changed);
        r.fire();
    });
}

bool GestureDriver::pinchEnd(QPointF centroid) {
    pinch_ = PinchSource::None;
    return forEach<PinchGestureRecognizer>([&](PinchGestureRecognizer& r) {
        r.setLocation(centroid);
        r.setState(GestureState::Ended);
        r.fire();
        r.setState(GestureState::Possible);
    });
}

bool GestureDriver::pinchCancel() {
    pinch_ = PinchSource::None;
    return forEach<PinchGestureRecognizer>([](PinchGestureRecognizer& r) {
        r.setState(GestureState::Cancelled);
        r.fire();
        r.setState(GestureState::Possible);
    });
}

}  // namespace sorvel
