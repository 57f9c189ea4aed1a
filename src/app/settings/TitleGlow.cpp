#include "app/settings/TitleGlow.h"

#include <cmath>

namespace sorvel {

TitleGlow titleGlowAt(double seconds) {
    double phase = std::fmod(std::fmax(0.0, seconds), kTitleGlowPeriod) / kTitleGlowPeriod;
    // Opacity key frames 0, 1, 1 at 0, 0.2, 1, linear between them.
    double opacity = phase < 0.2 ? phase / 0.2 : 1.0;
    return {50.0 * (1.0 - phase), opacity};
}

}  // namespace sorvel
