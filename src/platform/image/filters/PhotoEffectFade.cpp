// "CIPhotoEffectFade": medium-saturation faded film — colour slightly muted, blacks lifted and
// whites lowered to a matte print, with a faint warm cast.
#include "platform/image/filters/FilmLook.h"

namespace sorvel::image {

SORVEL_FILTER(PhotoEffectFade) {
    using namespace look;
    registerLook("CIPhotoEffectFade", "Medium-saturation faded film look.",
                 {px::Matrix3::saturation(0.82f),
                  [](double e) { return levels(sCurve(e, 0.2), 0.10, 0.95); },
                  [](double e) { return levels(sCurve(e, 0.2), 0.09, 0.93); },
                  [](double e) { return levels(sCurve(e, 0.2), 0.08, 0.88); }});
}

}  // namespace sorvel::image
