#pragma once
// The fixed catalogue of adjustable filter parameters. Saved filters and share codes refer to
// a parameter only by its id (as decimal text in a filter's "parameters" map), so the
// catalogue is never stored: it is rebuilt in code and must not change between versions.

#include <cstdint>
#include <string>
#include <vector>

namespace sorvel {

struct FilterParameter {
    std::int64_t id = 0;        // 1 to 25, unique
    std::string name;           // display label, also a localisation key
    float min = 0;
    float max = 0;
    float defaultValue = 0;     // the neutral value: the parameter leaves the image untouched
    std::int64_t type = 0;      // 0 continuous, 1 whole number
};

// The 25 descriptors in catalogue order. Any thread.
std::vector<FilterParameter> initializeFilterParameters();

// The same catalogue, built once per process. Any thread.
const std::vector<FilterParameter>& filterParameterCatalogue();

// The descriptor with this id, or null.
const FilterParameter* findFilterParameter(std::int64_t id);

}  // namespace sorvel
