#include "app/ExposureCompensation.h"

#include <algorithm>
#include <cmath>

namespace sorvel {

float exposureBiasTarget(float current, float value, bool isAbsolute, float lo, float hi) {
    float target = isAbsolute ? value : current + value;
    target = std::min(std::max(target, lo), hi);
    return std::min(std::max(target, -5.0f), 5.0f);
}

bool ExposureStepTracker::record(float bias) {
    if (std::fabs(bias - lastStep_) < 0.3f) return false;
    lastStep_ = bias;
    return true;
}

}  // namespace sorvel
