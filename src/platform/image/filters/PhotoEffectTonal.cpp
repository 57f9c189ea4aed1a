// "CIPhotoEffectTonal": medium-contrast black and white — luminance with a gentle S curve and
// the full range from black to white.
#include "platform/image/filters/FilmLook.h"

namespace sorvel::image {

SORVEL_FILTER(PhotoEffectTonal) {
    using namespace look;
    auto curve = [](double e) { return sCurve(e, 0.3); };
    registerLook("CIPhotoEffectTonal", "Medium-contrast black-and-white look.",
                 {mono(px::kLumaR, px::kLumaG, px::kLumaB), curve, curve, curve});
}

}  // namespace sorvel::image
