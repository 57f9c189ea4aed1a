#include "app/cli/SettingsPanelScreenshot.h"

#include "app/ViewController.h"
#include "app/settings/InnovativeFeaturesView.h"
#include "app/settings/SettingsPopupView.h"
#include "platform/foundation/Value.h"
#include "platform/ui/ScrollView.h"

namespace sorvel {

std::optional<std::string> parseSettingsPanelOption(const std::vector<std::string>& arguments, std::size_t& i,
                                                    SettingsPanelState& state) {
    const std::string& a = arguments[i];
    if (a == "--innovative") {
        state.innovative = true;
        return std::string();
    }
    if (a == "--icon-picker") {
        state.iconPicker = true;
        return std::string();
    }
    if (a != "--settings-scroll") return std::nullopt;
    if (i + 1 >= arguments.size()) return std::string("--settings-scroll takes points or end");
    const std::string& value = arguments[++i];
    if (value == "end") {
        state.scrollToEnd = true;
        return std::string();
    }
    auto points = parseNumber(value);
    if (!points || *points < 0 || *points > 100000) return std::string("--settings-scroll takes 0 to 100000 points or end");
    state.scrollTo = *points;
    return std::string();
}

void applySettingsPanelState(ViewController& controller, const SettingsPanelState& state) {
    SettingsPopupView* panel = controller.settingsPopupView;
    if (!panel) return;
    ScrollView* scroll = panel->scrollView;
    if (state.scrollToEnd) scroll->scrollToEnd();
    if (state.scrollTo) scroll->setContentOffset(QPointF(0, *state.scrollTo));
    if (state.innovative) {
        const QRectF card = panel->innovativeFeaturesView->frame();
        const QPointF inContent = panel->innovativeFeaturesView->parentWidget()->mapTo(scroll->contentView(), card.topLeft().toPoint());
        scroll->setContentOffset(QPointF(0, inContent.y() - 12));
    }
    if (state.iconPicker) panel->showIconPicker();
}

}  // namespace sorvel
