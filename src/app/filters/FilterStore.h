#pragma once
// The user's filters and the controller's filter state, and their persistence in the settings
// store under "savedFilters" (an Array of saved-filter Dictionaries). The ViewController owns
// one FilterState; every operation here runs on the main thread, like the controller.

#include <optional>
#include <vector>

#include "platform/foundation/Value.h"

namespace sorvel {

struct FilterState {
    std::vector<Dictionary> filters;            // creation order, the order of the list buttons
    std::optional<Dictionary> selectedFilter;   // a copy of the filter last tapped
    bool isFilterEnabled = false;               // never persisted: off after every start
    bool isFilterUsePhotoEnabled = false;
};

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
