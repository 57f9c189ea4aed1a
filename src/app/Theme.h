#pragma once
// The theme's colours as the screen reads them at build time: "#RRGGBB" texts in the settings
// store, black background and white text and icons when unset or unreadable.

#include <QColor>
#include <optional>
#include <string_view>

namespace sorvel {

std::optional<QColor> colorFromHex(std::string_view text);
QColor themeBackgroundColor();
QColor themeTextColor();

}  // namespace sorvel
