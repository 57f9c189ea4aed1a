#include "View.h"

#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QPainterPath>

namespace sorvel {

View::View(QWidget* parent) : QWidget(parent) {}

View::View(const QRectF& frame, QWidget* parent) : QWidget(parent) { setFrame(frame); }

void View::setFrame(const QRectF& frame) {
    frame_ = frame;
    setGeometry(qRound(frame.x()), qRound(frame.y()), qRound(frame.width()), qRound(frame.height()));
}

void View::setBackgroundColor(const QColor& c) {
    background_ = c;
    update();
}

void View::setAlpha(double a) {
    alpha_ = std::clamp(a, 0.0, 1.0);
    if (alpha_ >= 1.0) {
        setGraphicsEffect(nullptr);
    } else {
        auto* effect = qobject_cast<QGraphicsOpacityEffect*>(graphicsEffect());
        if (!effect) {
            effect = new QGraphicsOpacityEffect(this);
            setGraphicsEffect(effect);
        }
        effect->setOpacity(alpha_);
    }
}

void View::setCornerRadius(double r) {
    cornerRadius_ = r;
    update();
}

void View::setBorder(double width, const QColor& color) {
    borderWidth_ = width;
    borderColor_ = color;
    update();
}

void View::addSubview(QWidget* child) {
    child->setParent(this);
    child->show();
    child->raise();
}

double View::effectiveAlpha() const {
    double a = 1.0;
    for (const QWidget* w = this; w; w = w->parentWidget())
        if (auto* v = dynamic_cast<const View*>(w)) a *= v->alpha();
    return a;
}

void View::paintEvent(QPaintEvent*) {
    if (background_.alpha() == 0 && borderWidth_ <= 0) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF r = rect();
    QPainterPath path;
    path.addRoundedRect(r, cornerRadius_, cornerRadius_);
    p.fillPath(path, background_);
    if (borderWidth_ > 0) {
        QPen pen(borderColor_, borderWidth_);
        p.setPen(pen);
        QRectF inner = r.adjusted(borderWidth_ / 2, borderWidth_ / 2, -borderWidth_ / 2, -borderWidth_ / 2);
        p.drawRoundedRect(inner, std::max(0.0, cornerRadius_ - borderWidth_ / 2), std::max(0.0, cornerRadius_ - borderWidth_ / 2));
    }
}

}  // namespace sorvel
