#include "GestureRecognizer.h"

#include <QWidget>

#include "View.h"

namespace sorvel {

namespace {

// Maps a point between two widgets of one window through global coordinates, which works for
// any pair (not only ancestor and descendant).
QPointF mapBetween(const QWidget* from, const QWidget* to, QPointF point) {
    if (!from || !to || from == to) return point;
    return to->mapFromGlobal(from->mapToGlobal(point));
}

}  // namespace

GestureRecognizer::GestureRecognizer(Handler handler) : handler_(std::move(handler)) {}

QPointF GestureRecognizer::locationInView(const QWidget* view) const { return mapBetween(view_, view, location_); }

void GestureRecognizer::fire() {
    if (handler_) handler_(*this);
}

// A translation is a difference of two points, so both ends are mapped.
QPointF PanGestureRecognizer::translationInView(const QWidget* target) const {
    return mapBetween(view(), target, translation_) - mapBetween(view(), target, QPointF());
}

void PanGestureRecognizer::setTranslation(QPointF translation, const QWidget* source) {
    translation_ = mapBetween(source, view(), translation) - mapBetween(source, view(), QPointF());
}

}  // namespace sorvel

namespace sorvel {

QPointF PanGestureRecognizer::velocityInView(const QWidget* target) const {
    return mapBetween(view(), target, velocity_) - mapBetween(view(), target, QPointF());
}

}  // namespace sorvel
