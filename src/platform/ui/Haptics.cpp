#include "Haptics.h"

#include <atomic>

namespace sorvel {

namespace {
class SilentHaptics final : public HapticsBackend {
public:
    void play(const HapticEvent&) override {}
};
std::atomic<HapticsBackend*> installed{nullptr};
}  // namespace

HapticsBackend& HapticsBackend::current() {
    if (auto* b = installed.load()) return *b;
    static SilentHaptics silent;
    return silent;
}

void HapticsBackend::install(HapticsBackend* backend) { installed.store(backend); }

void RecordingHaptics::play(const HapticEvent& event) {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
}
std::vector<HapticEvent> RecordingHaptics::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}
std::size_t RecordingHaptics::count() const {
    std::lock_guard lock(mutex_);
    return events_.size();
}
void RecordingHaptics::clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
}

void ImpactFeedbackGenerator::impactOccurred(double intensity) {
    HapticsBackend::current().play({HapticEvent::Kind::Impact, static_cast<int>(style_), intensity});
}

void NotificationFeedbackGenerator::notificationOccurred(NotificationFeedback type) {
    HapticsBackend::current().play({HapticEvent::Kind::Notification, static_cast<int>(type)});
}

void SelectionFeedbackGenerator::selectionChanged() {
    HapticsBackend::current().play({HapticEvent::Kind::Selection, 0});
}

}  // namespace sorvel
