#pragma once
// The theme: a background colour for the main screen, a colour for all text and icons, and an
// optional picture behind the main screen's controls, all kept in the settings store
// ("theme_backgroundColor", "theme_textAndIconColor" as colour texts, see ColorHex.h;
// "theme_useCustomBackground"; "theme_customBackgroundImage" as JPEG bytes).
//
// Screens style themselves with ThemeManager::bgColor() / textColor(): the colours read when the
// shared manager was made, or at the last updateColors(). The apply operations read the store
// again and act on the main screen's root view (ScreenController::mainRootView) and on the
// appearance defaults that views made afterwards take. Main thread only.

#include <QColor>

namespace sorvel {

class View;

class ThemeManager {
public:
    // The tag of the background picture view, the lowest subview of the root view.
    static constexpr int kBackgroundImageTag = 999;

    static ThemeManager& shared();
    virtual ~ThemeManager() = default;

    virtual QColor backgroundColor() const { return backgroundColor_; }
    virtual void setBackgroundColor(const QColor& c) { backgroundColor_ = c; }
    virtual QColor textAndIconColor() const { return textAndIconColor_; }
    virtual void setTextAndIconColor(const QColor& c) { textAndIconColor_ = c; }
    // Reads both colour keys again (black and white when absent).
    virtual void updateColors();
    // The background colour, then the text and icon colour, then, when the option is on, the
    // picture.
    virtual void applyTheme();
    virtual void applyBackgroundColor();
    // The appearance defaults of labels, button titles, text fields and views, tab and
    // navigation bars; the alert cards' labels keep their platform colour.
    virtual void applyTextAndIconColor();
    // Inserts the picture view (tag 999) at the bottom of the root view when the option is on
    // and the stored bytes decode as a picture; does nothing otherwise.
    virtual void applyCustomBackgroundImage();
    // Removes the first picture view tagged 999 from the root view.
    virtual void removeCustomBackgroundImage();

    static QColor bgColor() { return shared().backgroundColor(); }
    static QColor textColor() { return shared().textAndIconColor(); }

protected:
    ThemeManager();

private:
    QColor backgroundColor_;
    QColor textAndIconColor_;
};

}  // namespace sorvel
