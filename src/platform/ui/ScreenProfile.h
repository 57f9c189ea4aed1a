#pragma once
// The screen the app is laid out for: its size in points, the safe-area insets that system
// bars cover, and how many device pixels make one point.

namespace sorvel {

struct EdgeInsets {
    double top = 0, left = 0, bottom = 0, right = 0;
};

struct ScreenProfile {
    double width = 390;
    double height = 844;
    EdgeInsets safeArea{47, 0, 34, 0};
    double scale = 3.0;

    // A notched phone in portrait, the layout the app is designed around.
    static ScreenProfile phone() { return ScreenProfile{}; }
};

}  // namespace sorvel
