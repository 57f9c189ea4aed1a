#pragma once
// A navigation bar: a centred bold title and a bar button at either end (BarButtonItem.h). A
// new bar takes the appearance defaults' tint (buttons) and title colours (Appearance.h).
//
//   auto* bar = new NavigationBar(QRectF(0, top, width, NavigationBar::kHeight), parent);
//   bar->setTitle("选一个图标");
//   bar->setRightBarButtonItem(BarButtonItem::titled("完成", BarButtonStyle::Done,
//                                                    "dismissIconPicker", [this] { ... }));
//   bar->rightButton()->...                       // the Button, for tests and styling
//
// Main thread only.

#include <optional>

#include "BarButtonItem.h"
#include "Button.h"
#include "Label.h"
#include "View.h"

namespace sorvel {

class NavigationBar : public View {
public:
    static constexpr double kHeight = 44;

    explicit NavigationBar(const QRectF& frame = {}, QWidget* parent = nullptr);

    QString title() const;
    void setTitle(const QString& title);
    Label* titleLabel() const { return title_; }
    void setLeftBarButtonItem(std::optional<BarButtonItem> item);
    void setRightBarButtonItem(std::optional<BarButtonItem> item);
    Button* leftButton() const { return left_; }
    Button* rightButton() const { return right_; }
    void setTintColor(const QColor& c);
    QColor tintColor() const { return tint_; }
    void setTitleColor(const QColor& c);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutBar();
    Button* replace(Button* old, const std::optional<BarButtonItem>& item);

    Label* title_ = nullptr;
    Button* left_ = nullptr;
    Button* right_ = nullptr;
    QColor tint_;
};

}  // namespace sorvel
