#include <QString>
#include <cstdlib>

#include "UiTestSupport.h"
#include "platform/ui/FeedbackdHaptics.h"

using namespace sorvel;

// Each haptic must name an event the feedback daemon's themes define; a shutter that played
// the button click, or an error that played the success sound, would mislead the user.
TEST(UiHaptics, EventNamesFollowTheTable) {
    auto impact = [](ImpactStyle s) { return feedbackEventName({HapticEvent::Kind::Impact, static_cast<int>(s)}); };
    auto note = [](NotificationFeedback n) {
        return feedbackEventName({HapticEvent::Kind::Notification, static_cast<int>(n)});
    };
    EXPECT_EQ(impact(ImpactStyle::Heavy), "camera-shutter");
    for (ImpactStyle s : {ImpactStyle::Light, ImpactStyle::Medium, ImpactStyle::Soft, ImpactStyle::Rigid})
        EXPECT_EQ(impact(s), "button-pressed");
    EXPECT_EQ(note(NotificationFeedback::Success), "message-new-instant");
    EXPECT_EQ(note(NotificationFeedback::Warning), "dialog-warning");
    EXPECT_EQ(note(NotificationFeedback::Error), "dialog-error");
    EXPECT_EQ(feedbackEventName({HapticEvent::Kind::Selection, 0}), "button-released");
}

// Without a session bus the do-nothing backend must stay: installing a backend that sends
// into nowhere would be harmless, but claiming success would hide a missing daemon.
TEST(UiHaptics, NoSessionBusLeavesTheSilentBackend) {
    sorvel::testing::ensureOffscreenApplication();
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    unsetenv("DISPLAY");
    // libdbus falls back to $XDG_RUNTIME_DIR/bus: point it at a folder without one.
    setenv("XDG_RUNTIME_DIR", ::testing::TempDir().c_str(), 1);
    HapticsBackend* before = &HapticsBackend::current();
    EXPECT_FALSE(installPlatformHaptics());
    EXPECT_EQ(&HapticsBackend::current(), before);
    EXPECT_EQ(dynamic_cast<FeedbackdHaptics*>(&HapticsBackend::current()), nullptr);
}
