// "CIPhotoEffectTransfer": warm film — a warm balance (more red, less blue), a light S curve,
// golden highlights and lifted brown shadows.
#include "platform/image/filters/FilmLook.h"

namespace sorvel::image {

SORVEL_FILTER(PhotoEffectTransfer) {
    using namespace look;
    registerLook("CIPhotoEffectTransfer", "Warm colour film look.",
                 {px::Matrix3::gains(1.10f, 1.0f, 0.82f).after(px::Matrix3::saturation(1.08f)),
                  [](double e) { return levels(sCurve(e, 0.25), 0.04, 1.0); },
                  [](double e) { return levels(sCurve(e, 0.25), 0.025, 0.98); },
                  [](double e) { return levels(sCurve(e, 0.25), 0.01, 0.90); }});
}

}  // namespace sorvel::image
