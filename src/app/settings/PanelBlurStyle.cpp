#include "app/settings/PanelBlurStyle.h"

namespace sorvel {

BlurStyle blurStyleForBackground(const std::vector<double>& c) {
    if (c.size() < 3) return BlurStyle::Dark;
    const double luminance = (299 * c[0] + 587 * c[1] + 114 * c[2]) / 1000;
    return luminance > 0.5 ? BlurStyle::Light : BlurStyle::Dark;
}

}  // namespace sorvel
