#include "app/settings/BackgroundLuminance.h"

namespace sorvel {

bool backgroundIsLight(const std::vector<double>& c) {
    if (c.size() < 3) return false;
    return (299 * c[0] + 587 * c[1] + 114 * c[2]) / 1000 > 0.5;
}

}  // namespace sorvel
