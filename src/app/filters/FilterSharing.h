#pragma once
// The share and import dialogs of the filter panel, as data: what to show (alert texts,
// already localised), what to put on the pasteboard, what to store. The controller turns an
// AlertSpec into a UI-toolkit alert and the pasteboard texts into clipboard writes. Main
// thread, like the filter state they change.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Value.h"

namespace sorvel {

// A one-button alert.
struct SimpleAlert {
    std::string title;
    std::string message;
    std::string button;
};

enum class AlertButtonStyle { Default, Cancel };

struct AlertButton {
    std::string title;
    AlertButtonStyle style = AlertButtonStyle::Default;
    // When tapped: this text goes on the general pasteboard, then `followUp` is shown.
    std::optional<std::string> pasteboardText;
    std::optional<SimpleAlert> followUp;
};

struct AlertSpec {
    std::string title;
    std::string message;
    std::vector<AlertButton> buttons;
    std::optional<std::string> textFieldPlaceholder;  // set for an alert with one text field
};

// The share dialog for the selected filter, or the error alert that replaces it.
AlertSpec shareCurrentFilter(const std::optional<Dictionary>& selectedFilter);

// The import dialog: a text field and the buttons "✨导入" (then call importFilter with the
// field's text) and "取消".
AlertSpec importFilterPrompt();

struct ImportOutcome {
    bool imported = false;
    std::string name;                  // the name given to the imported filter
    std::optional<SimpleAlert> error;  // shown instead when the code is invalid
};

// "✨导入" with the field's text, used exactly as typed. An empty text does nothing; an
// invalid code gives the error alert and changes nothing; otherwise the filter is appended
// under the first free "导入<n>" name and the list is saved. The caller rebuilds the list;
// the new filter is not selected.
ImportOutcome importFilter(std::string_view text, std::vector<Dictionary>& filters);

// "导入1", "导入2", ...: the lowest counter whose name no saved filter has.
std::string nameForImportedFilter(const std::vector<Dictionary>& filters);

// Fills a localised format: "%1$@", "%2$@" ... by position, plain "%@" in order; "%%" is "%".
std::string formatLocalized(std::string_view format, const std::vector<std::string>& arguments);

}  // namespace sorvel
