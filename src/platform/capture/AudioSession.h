#pragma once
// The process's audio session: category, activation and the output volume, which the
// hardware volume keys move (the UI calls setOutputVolume for them) and which the app
// observes to use the keys as a shutter.
// Threads: any; observers run on the thread that changed the volume.

#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "platform/capture/CaptureTypes.h"

namespace sorvel {

enum class AudioSessionCategory { Ambient, SoloAmbient, Playback, Record, PlayAndRecord };

enum AudioSessionCategoryOptions : unsigned {
    AudioSessionOptionNone = 0,
    AudioSessionOptionMixWithOthers = 1,
    AudioSessionOptionDuckOthers = 2,
};

class AudioSession {
public:
    static AudioSession& shared();

    CaptureStatus setCategory(AudioSessionCategory category, unsigned options);
    AudioSessionCategory category() const;
    unsigned categoryOptions() const;
    CaptureStatus setActive(bool active, unsigned options = 0);
    bool isActive() const;

    // 0.0 .. 1.0.
    float outputVolume() const;
    // Clamped to 0..1; observers hear of real changes only.
    void setOutputVolume(float volume);
    using VolumeObserver = std::function<void(float newVolume)>;
    // Returns a token for removeVolumeObserver.
    int addVolumeObserver(VolumeObserver observer);
    void removeVolumeObserver(int token);

    CaptureStatus setAllowHapticsAndSystemSoundsDuringRecording(bool allow);
    bool allowHapticsAndSystemSoundsDuringRecording() const;

private:
    mutable std::mutex mutex_;
    AudioSessionCategory category_ = AudioSessionCategory::SoloAmbient;
    unsigned options_ = 0;
    bool active_ = false;
    float volume_ = 0.5f;
    bool allowHaptics_ = false;
    int nextToken_ = 1;
    std::map<int, VolumeObserver> observers_;
};

}  // namespace sorvel
