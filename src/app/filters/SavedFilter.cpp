#include "app/filters/SavedFilter.h"

#include <cmath>
#include <limits>

#include "app/filters/FilterParameter.h"

namespace sorvel {

namespace {

// A stored double beyond float's range becomes an infinity rather than undefined behaviour;
// the encoder then refuses it instead of crashing.
float narrowToFloat(double v) {
    constexpr double largest = std::numeric_limits<float>::max();
    if (v > largest) return std::numeric_limits<float>::infinity();
    if (v < -largest) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}

}  // namespace

Dictionary parametersDictionary(const ParameterMap& parameters) {
    Dictionary d;
    for (const auto& [id, value] : parameters) d.emplace(id, Value(value));
    return d;
}

Dictionary makeSavedFilter(std::string name, const ParameterMap& parameters) {
    return Dictionary{{"name", Value(std::move(name))}, {"parameters", Value(parametersDictionary(parameters))}};
}

ParameterMap defaultParameterMap() {
    ParameterMap map;
    for (const auto& p : filterParameterCatalogue()) map[std::to_string(p.id)] = p.defaultValue;
    return map;
}

std::optional<ParameterMap> parametersOfFilter(const Dictionary& filter) {
    auto it = filter.find("parameters");
    if (it == filter.end()) return std::nullopt;
    const Dictionary* d = it->second.dictionaryValue();
    if (!d) return std::nullopt;
    ParameterMap map;
    for (const auto& [key, value] : *d) {
        if (!value.isNumber()) return std::nullopt;
        map[key] = narrowToFloat(value.toReal());
    }
    return map;
}

const std::string* nameOfFilter(const Dictionary& filter) {
    auto it = filter.find("name");
    return it == filter.end() ? nullptr : it->second.stringValue();
}

std::optional<std::size_t> indexOfFilterNamed(const std::vector<Dictionary>& filters, std::string_view name) {
    for (std::size_t i = 0; i < filters.size(); ++i) {
        const std::string* n = nameOfFilter(filters[i]);
        if (n && *n == name) return i;
    }
    return std::nullopt;
}

}  // namespace sorvel
