#include "NavigationBar.h"

#include "Appearance.h"
#include "Toolbar.h"

namespace sorvel {

NavigationBar::NavigationBar(const QRectF& frame, QWidget* parent)
    : View(frame.isEmpty() ? QRectF(0, 0, 390, kHeight) : frame, parent), tint_(Appearance::current().navigationBarTintColor) {
    setBackgroundColor(QColor(28, 28, 30, 235));
    setAccessibilityIdentifier("navigationBar");
    title_ = new Label(QRectF(0, 0, 10, kHeight), this);
    QFont f = title_->font();
    f.setPointSizeF(17);
    f.setBold(true);
    title_->setFont(f);
    title_->setAlignment(Qt::AlignCenter);
    title_->setTextColor(Appearance::current().navigationBarTitleColor);
    title_->setUserInteractionEnabled(false);
    layoutBar();
}

QString NavigationBar::title() const { return title_->text(); }

void NavigationBar::setTitle(const QString& title) { title_->setText(title); }

Button* NavigationBar::replace(Button* old, const std::optional<BarButtonItem>& item) {
    if (old) {
        old->hide();
        old->deleteLater();
    }
    if (!item || item->kind != BarButtonItem::Kind::Button) return nullptr;
    return makeBarButton(*item, tint_, this);
}

void NavigationBar::setLeftBarButtonItem(std::optional<BarButtonItem> item) {
    left_ = replace(left_, item);
    layoutBar();
}

void NavigationBar::setRightBarButtonItem(std::optional<BarButtonItem> item) {
    right_ = replace(right_, item);
    layoutBar();
}

void NavigationBar::setTintColor(const QColor& c) {
    tint_ = c;
    for (Button* b : {left_, right_})
        if (b) b->setTitleColor(c);
}

void NavigationBar::setTitleColor(const QColor& c) { title_->setTextColor(c); }

void NavigationBar::resizeEvent(QResizeEvent* event) {
    View::resizeEvent(event);
    layoutBar();
}

void NavigationBar::layoutBar() {
    const double w = frame().width(), h = frame().height();
    // The bar's content row is its bottom 44 points (above it may lie the status bar's room).
    const double top = std::max(0.0, h - kHeight);
    double side = 60;
    if (left_) {
        QRectF f = left_->frame();
        left_->setFrame(QRectF(8, top, f.width(), kHeight));
        side = std::max(side, f.width() + 8);
    }
    if (right_) {
        QRectF f = right_->frame();
        right_->setFrame(QRectF(w - 8 - f.width(), top, f.width(), kHeight));
        side = std::max(side, f.width() + 8);
    }
    title_->setFrame(QRectF(side, top, std::max(0.0, w - 2 * side), kHeight));
}

}  // namespace sorvel
