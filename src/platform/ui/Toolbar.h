#pragma once
// A bar of items side by side (BarButtonItem.h): a text field's keyboard toolbar. Each titled
// item is a Button (find it with buttonForItem) drawn in the bar's tint; flexible spaces share
// the width the buttons leave.
//
//   auto* bar = new Toolbar();            // 44 points high; the text field sizes its width
//   bar->setItems({BarButtonItem::flexibleSpace(),
//                  BarButtonItem::titled("完成", BarButtonStyle::Done, "doneButtonAction", done)});
//   field->setInputAccessoryView(bar);
//
// Main thread only.

#include <vector>

#include "BarButtonItem.h"
#include "Button.h"
#include "View.h"

namespace sorvel {

class Toolbar : public View {
public:
    static constexpr double kHeight = 44;
    explicit Toolbar(QWidget* parent = nullptr);

    void setItems(std::vector<BarButtonItem> items);
    const std::vector<BarButtonItem>& items() const { return items_; }
    // The button of item `index`, nullptr for a flexible space.
    Button* buttonForItem(std::size_t index) const;
    void setTintColor(const QColor& c);
    QColor tintColor() const { return tint_; }
    // Places the items across the current width.
    void layoutItems();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::vector<BarButtonItem> items_;
    std::vector<Button*> buttons_;
    QColor tint_ = QColor(10, 132, 255);
};

// Lays out `buttons` (one per item, nullptr for flexible spaces) from x `left` to `right`,
// centred in a bar `height` high; used by toolbars and navigation bars.
void layoutBarItems(const std::vector<BarButtonItem>& items, const std::vector<Button*>& buttons, double left,
                    double right, double height);
// A button for a titled item, in `tint`, sized to its title.
Button* makeBarButton(const BarButtonItem& item, const QColor& tint, QWidget* parent);

}  // namespace sorvel
