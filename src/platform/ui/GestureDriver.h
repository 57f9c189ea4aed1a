#pragma once
// Turns the input a view receives into recogniser states: a mouse click is a tap, a mouse drag
// a pan; one finger on a touch screen taps or pans, two fingers pinch; the mouse wheel and the
// trackpad's zoom gesture drive the pinch recogniser as well. Main thread only.

#include <QPointF>
#include <memory>
#include <vector>

class QEvent;
class QMouseEvent;
class QNativeGestureEvent;
class QTouchEvent;
class QWheelEvent;
class QWidget;

namespace sorvel {

class GestureRecognizer;
class View;

class GestureDriver {
public:
    // Movement (in points) beyond which a press is no longer a tap but a pan.
    static constexpr double kTapSlop = 8;
    // The wheel's pinch ends this long after the last wheel event.
    static constexpr double kWheelPinchEndDelay = 0.3;
    // Zoom factor of one wheel notch (120 units of angle delta).
    static constexpr double kWheelStepScale = 1.1;

    explicit GestureDriver(View& view);
    ~GestureDriver();
    GestureDriver(const GestureDriver&) = delete;
    GestureDriver& operator=(const GestureDriver&) = delete;

    // True when the event was consumed (the view then does not pass it on).
    bool handle(QEvent* event);

    // Whether `point` (in `view`'s coordinates) lies on a descendant that takes its own input
    // (View::takesOwnInput: a button, slider, switch, text field, scroll view...); touches
    // there are left to Qt, which turns them into that descendant's mouse events.
    static bool isOnInteractiveDescendant(const QWidget& view, QPointF point);

private:
    enum class Pointer { Idle, Pressed, Panning };
    enum class PinchSource { None, Touch, Wheel, Trackpad };

    bool handleMouse(QMouseEvent* event);
    bool handleTouch(QTouchEvent* event);
    bool handleWheel(QWheelEvent* event);
    bool handleNativeGesture(QNativeGestureEvent* event);

    // These take points in the view's coordinates and return false when a handler destroyed
    // the view (and this driver with it). Movement is measured in global coordinates.
    void pointerDown(QPointF point);
    bool pointerMoved(QPointF point);
    bool pointerUp(QPointF point);
    bool pointerCancelled();

    bool pinchBegin(PinchSource source, QPointF centroid);
    bool pinchChange(double factor, QPointF centroid);
    bool pinchEnd(QPointF centroid);
    bool pinchCancel();

    template <class Recognizer, class Fn>
    bool forEach(Fn&& fn);
    template <class Recognizer>
    bool has() const;

    View& view_;
    Pointer pointer_ = Pointer::Idle;
    QPointF pressPoint_;  // global
    QPointF lastPoint_;   // global
    double lastMoveTime_ = 0;
    PinchSource pinch_ = PinchSource::None;
    QPointF pinchCentroid_;
    double touchDistance_ = 0;
    double trackpadScale_ = 1.0;
    bool touchActive_ = false;
    bool touchPinchDone_ = false;
    unsigned wheelGeneration_ = 0;
    // Checked by delayed blocks: the driver (and its view) may be gone when they run.
    std::shared_ptr<bool> alive_;
};

}  // namespace sorvel
