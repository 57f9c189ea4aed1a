#pragma once
// The settings panel's states that `sorvel-camera screenshot` can show: the panel scrolled to a
// point or to its end, scrolled to the innovative-features card, or with the icon picker open.

#include <optional>
#include <string>
#include <vector>

namespace sorvel {

class ViewController;

struct SettingsPanelState {
    std::optional<double> scrollTo;  // points from the top of the content
    bool scrollToEnd = false;
    bool innovative = false;
    bool iconPicker = false;
};

// Reads the option at arguments[i] (and its value, moving i past it) into `state`. Nothing when
// the option is not one of these; an empty text when it was read; else what is wrong with it.
std::optional<std::string> parseSettingsPanelOption(const std::vector<std::string>& arguments, std::size_t& i,
                                                    SettingsPanelState& state);

// Puts the open panel of `controller` into `state`.
void applySettingsPanelState(ViewController& controller, const SettingsPanelState& state);

}  // namespace sorvel
