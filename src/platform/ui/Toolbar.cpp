#include "Toolbar.h"

#include <QFontMetricsF>
#include <cmath>

namespace sorvel {

Button* makeBarButton(const BarButtonItem& item, const QColor& tint, QWidget* parent) {
    auto* b = new Button(QRectF(0, 0, 10, 10), parent);
    QFont f = b->font();
    f.setPointSizeF(17);
    f.setBold(item.style == BarButtonStyle::Done);
    b->setTitleFont(f);
    b->setTitle(item.title);
    b->setTitleColor(tint);
    b->setAccessibilityIdentifier(QString::fromStdString(item.actionName));
    if (item.action) b->addAction(item.actionName, item.action);
    double w = std::ceil(QFontMetricsF(f).horizontalAdvance(item.title)) + 16;
    b->setFrame(QRectF(0, 0, std::max(44.0, w), 44));
    b->show();
    return b;
}

void layoutBarItems(const std::vector<BarButtonItem>& items, const std::vector<Button*>& buttons, double left,
                    double right, double height) {
    double used = 0;
    int flexible = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (buttons[i]) used += buttons[i]->frame().width();
        else ++flexible;
    }
    double space = flexible > 0 ? std::max(0.0, (right - left - used) / flexible) : 0;
    double x = left;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!buttons[i]) {
            x += space;
            continue;
        }
        QRectF f = buttons[i]->frame();
        buttons[i]->setFrame(QRectF(x, (height - f.height()) / 2, f.width(), f.height()));
        x += f.width();
    }
}

Toolbar::Toolbar(QWidget* parent) : View(QRectF(0, 0, 390, kHeight), parent) {
    setBackgroundColor(QColor(44, 44, 46, 245));
    setAccessibilityIdentifier("toolbar");
}

void Toolbar::setItems(std::vector<BarButtonItem> items) {
    for (Button* b : buttons_)
        if (b) b->deleteLater(), b->hide();
    buttons_.clear();
    items_ = std::move(items);
    for (const auto& item : items_)
        buttons_.push_back(item.kind == BarButtonItem::Kind::Button ? makeBarButton(item, tint_, this) : nullptr);
    layoutItems();
}

Button* Toolbar::buttonForItem(std::size_t index) const { return index < buttons_.size() ? buttons_[index] : nullptr; }

void Toolbar::setTintColor(const QColor& c) {
    tint_ = c;
    for (Button* b : buttons_)
        if (b) b->setTitleColor(c);
}

void Toolbar::layoutItems() { layoutBarItems(items_, buttons_, 8, frame().width() - 8, frame().height()); }

void Toolbar::resizeEvent(QResizeEvent* event) {
    View::resizeEvent(event);
    layoutItems();
}

}  // namespace sorvel
