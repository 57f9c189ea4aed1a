#pragma once
// What the filter editor does to the saved filters and the selection, without the screen:
// each operation changes `filters` and `selected` (the controller's copy of the selected
// filter) and saves the list. The controller reads the rows' values into a ParameterMap, calls
// one of these and then updates its views. Main thread, like the filter state.

#include <optional>
#include <string>
#include <vector>

#include "app/filters/SavedFilter.h"
#include "platform/foundation/Value.h"

namespace sorvel {

// `wanted` when no saved filter has that name, else `wanted` followed by the first counter
// (1, 2, ...) that makes it free: "A" -> "A1", or "A2" when "A1" is taken too.
std::string uniqueFilterName(const std::vector<Dictionary>& filters, const std::string& wanted);

// With a selection: its parameters become `rows`, the first saved filter of its name takes the
// updated copy, the list is saved. Without one nothing happens. Returns whether it wrote.
bool writeBackSelectedFilter(std::vector<Dictionary>& filters, std::optional<Dictionary>& selected, const ParameterMap& rows);

// With a selection: its value for `id` goes back to `defaultValue` (the other values stay as
// stored), the first saved filter of its name takes the copy, the list is saved.
bool resetSelectedFilterParameter(std::vector<Dictionary>& filters, std::optional<Dictionary>& selected,
                                  const std::string& id, float defaultValue);

// "保存滤镜": the selection gets `wantedName` (made unique when it differs from its current
// name; an empty name is allowed) and the rows' values, replaces the first saved filter of its
// old name, and the list is saved. Returns the final name, or nothing without a selection.
std::optional<std::string> saveSelectedFilter(std::vector<Dictionary>& filters, std::optional<Dictionary>& selected,
                                              const std::string& wantedName, const ParameterMap& rows);

// A new filter of this name with every parameter at its default, appended and saved. Duplicate
// names are allowed; an empty name adds nothing. Returns whether it added one.
bool appendNewFilter(std::vector<Dictionary>& filters, const std::string& name);

// Removes the first saved filter of the selection's name, saves, and clears the selection: a
// deleted filter must not come back when filtering is switched on again, nor be edited or
// shared. Without a selection it prints "没有选中任何滤镜" and returns false.
bool deleteSelectedFilter(std::vector<Dictionary>& filters, std::optional<Dictionary>& selected);

}  // namespace sorvel
