// "CIPhotoEffectMono": low-contrast black and white — luminance, flattened mid-tones, charcoal
// blacks and soft whites.
#include "platform/image/filters/FilmLook.h"

namespace sorvel::image {

SORVEL_FILTER(PhotoEffectMono) {
    using namespace look;
    auto curve = [](double e) { return levels(sCurve(e, -0.25), 0.07, 0.94); };
    registerLook("CIPhotoEffectMono", "Low-contrast black-and-white look.",
                 {mono(px::kLumaR, px::kLumaG, px::kLumaB), curve, curve, curve});
}

}  // namespace sorvel::image
