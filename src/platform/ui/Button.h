#pragma once
// A tappable view with a title or a picture; its actions run on release inside the button. A
// new button's title colour is the appearance default (Appearance.h).

#include <QImage>
#include <functional>
#include <vector>

#include "Appearance.h"
#include "ControlActions.h"
#include "View.h"

namespace sorvel {

class Button : public View {
public:
    using Action = ControlActions::Action;
    using View::View;

    // `name` is the action's name as the app knows it (a shutter button sends "按下拍照按钮").
    void addAction(std::string name, Action action);
    const std::vector<std::string>& actionNames() const { return actions_.names(); }
    // Runs the actions as a tap would. Main thread.
    void sendActions();

    void setTitle(const QString& t);
    QString title() const { return title_; }
    void setTitleColor(const QColor& c);
    void setImage(const QImage& image);
    const QImage& image() const { return image_; }
    // A named symbol (see Symbols.h) drawn in tintColor(), aspect-fit inside the bounds minus
    // the image insets; it takes the image's place. An empty name removes it.
    void setSymbol(const QString& name);
    QString symbolName() const { return symbol_; }
    // The same inset in points on every side of the image or symbol.
    void setImageInsets(double points);
    double imageInsets() const { return imageInsets_; }
    void setTitleFont(const QFont& font);
    QFont titleFont() const { return font(); }
    void setTintColor(const QColor& c);
    QColor tintColor() const { return tint_; }
    bool isEnabled() const { return QWidget::isEnabled(); }
    void setEnabled(bool e) { QWidget::setEnabled(e); }
    bool isHighlighted() const { return pressed_; }

    bool takesOwnInput() const override { return true; }
    void cancelTracking() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    ControlActions actions_;
    QString title_;
    QColor titleColor_ = Appearance::current().buttonTitleColor;
    QImage image_;
    QString symbol_;
    double imageInsets_ = 0;
    QColor tint_ = Qt::white;
    bool pressed_ = false;
    bool tracking_ = false;
};

}  // namespace sorvel
