#pragma once
// The table that ties catalogue parameters to the image framework's named filters, applied in
// table order by the render chain (FilterChain.h).

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/image/FilterValue.h"

namespace sorvel {

// The key that is not a filter input: the parameter is the strength with which the filter's
// whole output is mixed over the current image.
inline constexpr const char* kBlendKey = "blend";

struct ParameterMapping {
    std::string id;   // parameter id as decimal text
    std::string key;  // filter input key, or kBlendKey
    // Converts the parameter value into what the input expects; absent: the float itself.
    std::function<image::FilterValue(float)> transform;
};

struct FilterOperation {
    std::string filterName;
    std::vector<ParameterMapping> parameterMappings;
};

// The 21 rows, built once on first use. Any thread.
const std::vector<FilterOperation>& allFilterOperations();

}  // namespace sorvel
