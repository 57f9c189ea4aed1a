#pragma once
// A horizontal slider: a track, a filled part up to the value and a round thumb. Setting the
// value from code only moves the thumb; a user's drag moves it and then sends the actions, as
// a phone toolkit does. Main thread only.

#include <QImage>
#include <functional>
#include <string>
#include <vector>

#include "ControlActions.h"
#include "View.h"

namespace sorvel {

class Slider : public View {
public:
    using Action = ControlActions::Action;
    using View::View;

    float minimumValue() const { return minimum_; }
    float maximumValue() const { return maximum_; }
    // Sets both ends (swapped if given the wrong way round) and clamps the value into them.
    void setRange(float minimum, float maximum);
    void setMinimumValue(float minimum);
    void setMaximumValue(float maximum);
    float value() const { return value_; }
    // Clamped into the range; NaN is ignored. Sends no actions. Subclasses may give a value
    // set by code a side effect (the system volume slider does).
    virtual void setValue(float value);

    // Actions run after a change made by the user.
    void addAction(std::string name, Action action);
    const std::vector<std::string>& actionNames() const { return actions_.names(); }
    void sendActions();

    void setMinimumTrackTintColor(const QColor& c);
    void setMaximumTrackTintColor(const QColor& c);
    void setThumbTintColor(const QColor& c);
    // A picture drawn as the thumb (normal and highlighted alike) instead of the round one; its
    // width in points sets how far from each end the thumb's centre stops. A null image goes
    // back to the round thumb.
    void setThumbImage(const QImage& image);
    const QImage& thumbImage() const { return thumbImage_; }
    // The slider's drawing scaled about its centre, as a view transform's scale (1, 2) makes a
    // track and thumb twice as tall; the frame, and where a press lands on the track, stay.
    void setDrawingScale(double sx, double sy);
    QPointF drawingScale() const { return drawingScale_; }

    bool takesOwnInput() const override { return true; }
    void cancelTracking() override { tracking_ = false; }

    // The value a press or drag at x (view coordinates) stands for.
    float valueAtX(double x) const;

protected:
    // Stores the clamped value and repaints; no side effects, no actions.
    void storeValue(float value);
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void userMovedTo(double x);
    double thumbRadius() const;

    float minimum_ = 0;
    float maximum_ = 1;
    float value_ = 0;
    ControlActions actions_;
    QColor minimumTrack_ = QColor(10, 132, 255);
    QColor maximumTrack_ = QColor(120, 120, 128, 90);
    QColor thumb_ = Qt::white;
    QImage thumbImage_;
    QPointF drawingScale_{1, 1};
    bool tracking_ = false;
};

}  // namespace sorvel
