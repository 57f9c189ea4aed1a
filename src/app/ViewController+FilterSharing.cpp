// The share and import dialogs of the filter panel as alerts on the screen, with the system
// clipboard. What they say and do is in filters/FilterSharing.

#include "app/ViewController.h"
#include "app/filters/FilterSharing.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Pasteboard.h"

namespace sorvel {

namespace {

QString q(const std::string& text) { return QString::fromStdString(text); }

AlertActionStyle styleOf(AlertButtonStyle style) {
    return style == AlertButtonStyle::Cancel ? AlertActionStyle::Cancel : AlertActionStyle::Default;
}

void presentSimple(const SimpleAlert& spec, View* host) {
    auto alert = Alert::make(q(spec.title), q(spec.message));
    alert->addAction(q(spec.button));
    alert->present(host);
}

}  // namespace

void ViewController::shareCurrentFilter() {
    AlertSpec spec = sorvel::shareCurrentFilter(selectedFilter());
    auto alert = Alert::make(q(spec.title), q(spec.message));
    std::weak_ptr<ViewController> weak = weak_from_this();
    for (const AlertButton& button : spec.buttons) {
        alert->addAction(q(button.title), styleOf(button.style), [weak, button] {
            auto self = weak.lock();
            if (!self) return;
            if (button.pasteboardText) Pasteboard::general().setString(q(*button.pasteboardText));
            if (button.followUp) presentSimple(*button.followUp, self->view());
        });
    }
    alert->present(view());
}

void ViewController::importFilter() {
    AlertSpec spec = importFilterPrompt();
    auto alert = Alert::make(q(spec.title), q(spec.message));
    alert->addTextField([&](Alert::TextField& f) { f.placeholder = q(spec.textFieldPlaceholder.value_or("")); });
    std::weak_ptr<ViewController> weak = weak_from_this();
    std::weak_ptr<Alert> weakAlert = alert;
    // "✨导入" first, then "取消".
    alert->addAction(q(spec.buttons.at(0).title), styleOf(spec.buttons.at(0).style), [weak, weakAlert] {
        auto self = weak.lock();
        auto a = weakAlert.lock();
        if (!self || !a || a->textFields().empty()) return;
        ImportOutcome outcome = sorvel::importFilter(a->textFields()[0].text.toStdString(), self->filters);
        if (outcome.error) presentSimple(*outcome.error, self->view());
        if (outcome.imported) self->updateFilterListView();
    });
    alert->addAction(q(spec.buttons.at(1).title), styleOf(spec.buttons.at(1).style));
    alert->present(view());
}

}  // namespace sorvel
