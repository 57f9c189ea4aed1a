#include "app/filters/FilterEdits.h"

#include "app/filters/FilterStore.h"
#include "platform/foundation/Console.h"

namespace sorvel {

namespace {

// The selection's name, or the empty text for a filter whose "name" is not a string.
std::string selectedName(const Dictionary& selected) {
    const std::string* name = nameOfFilter(selected);
    return name ? *name : std::string();
}

void replaceFirstNamed(std::vector<Dictionary>& filters, const std::string& name, const Dictionary& filter) {
    if (auto index = indexOfFilterNamed(filters, name)) filters[*index] = filter;
}

}  // namespace

std::string uniqueFilterName(const std::vector<Dictionary>& filters, const std::string& wanted) {
    std::string candidate = wanted;
    for (std::size_t counter = 1; indexOfFilterNamed(filters, candidate); ++counter)
        candidate = wanted + std::to_string(counter);
    return candidate;
}

bool writeBackSelectedFilter(std::vector<Dictionary>& filters, std::optional<Dictionary>& selected, const ParameterMap& rows) {
    if (!selected) return false;
    Dictionary updated = *selected;
    updated["parameters"] = Value(parametersDictionary(rows));
    replaceFirstNamed(filters, selectedName(updated), updated);
    saveFiltersToUserDefaults(filters);
    selected = std::move(updated);
    return true;
}

bool resetSelectedFilterParameter(std::vector<Dictionary>& filters, std::optional<Dictionary>& selected,
                                  const std::string& id, float defaultValue) {
    if (!selected) return false;
    Dictionary updated = *selected;
    Dictionary parameters;
    if (auto it = updated.find("parameters"); it != updated.end() && it->second.dictionaryValue())
        parameters = *it->second.dictionaryValue();
    parameters[id] = Value(defaultValue);
    updated["parameters"] = Value(std::move(parameters));
    replaceFirstNamed(filters, selectedName(updated), updated);
    saveFiltersToUserDefaults(filters);
    selected = std::move(updated);
    return true;
}

std::optional<std::string> saveSelectedFilter(std::vector<Dictionary>& filters, std::optional<Dictionary>& selected,
                                              const std::string& wantedName, const ParameterMap& rows) {
    if (!selected) return std::nullopt;
    const std::string oldName = selectedName(*selected);
    const std::string finalName = wantedName == oldName ? oldName : uniqueFilterName(filters, wantedName);
    Dictionary updated = *selected;
    updated["name"] = Value(finalName);
    updated["parameters"] = Value(parametersDictionary(rows));
    replaceFirstNamed(filters, oldName, updated);
    saveFiltersToUserDefaults(filters);
    selected = std::move(updated);
    return finalName;
}

bool appendNewFilter(std::vector<Dictionary>& filters, const std::string& name) {
    if (name.empty()) return false;
    filters.push_back(makeSavedFilter(name, defaultParameterMap()));
    saveFiltersToUserDefaults(filters);
    return true;
}

bool deleteSelectedFilter(std::vector<Dictionary>& filters, std::optional<Dictionary>& selected) {
    if (!selected) {
        consolePrint("没有选中任何滤镜");
        return false;
    }
    if (auto index = indexOfFilterNamed(filters, selectedName(*selected)))
        filters.erase(filters.begin() + static_cast<std::ptrdiff_t>(*index));
    saveFiltersToUserDefaults(filters);
    selected.reset();
    return true;
}

}  // namespace sorvel
