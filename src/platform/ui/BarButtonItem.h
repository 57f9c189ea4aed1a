#pragma once
// The items of toolbars and navigation bars: a titled button (plain, or bold for the "done"
// style), or a flexible space that pushes the items after it to the far end.
//
//   Toolbar bar;
//   bar.setItems({BarButtonItem::flexibleSpace(),
//                 BarButtonItem::titled("完成", BarButtonStyle::Done, "doneButtonAction", [] { ... })});

#include <QString>
#include <string>

#include "ControlActions.h"

namespace sorvel {

enum class BarButtonStyle { Plain, Done };

struct BarButtonItem {
    enum class Kind { Button, FlexibleSpace };
    Kind kind = Kind::Button;
    QString title;
    BarButtonStyle style = BarButtonStyle::Plain;
    std::string actionName;  // what the app calls the action ("doneButtonAction")
    ControlActions::Action action;

    static BarButtonItem titled(QString title, BarButtonStyle style, std::string actionName,
                                ControlActions::Action action) {
        return {Kind::Button, std::move(title), style, std::move(actionName), std::move(action)};
    }
    static BarButtonItem flexibleSpace() { return {Kind::FlexibleSpace, {}, BarButtonStyle::Plain, {}, nullptr}; }
};

}  // namespace sorvel
