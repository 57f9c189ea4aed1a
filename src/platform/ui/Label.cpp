#include "Label.h"

#include <QPainter>

namespace sorvel {

void Label::setText(const QString& text) {
    text_ = text;
    update();
}
void Label::setTextColor(const QColor& c) {
    color_ = c;
    update();
}
void Label::setFont(const QFont& f) {
    QWidget::setFont(f);
    update();
}
void Label::setAlignment(Qt::Alignment a) {
    alignment_ = a;
    update();
}
void Label::setNumberOfLines(int n) {
    lines_ = n;
    update();
}

void Label::paintEvent(QPaintEvent* event) {
    View::paintEvent(event);
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(color_);
    p.setFont(font());
    int flags = static_cast<int>(alignment_) | (lines_ == 1 ? Qt::TextSingleLine : Qt::TextWordWrap);
    p.drawText(rect(), flags, text_);
}

}  // namespace sorvel
