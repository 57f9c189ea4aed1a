#include "app/settings/AppIconChoices.h"

namespace sorvel {

std::vector<std::string> appIconNameKeys() {
    std::vector<std::string> keys;
    for (int i = 1; i <= kAppIconCount; ++i) keys.push_back("图标" + std::to_string(i));
    return keys;
}

std::optional<std::string> alternateIconNameForRow(int row) {
    if (row <= 0) return std::nullopt;
    return "AppIcon" + std::to_string(row + 1);
}

}  // namespace sorvel
