// "CIPhotoEffectInstant": low-saturation instant-print film — colour strongly muted, soft
// contrast, creamy yellow highlights and slightly blue-green lifted shadows.
#include "platform/image/filters/FilmLook.h"

namespace sorvel::image {

SORVEL_FILTER(PhotoEffectInstant) {
    using namespace look;
    registerLook("CIPhotoEffectInstant", "Low-saturation instant film look.",
                 {px::Matrix3::saturation(0.62f),
                  [](double e) { return levels(sCurve(e, 0.1), 0.05, 0.99); },
                  [](double e) { return levels(sCurve(e, 0.1), 0.07, 0.96); },
                  [](double e) { return levels(sCurve(e, 0.05), 0.09, 0.84); }});
}

}  // namespace sorvel::image
