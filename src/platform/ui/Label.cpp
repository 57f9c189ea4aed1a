#include "Label.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace sorvel {

void Label::setText(const QString& text) {
    runs_.clear();
    text_ = text;
    update();
}

void Label::setAttributedText(std::vector<TextRun> runs) {
    text_.clear();
    for (const TextRun& r : runs) text_ += r.text;
    runs_ = std::move(runs);
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

QSizeF Label::textSize() const {
    if (runs_.empty()) {
        QFontMetricsF fm(font());
        int flags = lines_ == 1 ? Qt::TextSingleLine : 0;
        return fm.size(flags, text_);
    }
    double width = 0, height = 0;
    for (const TextRun& r : runs_) {
        QFontMetricsF fm(r.font);
        width += fm.horizontalAdvance(r.text);
        height = std::max(height, fm.height());
    }
    return {width, height};
}

void Label::sizeToFit() {
    QSizeF size = textSize();
    setFrame(QRectF(frame().topLeft(), QSizeF(std::ceil(size.width()), std::ceil(size.height()))));
}

void Label::paintEvent(QPaintEvent* event) {
    View::paintEvent(event);
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    if (runs_.empty()) {
        p.setPen(color_);
        p.setFont(font());
        int flags = static_cast<int>(alignment_) | (lines_ == 1 ? Qt::TextSingleLine : Qt::TextWordWrap);
        p.drawText(rect(), flags, text_);
        return;
    }
    // The runs share one baseline: the tallest font's ascent below the line's top.
    QSizeF size = textSize();
    double ascent = 0;
    for (const TextRun& r : runs_) ascent = std::max(ascent, QFontMetricsF(r.font).ascent());
    double x = 0;
    if (alignment_ & Qt::AlignHCenter) x = (width() - size.width()) / 2;
    else if (alignment_ & Qt::AlignRight) x = width() - size.width();
    double top = (height() - size.height()) / 2;
    if (alignment_ & Qt::AlignTop) top = 0;
    else if (alignment_ & Qt::AlignBottom) top = height() - size.height();
    for (const TextRun& r : runs_) {
        p.setFont(r.font);
        p.setPen(r.color);
        p.drawText(QPointF(x, top + ascent), r.text);
        x += QFontMetricsF(r.font).horizontalAdvance(r.text);
    }
}

}  // namespace sorvel
