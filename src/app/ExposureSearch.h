#pragma once
// The deep mode's automatic exposure: start bright, measure how much of a 256 x 256 rendition
// is clipped white or crushed black, and step down until the highlights hold, stopping early
// when the shadows begin to crush. Runs on the capture callback thread.

#include <functional>
#include <optional>
#include <utility>

#include "platform/image/Image.h"

namespace sorvel {

// (overexposed, underexposed) fractions of the 256 x 256 thumbnail: all of R, G, B > 254, or
// all < 7, in 8-bit. (0, 0) when the thumbnail cannot be rendered.
std::pair<float, float> analyzeImage(const image::Image& picture);

// `developAt(ev)` sets the developer's exposure and returns its output (nothing when it has
// none). Returns the exposure to use: 0.3, -0.1, -0.5 or -0.9.
float calculateAdjustedEV(const std::function<std::optional<image::Image>(float ev)>& developAt);

}  // namespace sorvel
