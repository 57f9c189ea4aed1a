#pragma once
// Gesture recognisers as a phone toolkit has them: a view owns them, input reaching the view
// moves their state, and each state change calls the handler with the recogniser. The input
// side lives in GestureDriver; these classes only hold what a handler reads and may reset.
// Main thread only.

#include <QPointF>
#include <functional>

class QWidget;

namespace sorvel {

class View;

enum class GestureState { Possible, Began, Changed, Ended, Cancelled, Failed };

class GestureRecognizer {
public:
    using Handler = std::function<void(GestureRecognizer&)>;
    explicit GestureRecognizer(Handler handler);
    virtual ~GestureRecognizer() = default;
    GestureRecognizer(const GestureRecognizer&) = delete;
    GestureRecognizer& operator=(const GestureRecognizer&) = delete;

    GestureState state() const { return state_; }
    // For tests and the driver; does not call the handler.
    void setState(GestureState state) { state_ = state; }
    // The view it is attached to; nullptr before View::addGestureRecognizer.
    View* view() const { return view_; }
    // The gesture's centroid in `view`'s coordinates (nullptr: the attached view's).
    QPointF locationInView(const QWidget* view) const;
    // In the attached view's coordinates.
    void setLocation(QPointF inAttachedView) { location_ = inAttachedView; }
    // Calls the handler with *this.
    void fire();

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }

private:
    friend class View;
    void attach(View* view) { view_ = view; }

    Handler handler_;
    GestureState state_ = GestureState::Possible;
    View* view_ = nullptr;
    QPointF location_;
    bool enabled_ = true;
};

// One handler call per tap, in state Ended, with the location of the release.
class TapGestureRecognizer : public GestureRecognizer {
public:
    using GestureRecognizer::GestureRecognizer;
};

class PinchGestureRecognizer : public GestureRecognizer {
public:
    using GestureRecognizer::GestureRecognizer;
    // The change in finger distance since Began, or since the handler last reset it: the driver
    // multiplies each event's relative change into the current value, so a handler that sets
    // 1.0 after every Changed reads the change since the previous event.
    double scale() const { return scale_; }
    void setScale(double scale) { scale_ = scale; }

private:
    double scale_ = 1.0;
};

class PanGestureRecognizer : public GestureRecognizer {
public:
    using GestureRecognizer::GestureRecognizer;
    // Cumulative movement since the press (or since the handler last set it), in `view`'s
    // coordinates (nullptr: the attached view's). Measured on the screen, so a view that moves
    // with the finger (a sheet being pulled down) still reads the finger's travel.
    QPointF translationInView(const QWidget* target) const;
    void setTranslation(QPointF translation, const QWidget* source = nullptr);
    // Points per second of the latest movement (by the Clock), in `view`'s orientation.
    QPointF velocityInView(const QWidget* target) const;
    void setVelocity(QPointF inAttachedView) { velocity_ = inAttachedView; }

private:
    QPointF translation_;
    QPointF velocity_;
};

}  // namespace sorvel
