// "CISourceOverCompositing": inputImage over inputBackgroundImage (premultiplied source-over);
// extent is the union.
#include "platform/image/FilterKit.h"

namespace sorvel::image {

SORVEL_FILTER(SourceOverCompositing) {
    registerFilter({"CISourceOverCompositing", "inputImage over inputBackgroundImage.", {},
                    [](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        const Image* bg = inputImage(f, kInputBackgroundImageKey);
                        if (!in || !bg) return std::nullopt;
                        return in->composited(*bg);
                    }});
}

}  // namespace sorvel::image
