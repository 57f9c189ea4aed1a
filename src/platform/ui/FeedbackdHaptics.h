#pragma once
// Haptics through the feedback daemon of Linux phones (feedbackd): every haptic event becomes
// one TriggerFeedback call on the session bus, naming a feedback event from the daemon's theme.

#include <QString>

#include "Haptics.h"

namespace sorvel {

// The daemon's event name for a haptic.
QString feedbackEventName(const HapticEvent& event);

class FeedbackdHaptics final : public HapticsBackend {
public:
    static constexpr const char* kService = "org.sigxcpu.Feedback";
    static constexpr const char* kPath = "/org/sigxcpu/Feedback";
    static constexpr const char* kInterface = "org.sigxcpu.Feedback";
    static constexpr const char* kAppId = "org.sorvel.Camera";

    // Sends without waiting for the reply, so a slow daemon never stalls a gesture. Any thread.
    void play(const HapticEvent& event) override;
};

// Installs the feedbackd backend when its service is registered on the session bus; with no
// bus or no daemon the current (do-nothing) backend stays. Returns whether it installed.
bool installPlatformHaptics();

}  // namespace sorvel
