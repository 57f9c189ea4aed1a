#include "Button.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "Symbols.h"

namespace sorvel {

void Button::addAction(std::string name, Action action) { actions_.add(std::move(name), std::move(action)); }

void Button::sendActions() { actions_.send(); }

void Button::setTitle(const QString& t) {
    title_ = t;
    update();
}
void Button::setTitleColor(const QColor& c) {
    titleColor_ = c;
    update();
}
void Button::setImage(const QImage& image) {
    image_ = image;
    update();
}
void Button::setSymbol(const QString& name) {
    symbol_ = name;
    update();
}
void Button::setImageInsets(double points) {
    imageInsets_ = std::max(0.0, points);
    update();
}
void Button::setTitleFont(const QFont& font) {
    setFont(font);
    update();
}
void Button::setTintColor(const QColor& c) {
    tint_ = c;
    update();
}

void Button::paintEvent(QPaintEvent* event) {
    View::paintEvent(event);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    applyPresentationScale(p);
    if (pressed_) p.setOpacity(0.5);
    QRectF area = contentRect();
    QRectF imageArea = area.adjusted(imageInsets_, imageInsets_, -imageInsets_, -imageInsets_);
    if (!symbol_.isEmpty()) {
        if (imageArea.isValid()) drawSymbol(p, symbol_, imageArea, tint_);
    } else if (!image_.isNull()) {
        QSizeF s = image_.deviceIndependentSize();
        QRectF r(area.center().x() - s.width() / 2, area.center().y() - s.height() / 2, s.width(), s.height());
        p.drawImage(r, image_);
    }
    if (!title_.isEmpty()) {
        p.setPen(titleColor_);
        p.setFont(font());
        p.drawText(area, Qt::AlignCenter, title_);
    }
}

void Button::cancelTracking() {
    pressed_ = false;
    tracking_ = false;
    update();
}

void Button::mousePressEvent(QMouseEvent* event) {
    // The room a shadow or a bounce takes around the frame is not the button.
    if (!contentRect().contains(event->position())) {
        event->ignore();
        return;
    }
    pressed_ = true;
    tracking_ = true;
    update();
    event->accept();
}

void Button::mouseReleaseEvent(QMouseEvent* event) {
    if (!tracking_) {
        event->ignore();
        return;
    }
    bool inside = contentRect().contains(event->position());
    pressed_ = false;
    tracking_ = false;
    update();
    if (inside && isEnabled()) sendActions();
    event->accept();
}

}  // namespace sorvel
