#pragma once
// Appearance defaults, as a phone toolkit's appearance proxies: the colours that views created
// from now on take (a new Label's text colour, a new Button's title colour, a new TextField's
// text colour, a new NavigationBar's tint and title colours). Views that exist keep theirs,
// which is why a theme's text colour shows after a restart. Alert cards draw their labels in
// `alertLabelTextColor`, which stays at its default unless set on purpose.
//
//   Appearance::current().labelTextColor = QColor("#FFCC00");   // later labels are yellow
//
// Main thread only.

#include <QColor>

namespace sorvel {

struct Appearance {
    QColor labelTextColor = Qt::white;
    QColor buttonTitleColor = Qt::white;
    QColor textFieldTextColor = Qt::white;
    QColor textViewTextColor = Qt::white;
    QColor tabBarTintColor = QColor(10, 132, 255);
    QColor navigationBarTintColor = QColor(10, 132, 255);
    QColor navigationBarTitleColor = Qt::white;
    QColor alertLabelTextColor = Qt::white;

    // The process's defaults; change fields in place.
    static Appearance& current() {
        static Appearance appearance;
        return appearance;
    }
    // The platform's own defaults (what `current()` starts as).
    static Appearance platformDefaults() { return Appearance{}; }
};

}  // namespace sorvel
