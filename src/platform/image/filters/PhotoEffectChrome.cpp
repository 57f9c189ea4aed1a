// "CIPhotoEffectChrome": high-saturation colour film — saturation raised by a third, a firm S
// curve with deep blacks, and slightly cool shadows.
#include "platform/image/filters/FilmLook.h"

namespace sorvel::image {

SORVEL_FILTER(PhotoEffectChrome) {
    using namespace look;
    registerLook("CIPhotoEffectChrome", "High-saturation colour film look.",
                 {px::Matrix3::saturation(1.32f),
                  [](double e) { return sCurve(e, 0.45); },
                  [](double e) { return sCurve(e, 0.42); },
                  [](double e) { return levels(sCurve(e, 0.38), 0.02, 1.0); }});
}

}  // namespace sorvel::image
