#pragma once
// A saved filter is a Dictionary with exactly two entries: "name" (string) and "parameters"
// (Dictionary from a parameter id as decimal text, "1" to "25", to a number). It stays a
// Dictionary because that is how it is stored and exchanged; these helpers read and build it.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Value.h"

namespace sorvel {

// Parameter id text -> value in the parameter's own units, as 32-bit floats.
using ParameterMap = std::map<std::string, float, std::less<>>;

Dictionary makeSavedFilter(std::string name, const ParameterMap& parameters);

// Every catalogue id at its default value (a filter as the editor creates it).
ParameterMap defaultParameterMap();

Dictionary parametersDictionary(const ParameterMap& parameters);

// The "parameters" entry when it is a dictionary whose every value is a number; nothing
// otherwise (such a filter is not applied and cannot be shared).
std::optional<ParameterMap> parametersOfFilter(const Dictionary& filter);

// The "name" entry when it is a string.
const std::string* nameOfFilter(const Dictionary& filter);

// Index of the first filter whose "name" is a string equal to `name`: names need not be
// unique and the earliest one wins.
std::optional<std::size_t> indexOfFilterNamed(const std::vector<Dictionary>& filters, std::string_view name);

}  // namespace sorvel
