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

FeedbackdHaptics::FeedbackdHaptics(const QDBusConnection& bus) : bus_(std::make_unique<QDBusConnection>(bus)) {}

FeedbackdHaptics::~FeedbackdHaptics() = default;

std::unique_ptr<FeedbackdHaptics> FeedbackdHaptics::connect(const QDBusConnection& bus) {
    if (!bus.isConnected() || !bus.interface()) return nullptr;
    if (!bus.interface()->isServiceRegistered(QString::fromLatin1(kService)).value()) return nullptr;
    return std::unique_ptr<FeedbackdHaptics>(new FeedbackdHaptics(bus));
}

void FeedbackdHaptics::play(const HapticEvent& event) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("TriggerFeedback"));
    // The daemon's timeout -1 means: play the event's own length once.
    call << QString::fromLatin1(kAppId) << feedbackEventName(event) << QVariantMap() << -1;
    bus_->send(call);
}

bool installPlatformHaptics() {
    // Never destroyed: any thread may still be playing through it while the process exits.
    static FeedbackdHaptics* backend = nullptr;
    if (!backend) backend = FeedbackdHaptics::connect(QDBusConnection::sessionBus()).release();
    if (!backend) return false;
    HapticsBackend::install(backend);
    return true;
}

}  // namespace sorvel
