#pragma once
// A colour well: a round swatch of the selected colour (a ring of hues when none is selected).
// A click opens the colour chooser over the screen (ColorPickerController: a grid of swatches
// and a "#RRGGBB" field); every colour the user picks there becomes the well's at once and
// sends the well's value-changed actions. Setting the colour from code sends none.
//
//   auto* well = new ColorWell(QRectF(x, y, 44, 44), parent);
//   well->setSelectedColor(QColor("#000000"));
//   well->addAction("backgroundColorChanged", [well] { if (auto c = well->selectedColor()) ...; });
//
// The chooser is presented by the controller whose screen holds the well (or the main screen's).
// Main thread only.

#include <memory>
#include <optional>

#include "ControlActions.h"
#include "ScreenController.h"
#include "TextField.h"
#include "View.h"

namespace sorvel {

class ColorPickerController;

class ColorWell : public View {
public:
    using Action = ControlActions::Action;
    explicit ColorWell(const QRectF& frame = QRectF(0, 0, 44, 44), QWidget* parent = nullptr);

    std::optional<QColor> selectedColor() const { return color_; }
    void setSelectedColor(std::optional<QColor> color);
    // The chooser's title.
    void setTitle(const QString& title) { title_ = title; }

    void addAction(std::string name, Action action);
    const std::vector<std::string>& actionNames() const { return actions_.names(); }
    void sendActions();

    // Opens the chooser as a click does; the one on screen, or nullptr.
    void openPicker();
    ColorPickerController* presentedPicker() const;

    bool takesOwnInput() const override { return true; }
    void cancelTracking() override { pressed_ = false; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    friend class ColorPickerController;
    void userPicked(const QColor& color);

    std::optional<QColor> color_;
    QString title_ = QStringLiteral("颜色");
    ControlActions actions_;
    bool pressed_ = false;
    std::weak_ptr<ColorPickerController> picker_;
};

// The chooser: a grid of 12 hues in 8 shades with a row of greys, and a hex field. A swatch
// click picks at once; "完成" or a swipe down closes it.
class ColorPickerController : public ScreenController {
public:
    static constexpr int kColumns = 12;
    static constexpr int kRows = 9;

    ColorPickerController(ScreenProfile profile, QString title, std::optional<QColor> initial);
    void viewDidLoad() override;

    // The swatch at a grid position (row 0 is the greys).
    static QColor swatchColor(int row, int column);
    // Where that swatch is drawn, in the root view's coordinates.
    QRectF swatchRect(int row, int column) const;
    TextField* hexField() const { return hex_; }
    std::optional<QColor> pickedColor() const { return picked_; }
    // Hears each pick (the well sets its colour and sends its actions).
    std::function<void(const QColor&)> onPick;

private:
    void pick(const QColor& color);

    QString title_;
    std::optional<QColor> picked_;
    View* grid_ = nullptr;
    TextField* hex_ = nullptr;
};

}  // namespace sorvel
