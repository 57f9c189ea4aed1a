#include "FeedbackdHaptics.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

namespace sorvel {

QString feedbackEventName(const HapticEvent& event) {
    switch (event.kind) {
    case HapticEvent::Kind::Impact:
        // The heavy impact marks a capture; the daemon's shutter event is the strong one.
        return event.style == static_cast<int>(ImpactStyle::Heavy) ? QStringLiteral("camera-shutter")
                                                                    : QStringLiteral("button-pressed");
    case HapticEvent::Kind::Notification:
        switch (static_cast<NotificationFeedback>(event.style)) {
        case NotificationFeedback::Success:
            return QStringLiteral("message-new-instant");
        case NotificationFeedback::Warning:
            return QStringLiteral("dialog-warning");
        case NotificationFeedback::Error:
            return QStringLiteral("dialog-error");
        }
        return QStringLiteral("message-new-instant");
    case HapticEvent::Kind::Selection:
        return QStringLiteral("button-released");
    }
    return QStringLiteral("button-pressed");
}

void FeedbackdHaptics::play(const HapticEvent& event) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("TriggerFeedback"));
    // The daemon's timeout -1 means: play the event's own length once.
    call << QString::fromLatin1(kAppId) << feedbackEventName(event) << QVariantMap() << -1;
    QDBusConnection::sessionBus().send(call);
}

bool installPlatformHaptics() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    if (!bus.interface()->isServiceRegistered(QString::fromLatin1(FeedbackdHaptics::kService)).value()) return false;
    static FeedbackdHaptics backend;
    HapticsBackend::install(&backend);
    return true;
}

}  // namespace sorvel
