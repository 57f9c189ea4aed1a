#include "platform/capture/AudioSession.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace sorvel {

AudioSession& AudioSession::shared() {
    static AudioSession session;
    return session;
}

CaptureStatus AudioSession::setCategory(AudioSessionCategory category, unsigned options) {
    std::lock_guard lock(mutex_);
    category_ = category;
    options_ = options;
    return std::nullopt;
}

AudioSessionCategory AudioSession::category() const {
    std::lock_guard lock(mutex_);
    return category_;
}

unsigned AudioSession::categoryOptions() const {
    std::lock_guard lock(mutex_);
    return options_;
}

CaptureStatus AudioSession::setActive(bool active, unsigned) {
    std::lock_guard lock(mutex_);
    active_ = active;
    return std::nullopt;
}

bool AudioSession::isActive() const {
    std::lock_guard lock(mutex_);
    return active_;
}

float AudioSession::outputVolume() const {
    std::lock_guard lock(mutex_);
    return volume_;
}

void AudioSession::setOutputVolume(float volume) {
    if (!std::isfinite(volume)) return;
    std::vector<VolumeObserver> observers;
    float value = std::clamp(volume, 0.0f, 1.0f);
    {
        std::lock_guard lock(mutex_);
        if (value == volume_) return;
        volume_ = value;
        for (auto& [token, o] : observers_) observers.push_back(o);
    }
    // Outside the lock: an observer may set the volume back (the volume shutter does).
    for (auto& o : observers) o(value);
}

int AudioSession::addVolumeObserver(VolumeObserver observer) {
    std::lock_guard lock(mutex_);
    int token = nextToken_++;
    observers_[token] = std::move(observer);
    return token;
}

void AudioSession::removeVolumeObserver(int token) {
    std::lock_guard lock(mutex_);
    observers_.erase(token);
}

CaptureStatus AudioSession::setAllowHapticsAndSystemSoundsDuringRecording(bool allow) {
    std::lock_guard lock(mutex_);
    allowHaptics_ = allow;
    return std::nullopt;
}

bool AudioSession::allowHapticsAndSystemSoundsDuringRecording() const {
    std::lock_guard lock(mutex_);
    return allowHaptics_;
}

}  // namespace sorvel
