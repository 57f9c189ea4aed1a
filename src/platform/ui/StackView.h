#pragma once
// A horizontal stack: arranged subviews side by side with fixed spacing, centred vertically,
// the stack sized to fit them. Hidden arranged subviews take no room. Main thread only.

#include <QSizeF>
#include <vector>

#include "View.h"

namespace sorvel {

class StackView : public View {
public:
    using View::View;

    double spacing() const { return spacing_; }
    void setSpacing(double spacing);
    // Adds `view` as a subview at the end of the row (borrowed: Qt's parent chain owns it).
    void addArrangedSubview(View* view);
    // Removes it from the row and from the stack's subviews; the caller owns it afterwards.
    void removeArrangedSubview(View* view);
    const std::vector<View*>& arrangedSubviews() const { return arranged_; }

    // Width: the visible subviews' widths plus the spacing between them; height: the tallest.
    QSizeF fittingSize() const;
    // Places the arranged subviews and sets the stack's size to fittingSize() (origin kept).
    void layoutArranged();

private:
    std::vector<View*> visibleArranged() const;

    double spacing_ = 0;
    std::vector<View*> arranged_;
};

}  // namespace sorvel
