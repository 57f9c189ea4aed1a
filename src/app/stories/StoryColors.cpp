#include "StoryColors.h"

#include <array>

namespace sorvel {

namespace {

QColor rgb(double r, double g, double b) { return QColor::fromRgbF(float(r), float(g), float(b), 1.0f); }

}  // namespace

StoryColors storyColors(std::string_view scheme, RandomSource& random) {
    if (scheme == "粉色") return {rgb(0.905, 0.447, 0.58), Qt::white};
    if (scheme == "随机") {
        static const std::array<StoryColors, 5> pairs = {{
            {rgb(0.1, 0.2, 0.4), rgb(0.82, 0.88, 0.93)},
            {rgb(0.24, 0.47, 0.27), rgb(1.0, 0.96, 0.87)},
            {rgb(0.6, 0.2, 0.2), rgb(1.0, 0.87, 0.87)},
            {rgb(0.4, 0.3, 0.55), rgb(0.93, 0.89, 0.95)},
            {rgb(0.2, 0.3, 0.6), rgb(1.0, 1.0, 0.88)},
        }};
        return pairs[drawBetween(random, 0, static_cast<int>(pairs.size()) - 1)];
    }
    return {Qt::black, Qt::white};
}

}  // namespace sorvel
