#pragma once
// The user's filters and their persistence in the settings store under "savedFilters" (an Array
// of saved-filter Dictionaries). The list is the controller's `filters`; the selection and the
// switch are the controller's too, never stored. Main thread, like the controller.

#include <optional>
#include <vector>

#include "platform/foundation/Value.h"

namespace sorvel {

// Replaces the stored "savedFilters" with `filters`.
void saveFiltersToUserDefaults(const std::vector<Dictionary>& filters);

// Replaces `filters` with the stored array when one is stored and every element is a
// Dictionary; otherwise leaves `filters` as it is.
void loadFiltersFromUserDefaults(std::vector<Dictionary>& filters);

// On a store where "hasLaunchedBefore" is not true: imports the presets, then marks the
// launch as done.
void checkFirstLaunch(std::vector<Dictionary>& filters);

// Appends the three preset filters (those whose codes decode) and saves once.
void importDefaultFilters(std::vector<Dictionary>& filters);

}  // namespace sorvel
