#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QString>
#include <QTest>
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

namespace {

// A private message bus for one test, and a stand-in daemon on it that records the calls.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        if (!daemon_.waitForStarted(5000) || !daemon_.waitForReadyRead(5000)) return;
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus("haptics-daemon");
        QDBusConnection::disconnectFromBus("haptics-app");
        daemon_.kill();
        daemon_.waitForFinished(2000);
    }
    const QString& address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
};

class FakeFeedbackd final : public QDBusVirtualObject {
public:
    std::vector<QDBusMessage> calls;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        calls.push_back(message);
        connection.send(message.createReply(QVariantList{QVariant::fromValue(1u)}));
        return true;
    }
};

}  // namespace

// The call must reach a daemon on the bus with the daemon's own signature (s s a{sv} i):
// a hints argument sent as anything but a dictionary, or the app id in the wrong place, is
// refused by the real daemon and the phone stays still. Without the service name on the bus,
// no backend is made.
TEST(UiHaptics, TriggerFeedbackReachesTheDaemonOnTheBus) {
    sorvel::testing::ensureOffscreenApplication();
    PrivateBus bus;
    if (bus.address().isEmpty()) GTEST_SKIP() << "dbus-daemon could not be started";
    QDBusConnection app = QDBusConnection::connectToBus(bus.address(), "haptics-app");
    ASSERT_TRUE(app.isConnected());
    EXPECT_EQ(FeedbackdHaptics::connect(app), nullptr);

    QDBusConnection service = QDBusConnection::connectToBus(bus.address(), "haptics-daemon");
    FakeFeedbackd daemon;
    ASSERT_TRUE(service.registerVirtualObject(FeedbackdHaptics::kPath, &daemon));
    ASSERT_TRUE(service.registerService(FeedbackdHaptics::kService));
    auto backend = FeedbackdHaptics::connect(app);
    ASSERT_NE(backend, nullptr);

    backend->play({HapticEvent::Kind::Impact, static_cast<int>(ImpactStyle::Heavy)});
    backend->play({HapticEvent::Kind::Notification, static_cast<int>(NotificationFeedback::Success)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return daemon.calls.size() == 2; }, 5000));
    const QDBusMessage& first = daemon.calls[0];
    EXPECT_EQ(first.interface(), FeedbackdHaptics::kInterface);
    EXPECT_EQ(first.member(), "TriggerFeedback");
    EXPECT_EQ(first.signature(), "ssa{sv}i");
    QVariantList args = first.arguments();
    ASSERT_EQ(args.size(), 4);
    EXPECT_EQ(args[0].toString(), "org.sorvel.Camera");
    EXPECT_EQ(args[1].toString(), "camera-shutter");
    EXPECT_EQ(args[3].toInt(), -1);
    EXPECT_EQ(daemon.calls[1].arguments().value(1).toString(), "message-new-instant");
    service.unregisterObject(FeedbackdHaptics::kPath);
}
