#pragma once
// Exposure compensation arithmetic: the bias a request asks for, held inside the device's range
// and never beyond ±5 EV, and the step bookkeeping that notes every 0.3 EV of change.

namespace sorvel {

// `value` is added to `current` unless `isAbsolute`; the result is clamped to [lo, hi] and then
// to [-5, +5].
float exposureBiasTarget(float current, float value, bool isAbsolute, float lo, float hi);

// Remembers the bias at the last step of at least 0.3 EV. Nothing reads it yet: it is where an
// exposure haptic per step would hook in.
class ExposureStepTracker {
public:
    // True when `bias` is at least 0.3 EV away from the last step (and becomes the new step).
    bool record(float bias);
    float lastStep() const { return lastStep_; }

private:
    float lastStep_ = 0;
};

}  // namespace sorvel
