#pragma once
// CIELAB (D65, white = a white card in daylight, Y = 1) from linear sRGB, the sRGB transfer
// curve, and the CIEDE2000 colour difference.

namespace sorvel::bench {

struct Lab {
    double L = 0, a = 0, b = 0;
};

double srgbDecode(double encoded);
Lab labFromLinearSrgb(double r, double g, double b);
double deltaE2000(const Lab& x, const Lab& y);

}  // namespace sorvel::bench
