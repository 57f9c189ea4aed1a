#include "StackView.h"

#include <algorithm>

namespace sorvel {

namespace {

// Lengths along and across the axis, so one layout serves both axes.
double along(QSizeF s, StackAxis axis) { return axis == StackAxis::Horizontal ? s.width() : s.height(); }
double across(QSizeF s, StackAxis axis) { return axis == StackAxis::Horizontal ? s.height() : s.width(); }
QRectF oriented(double a, double c, double length, double thickness, StackAxis axis) {
    return axis == StackAxis::Horizontal ? QRectF(a, c, length, thickness) : QRectF(c, a, thickness, length);
}

}  // namespace

void StackView::setSpacing(double spacing) { spacing_ = std::max(0.0, spacing); }

void StackView::addArrangedSubview(View* view) { insertArrangedSubview(view, arranged_.size()); }

void StackView::insertArrangedSubview(View* view, std::size_t index) {
    if (!view || std::find(arranged_.begin(), arranged_.end(), view) != arranged_.end()) return;
    index = std::min(index, arranged_.size());
    arranged_.insert(arranged_.begin() + static_cast<std::ptrdiff_t>(index), view);
    addSubview(view);
}

void StackView::removeArrangedSubview(View* view) {
    auto it = std::find(arranged_.begin(), arranged_.end(), view);
    if (it == arranged_.end()) return;
    arranged_.erase(it);
    std::erase(stretching_, view);
    view->removeFromSuperview();
}

void StackView::setStretches(View* view, bool stretches) {
    std::erase(stretching_, view);
    if (stretches && view) stretching_.push_back(view);
}

std::vector<View*> StackView::visibleArranged() const {
    std::vector<View*> shown;
    for (View* v : arranged_)
        if (!v->isHidden()) shown.push_back(v);
    return shown;
}

QSizeF StackView::fittingSize() const {
    auto shown = visibleArranged();
    double length = 0, thickness = 0;
    for (View* v : shown) {
        length += along(v->frame().size(), axis_);
        thickness = std::max(thickness, across(v->frame().size(), axis_));
    }
    if (shown.size() > 1) length += spacing_ * static_cast<double>(shown.size() - 1);
    return axis_ == StackAxis::Horizontal ? QSizeF(length, thickness) : QSizeF(thickness, length);
}

void StackView::layoutArranged() {
    auto shown = visibleArranged();
    const double ownThickness = across(frame().size(), axis_);
    // Nested stacks first: a filled one takes this stack's thickness before it lays out.
    for (View* v : shown)
        if (auto* nested = dynamic_cast<StackView*>(v)) {
            if (alignment_ == StackAlignment::Fill) {
                QRectF f = nested->frame();
                nested->setFrame(oriented(0, 0, along(f.size(), axis_), ownThickness, axis_));
            }
            nested->layoutArranged();
        }

    const QSizeF fit = fittingSize();
    const double thickness = alignment_ == StackAlignment::Fill ? ownThickness : across(fit, axis_);
    const double total = distribution_ == StackDistribution::Natural ? along(fit, axis_) : along(frame().size(), axis_);
    const double gaps = shown.size() > 1 ? spacing_ * static_cast<double>(shown.size() - 1) : 0;

    std::vector<double> lengths;
    for (View* v : shown) lengths.push_back(along(v->frame().size(), axis_));
    double spacing = spacing_;
    if (!shown.empty()) {
        double natural = 0;
        for (double l : lengths) natural += l;
        switch (distribution_) {
        case StackDistribution::Natural:
            break;
        case StackDistribution::FillEqually:
            std::fill(lengths.begin(), lengths.end(), std::max(0.0, (total - gaps) / static_cast<double>(shown.size())));
            break;
        case StackDistribution::EqualSpacing:
            if (shown.size() > 1) spacing = std::max(0.0, (total - natural) / static_cast<double>(shown.size() - 1));
            break;
        case StackDistribution::Fill: {
            std::vector<std::size_t> grow;
            for (std::size_t i = 0; i < shown.size(); ++i)
                if (std::find(stretching_.begin(), stretching_.end(), shown[i]) != stretching_.end()) grow.push_back(i);
            if (grow.empty()) grow.push_back(shown.size() - 1);
            double fixed = 0;
            for (std::size_t i = 0; i < shown.size(); ++i)
                if (std::find(grow.begin(), grow.end(), i) == grow.end()) fixed += lengths[i];
            double share = std::max(0.0, (total - gaps - fixed) / static_cast<double>(grow.size()));
            for (std::size_t i : grow) lengths[i] = share;
            break;
        }
        }
    }

    double a = 0;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        View* v = shown[i];
        double t = across(v->frame().size(), axis_);
        double c = 0;
        switch (alignment_) {
        case StackAlignment::Fill:
            t = thickness;
            break;
        case StackAlignment::Center:
            c = (thickness - t) / 2;
            break;
        case StackAlignment::Leading:
            break;
        case StackAlignment::Trailing:
            c = thickness - t;
            break;
        }
        QRectF target = oriented(a, c, lengths[i], t, axis_);
        if (target != v->frame()) {
            v->setFrame(target);
            // A nested stack given a new size lays out again within it.
            if (auto* nested = dynamic_cast<StackView*>(v); nested && distribution_ != StackDistribution::Natural)
                nested->layoutArranged();
        }
        a += lengths[i] + spacing;
    }
    setFrame(QRectF(frame().topLeft(), axis_ == StackAxis::Horizontal ? QSizeF(total, thickness) : QSizeF(thickness, total)));
}

}  // namespace sorvel
