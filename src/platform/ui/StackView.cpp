#include "StackView.h"

#include <algorithm>

namespace sorvel {

void StackView::setSpacing(double spacing) { spacing_ = std::max(0.0, spacing); }

void StackView::addArrangedSubview(View* view) {
    if (!view || std::find(arranged_.begin(), arranged_.end(), view) != arranged_.end()) return;
    arranged_.push_back(view);
    addSubview(view);
}

void StackView::removeArrangedSubview(View* view) {
    auto it = std::find(arranged_.begin(), arranged_.end(), view);
    if (it == arranged_.end()) return;
    arranged_.erase(it);
    view->removeFromSuperview();
}

std::vector<View*> StackView::visibleArranged() const {
    std::vector<View*> shown;
    for (View* v : arranged_)
        if (!v->isHidden()) shown.push_back(v);
    return shown;
}

QSizeF StackView::fittingSize() const {
    auto shown = visibleArranged();
    double width = 0, height = 0;
    for (View* v : shown) {
        width += v->frame().width();
        height = std::max(height, v->frame().height());
    }
    if (shown.size() > 1) width += spacing_ * static_cast<double>(shown.size() - 1);
    return {width, height};
}

void StackView::layoutArranged() {
    QSizeF size = fittingSize();
    double x = 0;
    for (View* v : visibleArranged()) {
        QRectF f = v->frame();
        v->setFrame(QRectF(x, (size.height() - f.height()) / 2, f.width(), f.height()));
        x += f.width() + spacing_;
    }
    setFrame(QRectF(frame().topLeft(), size));
}

}  // namespace sorvel
