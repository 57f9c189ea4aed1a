#pragma once
// The app icon picker's rows: fifteen icons named by the localisation keys "图标1" ... "图标15";
// row 0 is the primary icon, row i the alternate "AppIcon" followed by i + 1.

#include <optional>
#include <string>
#include <vector>

namespace sorvel {

inline constexpr int kAppIconCount = 15;

// The localisation keys, in row order.
std::vector<std::string> appIconNameKeys();

// The alternate-icon name a row asks for: nothing for row 0 (the primary icon), "AppIcon2" ...
// "AppIcon15" for rows 1 ... 14. No row asks for "AppIcon1", which does not exist.
std::optional<std::string> alternateIconNameForRow(int row);

}  // namespace sorvel
