#pragma once
// Haptics through the feedback daemon of Linux phones (feedbackd): every haptic event becomes
// one TriggerFeedback call on the session bus, naming a feedback event from the daemon's theme.

#include <QString>
#include <memory>

#include "Haptics.h"

class QDBusConnection;

namespace sorvel {

// The daemon's event name for a haptic.
QString feedbackEventName(const HapticEvent& event);

class FeedbackdHaptics final : public HapticsBackend {
public:
    static constexpr const char* kService = "org.sigxcpu.Feedback";
    static constexpr const char* kPath = "/org/sigxcpu/Feedback";
    static constexpr const char* kInterface = "org.sigxcpu.Feedback";
    static constexpr const char* kAppId = "org.sorvel.Camera";

    // A backend talking to the daemon on `bus`; null when the bus is not connected or no
    // daemon holds the service name on it.
    static std::unique_ptr<FeedbackdHaptics> connect(const QDBusConnection& bus);
    ~FeedbackdHaptics() override;

    // Sends without waiting for the reply, so a slow daemon never stalls a gesture. Any thread.
    void play(const HapticEvent& event) override;

private:
    explicit FeedbackdHaptics(const QDBusConnection& bus);
    std::unique_ptr<QDBusConnection> bus_;
};

// Installs the feedbackd backend when its service is registered on the session bus; with no
// bus or no daemon the current (do-nothing) backend stays. Returns whether it installed.
bool installPlatformHaptics();

}  // namespace sorvel
