#pragma once
// The innovative card's title glow ("shadowAnimations"): a white shadow whose radius shrinks
// from 50 to 0 over 6 s while its opacity rises from 0 to 1 in the first fifth and stays, then
// the cycle starts again. A glow that flashes up wide and then tightens around the letters.

namespace sorvel {

struct TitleGlow {
    double radius;
    double opacity;
};

inline constexpr double kTitleGlowPeriod = 6.0;

// The glow `seconds` after the animation began (any non-negative time; it repeats forever).
TitleGlow titleGlowAt(double seconds);

}  // namespace sorvel
