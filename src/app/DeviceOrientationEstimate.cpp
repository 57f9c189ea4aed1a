#include "app/DeviceOrientationEstimate.h"

#include <cmath>
#include <numbers>

namespace sorvel {

double orientationAngleDegrees(double x, double y) {
    double a = std::atan2(x, -y) * 180 / std::numbers::pi;
    if (a < 0) a += 360;
    return a;
}

int deviceOrientationForAcceleration(double x, double y) {
    const double a = orientationAngleDegrees(x, y);
    if (a >= 315 || a < 45) return 1;
    if (a < 135) return 4;
    if (a < 225) return 2;
    return 3;
}

bool hasInPlaneGravity(double x, double y) { return x != 0 || y != 0; }

}  // namespace sorvel
