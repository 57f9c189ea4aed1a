#include "SegmentedControl.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "Appearance.h"

namespace sorvel {

SegmentedControl::SegmentedControl(const QStringList& items, QWidget* parent)
    : View(QRectF(0, 0, 60.0 * std::max<qsizetype>(1, items.size()), kDefaultHeight), parent),
      titleNormal_(Appearance::current().labelTextColor),
      titleSelected_(Appearance::current().labelTextColor) {
    for (const QString& t : items) titles_.push_back(t);
    setBackgroundColor(QColor(118, 118, 128, 61));
    setCornerRadius(8);
}

QString SegmentedControl::titleForSegment(int index) const {
    if (index < 0 || index >= numberOfSegments()) return {};
    return titles_[static_cast<std::size_t>(index)];
}

void SegmentedControl::setTitle(const QString& title, int index) {
    if (index < 0 || index >= numberOfSegments()) return;
    titles_[static_cast<std::size_t>(index)] = title;
    update();
}

void SegmentedControl::insertSegment(const QString& title, int index) {
    index = std::clamp(index, 0, numberOfSegments());
    titles_.insert(titles_.begin() + index, title);
    if (selected_ >= index) ++selected_;
    update();
}

void SegmentedControl::removeAllSegments() {
    titles_.clear();
    selected_ = kNoSegment;
    update();
}

void SegmentedControl::setSelectedSegmentIndex(int index) {
    selected_ = index >= 0 && index < numberOfSegments() ? index : kNoSegment;
    update();
}

void SegmentedControl::addAction(std::string name, Action action) { actions_.add(std::move(name), std::move(action)); }

void SegmentedControl::sendActions() { actions_.send(); }

void SegmentedControl::setSelectedSegmentTintColor(const QColor& c) {
    selectedTint_ = c;
    update();
}

void SegmentedControl::setTitleColor(const QColor& normal, const QColor& selected) {
    titleNormal_ = normal;
    titleSelected_ = selected;
    update();
}

void SegmentedControl::setTitleFont(const QFont& font) {
    setFont(font);
    update();
}

QRectF SegmentedControl::segmentRect(int index) const {
    QRectF r = contentRect();
    int n = numberOfSegments();
    if (n == 0 || index < 0 || index >= n) return {};
    double w = r.width() / n;
    return QRectF(r.left() + w * index, r.top(), w, r.height());
}

int SegmentedControl::segmentAtX(double x) const {
    for (int i = 0; i < numberOfSegments(); ++i) {
        QRectF s = segmentRect(i);
        if (x >= s.left() && x < s.right()) return i;
    }
    return kNoSegment;
}

void SegmentedControl::paintEvent(QPaintEvent* event) {
    View::paintEvent(event);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) p.setOpacity(0.4);
    int n = numberOfSegments();
    for (int i = 0; i < n; ++i) {
        QRectF s = segmentRect(i);
        if (i == selected_) {
            p.setPen(Qt::NoPen);
            p.setBrush(selectedTint_);
            p.drawRoundedRect(s.adjusted(2, 2, -2, -2), 6, 6);
        } else if (i > 0 && i - 1 != selected_) {
            p.setPen(QPen(QColor(142, 142, 147, 90), 1));
            p.drawLine(QPointF(s.left(), s.top() + 8), QPointF(s.left(), s.bottom() - 8));
        }
        QFont f = font();
        f.setBold(i == selected_);
        p.setFont(f);
        QColor title = i == selected_ ? titleSelected_ : titleNormal_;
        if (i == pressed_ && i != selected_) title.setAlphaF(title.alphaF() * 0.5f);
        p.setPen(title);
        p.drawText(s.adjusted(4, 0, -4, 0), Qt::AlignCenter | Qt::TextSingleLine, titles_[static_cast<std::size_t>(i)]);
    }
}

void SegmentedControl::mousePressEvent(QMouseEvent* event) {
    int at = contentRect().contains(event->position()) ? segmentAtX(event->position().x()) : kNoSegment;
    if (event->button() != Qt::LeftButton || !isEnabled() || at == kNoSegment) {
        event->ignore();
        return;
    }
    pressed_ = at;
    update();
    event->accept();
}

void SegmentedControl::mouseReleaseEvent(QMouseEvent* event) {
    if (pressed_ == kNoSegment) {
        event->ignore();
        return;
    }
    int pressed = pressed_;
    pressed_ = kNoSegment;
    event->accept();
    update();
    if (!contentRect().contains(event->position()) || segmentAtX(event->position().x()) != pressed) return;
    if (pressed == selected_) return;
    selected_ = pressed;
    sendActions();
}

}  // namespace sorvel
