#pragma once
// A scroll view as a phone has it: a viewport onto content larger than itself. Subviews added
// with addSubview go into the scrolled content (contentView()); the content offset says which
// point of the content lies at the viewport's top-left, clamped to 0 .. contentSize - size.
// It scrolls vertically when the content is taller than the view and horizontally when it is
// wider (a row of buttons), by:
//   - a drag with the mouse or one finger, also when it starts on a button, switch, segmented
//     control or text field inside (that control's press is then cancelled; a slider keeps
//     its drags, a nested scroll view its own);
//   - the wheel or a trackpad (the vertical wheel scrolls a view that only scrolls sideways).
// A click that does not move is left to the content (tapped() for subclasses).
//
//   auto* scroll = new ScrollView(QRectF(0, 60, w, h - 60), panel);
//   auto* stack = new StackView();                       // vertical, fills the width
//   stack->setAxis(StackAxis::Vertical);
//   stack->setFrame(QRectF(0, 0, w, 0));
//   scroll->addSubview(stack);
//   ... stack->addArrangedSubview(row) ...; stack->layoutArranged(); scroll->sizeContentToFit();
//   scroll->scrollToEnd(Animated::Yes);
//
// Actions: addScrollAction runs after every change of the offset the user made (drag, wheel).
// setDragObserver hears each drag's state, translation and velocity (points per second on the
// Clock), so a sheet around it can close on a pull down at the top. Main thread only.

#include <QPointF>
#include <QPointer>
#include <QSizeF>
#include <functional>
#include <string>

#include "Animation.h"
#include "ControlActions.h"
#include "GestureRecognizer.h"
#include "View.h"

namespace sorvel {

class ScrollView : public View {
public:
    using Action = ControlActions::Action;
    // How far one wheel notch (120 units) scrolls, in points.
    static constexpr double kWheelStep = 50;
    static constexpr double kAnimationDuration = 0.3;

    struct Drag {
        GestureState state = GestureState::Possible;  // Began, Changed, Ended
        QPointF translation;  // since the press
        QPointF velocity;     // points per second, of the latest movement
    };

    explicit ScrollView(QWidget* parent = nullptr);
    ScrollView(const QRectF& frame, QWidget* parent = nullptr);
    ~ScrollView() override;

    View* contentView() const { return content_; }
    void addSubview(QWidget* child) override;

    QSizeF contentSize() const { return contentSize_; }
    void setContentSize(QSizeF size);
    // The content size from the content's subviews: their right-most and bottom-most edges.
    void sizeContentToFit();

    QPointF contentOffset() const { return offset_; }
    // Clamped to the scrollable range; sends no actions.
    void setContentOffset(QPointF offset, Animated animated = Animated::No);
    QPointF maximumContentOffset() const;
    // To the bottom of tall content, else to the right end of wide content.
    void scrollToEnd(Animated animated = Animated::No);

    bool canScrollVertically() const { return maximumContentOffset().y() > 0; }
    bool canScrollHorizontally() const { return maximumContentOffset().x() > 0; }
    bool isScrollEnabled() const { return scrollEnabled_; }
    void setScrollEnabled(bool enabled) { scrollEnabled_ = enabled; }
    bool isDragging() const { return dragging_; }

    void addScrollAction(std::string name, Action action);
    const std::vector<std::string>& scrollActionNames() const { return scrollActions_.names(); }
    void setDragObserver(std::function<void(const Drag&)> observer) { dragObserver_ = std::move(observer); }

    bool takesOwnInput() const override { return true; }

protected:
    // A press and release without movement at `point` (this view's coordinates).
    virtual void tapped(QPointF) {}

    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void placeContent();
    QPointF clamped(QPointF offset) const;
    bool exceedsSlop(QPointF movement) const;
    void beginDrag(QPointF globalPress, QPointF globalNow);
    void dragTo(QPointF global);
    void endDrag(QPointF global);
    void userScrolledTo(QPointF offset);
    // The control a press on `w` belongs to, when a drag may take it over.
    View* stealableControl(QWidget* w) const;

    View* content_ = nullptr;
    QSizeF contentSize_;
    QPointF offset_;
    bool scrollEnabled_ = true;
    ControlActions scrollActions_;
    std::function<void(const Drag&)> dragObserver_;

    // The pointer: pressed on this view (or a control inside), then dragging.
    bool pressed_ = false, dragging_ = false;
    QPointer<View> pressedControl_;
    QPointF pressGlobal_, lastGlobal_, dragStartOffset_, velocity_;
    double lastMoveTime_ = 0;
};

}  // namespace sorvel
