// "CIPhotoEffectNoir": high-contrast black and white — a red-leaning channel mix (darker skies,
// brighter skin), crushed blacks, bright whites and a steep S curve.
#include "platform/image/filters/FilmLook.h"

namespace sorvel::image {

SORVEL_FILTER(PhotoEffectNoir) {
    using namespace look;
    auto curve = [](double e) { return sCurve(clamp01((e - 0.06) / 0.86), 0.9); };
    registerLook("CIPhotoEffectNoir", "High-contrast black-and-white look.",
                 {mono(0.36f, 0.56f, 0.08f), curve, curve, curve});
}

}  // namespace sorvel::image
