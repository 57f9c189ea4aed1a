#pragma once
// The blur behind the settings panel follows the theme's background colour: a light blur
// behind a light colour, a dark one otherwise.

#include <vector>

namespace sorvel {

// (299 r + 587 g + 114 b) / 1000 > 0.5 on the first three components (0 ... 1); fewer than
// three components count as not light.
bool backgroundIsLight(const std::vector<double>& components);

}  // namespace sorvel
