#include "Label.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cmath>

namespace sorvel {

void Label::DocumentDeleter::operator()(QTextDocument* document) const { delete document; }

void Label::setText(const QString& text) {
    paragraphs_.reset();
    runs_.clear();
    text_ = text;
    update();
}

void Label::setAttributedText(std::vector<TextRun> runs) {
    text_.clear();
    for (const TextRun& r : runs) text_ += r.text;
    runs_ = std::move(runs);
    paragraphs_.reset();
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
    paragraphs_.reset();
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

QTextDocument& Label::paragraphs(double width) const {
    if (paragraphs_ && paragraphs_->textWidth() == width) return *paragraphs_;
    paragraphs_.reset(new QTextDocument);
    paragraphs_->setDocumentMargin(0);
    paragraphs_->setTextWidth(width);
    QTextCursor cursor(paragraphs_.get());
    bool paragraphStart = true;
    for (const TextRun& r : runs_) {
        QTextCharFormat format;
        format.setFont(r.font);
        format.setForeground(r.color);
        const QStringList lines = r.text.split('\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0) {
                cursor.insertBlock();
                paragraphStart = true;
            }
            if (paragraphStart) {
                QTextBlockFormat block;
                block.setLineHeight(r.lineSpacing, QTextBlockFormat::LineDistanceHeight);
                cursor.setBlockFormat(block);
                // An empty paragraph is as tall as a line of this run's font.
                cursor.setBlockCharFormat(format);
                paragraphStart = false;
            }
            cursor.insertText(lines[i], format);
        }
    }
    return *paragraphs_;
}

QSizeF Label::textSizeForWidth(double width) const {
    if (lines_ == 1) return textSize();
    if (!runs_.empty()) return paragraphs(width).size();
    QFontMetricsF fm(font());
    return fm.boundingRect(QRectF(0, 0, width, 1e7), Qt::TextWordWrap, text_).size();
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
    if (lines_ != 1) {
        QTextDocument& text = paragraphs(width());
        double top = 0;
        if (alignment_ & Qt::AlignVCenter) top = (height() - text.size().height()) / 2;
        else if (alignment_ & Qt::AlignBottom) top = height() - text.size().height();
        p.translate(0, top);
        text.drawContents(&p, QRectF(0, -top, width(), height()));
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
