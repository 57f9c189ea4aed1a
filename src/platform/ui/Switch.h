#pragma once
// An on/off switch as a phone has it: a 51 x 31 pill whose thumb slides between the ends. A
// click (or a tap on a touch screen) toggles it and then sends its value-changed actions; a drag
// of the thumb settles on the side it was let go nearer to. Setting the state from code sends
// no actions and may slide the thumb over on the Clock.
//
//   auto* s = new Switch(QRectF(x, y, Switch::kWidth, Switch::kHeight), parent);
//   s->setOnTintColor(Qt::white);
//   s->addAction("toggleFilter", [s] { ... s->isOn() ... });   // value-changed
//   s->setOn(true, Animated::Yes);
//
// Main thread only.

#include <string>
#include <vector>

#include "Animation.h"
#include "ControlActions.h"
#include "View.h"

namespace sorvel {

class Switch : public View {
public:
    using Action = ControlActions::Action;
    static constexpr double kWidth = 51;
    static constexpr double kHeight = 31;
    // How long the thumb takes to slide over.
    static constexpr double kAnimationDuration = 0.25;

    explicit Switch(QWidget* parent = nullptr);
    Switch(const QRectF& frame, QWidget* parent = nullptr);

    bool isOn() const { return on_; }
    // Sends no actions.
    void setOn(bool on, Animated animated = Animated::No);

    // Value-changed actions, run after a change made by the user.
    void addAction(std::string name, Action action);
    const std::vector<std::string>& actionNames() const { return actions_.names(); }
    void sendActions();

    void setOnTintColor(const QColor& c);
    QColor onTintColor() const { return onTint_; }
    void setThumbTintColor(const QColor& c);
    // The track's colour while off.
    void setOffTintColor(const QColor& c);

    bool isEnabled() const { return QWidget::isEnabled(); }
    void setEnabled(bool e) {
        QWidget::setEnabled(e);
        update();
    }

    // Where the thumb is drawn now: 0 at the off end, 1 at the on end.
    double presentationThumbPosition() const;

    bool takesOwnInput() const override { return true; }
    void cancelTracking() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void userSet(bool on);
    double thumbPositionForX(double x) const;

    bool on_ = false;
    ControlActions actions_;
    QColor onTint_ = QColor(52, 199, 89);
    QColor offTint_ = QColor(120, 120, 128, 82);
    QColor thumb_ = Qt::white;
    // The thumb's slide: from `slideFrom` at `slideStart`, over kAnimationDuration.
    double slideFrom_ = 0, slideStart_ = -1;
    bool tracking_ = false, dragged_ = false;
    double pressX_ = 0, dragPosition_ = 0;
};

}  // namespace sorvel
