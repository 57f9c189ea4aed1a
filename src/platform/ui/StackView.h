#pragma once
// A stack: arranged subviews in a row (horizontal, the default) or a column (vertical), with
// fixed spacing. Hidden arranged subviews take no room. Nested stacks are laid out first.
//
// Along the axis, the distribution decides the lengths:
//   Natural       each subview keeps its length; the stack's length fits them (the default)
//   Fill          the stack keeps its length; subviews marked stretchable (else the last one)
//                 share what the others leave
//   FillEqually   the stack keeps its length; every subview gets an equal share
//   EqualSpacing  the stack keeps its length; subviews keep theirs, the gaps are equal
// Across the axis, the alignment places each subview: Center (the default), Leading or
// Trailing keep its thickness; Fill stretches it to the stack's. With Fill alignment the
// stack keeps its thickness, otherwise it fits the thickest subview.
//
//   auto* column = new StackView();                 // the settings list inside a scroll view
//   column->setAxis(StackAxis::Vertical);
//   column->setAlignment(StackAlignment::Fill);
//   column->setSpacing(15);
//   column->setFrame(QRectF(20, 20, width - 40, 0));
//   column->addArrangedSubview(row);                // rows: horizontal stacks
//   column->layoutArranged();                       // then scrollView->sizeContentToFit()
//
// Main thread only.

#include <QSizeF>
#include <vector>

#include "View.h"

namespace sorvel {

enum class StackAxis { Horizontal, Vertical };
enum class StackAlignment { Center, Leading, Trailing, Fill };
enum class StackDistribution { Natural, Fill, FillEqually, EqualSpacing };

class StackView : public View {
public:
    using View::View;

    double spacing() const { return spacing_; }
    void setSpacing(double spacing);
    StackAxis axis() const { return axis_; }
    void setAxis(StackAxis axis) { axis_ = axis; }
    StackAlignment alignment() const { return alignment_; }
    void setAlignment(StackAlignment alignment) { alignment_ = alignment; }
    StackDistribution distribution() const { return distribution_; }
    void setDistribution(StackDistribution distribution) { distribution_ = distribution; }

    // Adds `view` as a subview at the end of the row (borrowed: Qt's parent chain owns it).
    void addArrangedSubview(View* view);
    // Inserts it at `index` of the arranged subviews (clamped).
    void insertArrangedSubview(View* view, std::size_t index);
    // Removes it from the row and from the stack's subviews; the caller owns it afterwards.
    void removeArrangedSubview(View* view);
    const std::vector<View*>& arrangedSubviews() const { return arranged_; }
    // With the Fill distribution, the subviews that take the spare length.
    void setStretches(View* view, bool stretches);

    // Natural distribution: the visible subviews' lengths plus the spacing between them; across
    // the axis the thickest (nested stacks measured after their own layout).
    QSizeF fittingSize() const;
    // Places the arranged subviews and sizes the stack as the distribution and alignment say
    // (origin kept).
    void layoutArranged();

private:
    std::vector<View*> visibleArranged() const;

    double spacing_ = 0;
    StackAxis axis_ = StackAxis::Horizontal;
    StackAlignment alignment_ = StackAlignment::Center;
    StackDistribution distribution_ = StackDistribution::Natural;
    std::vector<View*> arranged_;
    std::vector<View*> stretching_;
};

}  // namespace sorvel
