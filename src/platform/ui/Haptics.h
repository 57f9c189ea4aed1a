#pragma once
// Haptic feedback. On this platform a haptic is an event handed to a backend: a recording
// backend in tests, the phone's feedback daemon where one exists, otherwise nothing.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sorvel {

enum class ImpactStyle { Light, Medium, Heavy, Soft, Rigid };
enum class NotificationFeedback { Success, Warning, Error };

struct HapticEvent {
    enum class Kind { Impact, Notification, Selection } kind;
    int style;  // ImpactStyle or NotificationFeedback as an integer
    double intensity = 1.0;
};

class HapticsBackend {
public:
    virtual ~HapticsBackend() = default;
    virtual void play(const HapticEvent& event) = 0;

    // The process-wide backend (default: one that does nothing). Any thread.
    static HapticsBackend& current();
    static void install(HapticsBackend* backend);
};

class RecordingHaptics final : public HapticsBackend {
public:
    void play(const HapticEvent& event) override;
    std::vector<HapticEvent> events() const;
    std::size_t count() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<HapticEvent> events_;
};

class ImpactFeedbackGenerator {
public:
    explicit ImpactFeedbackGenerator(ImpactStyle style) : style_(style) {}
    void prepare() {}
    void impactOccurred(double intensity = 1.0);
    ImpactStyle style() const { return style_; }

private:
    ImpactStyle style_;
};

class NotificationFeedbackGenerator {
public:
    void prepare() {}
    void notificationOccurred(NotificationFeedback type);
};

class SelectionFeedbackGenerator {
public:
    void prepare() {}
    void selectionChanged();
};

}  // namespace sorvel
