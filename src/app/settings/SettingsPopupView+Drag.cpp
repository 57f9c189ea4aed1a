// Dragging the settings panel down to close it: from its header (a pan on the panel) or from
// its content while that is scrolled to the top (the scroll view's drags).

#include <QPointer>

#include "app/settings/DragToClose.h"
#include "app/settings/SettingsPopupView.h"
#include "platform/ui/Animation.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/ScrollView.h"

namespace sorvel {

void SettingsPopupView::setupPanGesture() {
    QPointer<SettingsPopupView> self(this);
    auto pan = std::make_unique<PanGestureRecognizer>([self](GestureRecognizer& gesture) {
        if (self) self->handlePanGesture(static_cast<PanGestureRecognizer&>(gesture));
    });
    panGestureRecognizer = static_cast<PanGestureRecognizer*>(addGestureRecognizer(std::move(pan)));
    // The content's own drags: the scroll view keeps scrolling, and at its top a pull down moves
    // the panel with it, as a sheet recognises together with its list.
    scrollView->setDragObserver([self](const ScrollView::Drag& drag) {
        if (self) self->scrollViewDragged(drag);
    });
}

bool SettingsPopupView::gestureRecognizerShouldBegin(QPointF velocity) const {
    return panelDragMayBegin(velocity.y(), scrollView->contentOffset().y());
}

void SettingsPopupView::handlePanGesture(PanGestureRecognizer& gesture) {
    switch (gesture.state()) {
    case GestureState::Began:
        if (!gestureRecognizerShouldBegin(gesture.velocityInView(this))) return;
        currentPositionTouched = gesture.locationInView(this);
        dragBegan();
        break;
    case GestureState::Changed: dragChanged(gesture.translationInView(this)); break;
    case GestureState::Ended: dragEnded(gesture.velocityInView(this)); break;
    case GestureState::Cancelled:
    case GestureState::Failed: dragEnded(QPointF()); break;
    default: break;
    }
}

void SettingsPopupView::scrollViewDragged(const ScrollView::Drag& drag) {
    switch (drag.state) {
    case GestureState::Began:
        // The scroll view reports its drag's start before any velocity is measured; the
        // movement past the slop that started it gives the direction.
        if (!gestureRecognizerShouldBegin(drag.velocity.isNull() ? drag.translation : drag.velocity)) return;
        currentPositionTouched = QPointF();
        dragBegan();
        break;
    case GestureState::Changed: dragChanged(drag.translation); break;
    case GestureState::Ended:
    case GestureState::Cancelled: dragEnded(drag.velocity); break;
    default: break;
    }
}

void SettingsPopupView::dragBegan() {
    dragging_ = true;
    originalPosition = frame().center();
}

void SettingsPopupView::dragChanged(QPointF translation) {
    if (!dragging_) return;
    QRectF f = frame();
    f.moveCenter(QPointF(originalPosition.x(), draggedPanelCentreY(originalPosition.y(), translation.y())));
    setFrame(f);
}

void SettingsPopupView::dragEnded(QPointF velocity) {
    if (!dragging_) return;
    dragging_ = false;
    auto* host = dynamic_cast<View*>(parentWidget());
    const double superviewHeight = host ? host->bounds().height() : frame().bottom();
    QPointer<SettingsPopupView> self(this);
    if (panelDragCloses(velocity.y(), frame().top(), superviewHeight)) {
        animate(0.3, [self, superviewHeight] {
            if (!self) return;
            QRectF f = self->frame();
            f.moveTop(superviewHeight);
            self->setFrame(f);
        }, [self](bool) {
            if (self && self->closeAction) self->closeAction();
        });
        return;
    }
    const QPointF back = originalPosition;
    animate(0.3, [self, back] {
        if (!self) return;
        QRectF f = self->frame();
        f.moveCenter(back);
        self->setFrame(f);
    });
}

}  // namespace sorvel
