#pragma once
// Dispatch queues: the main queue (the Qt event loop in the app, a manual queue in tests),
// serial queues by label, and one global concurrent queue. Delays go through the Clock.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sorvel {

class VirtualClock;
using Block = std::function<void()>;

class DispatchQueue {
public:
    explicit DispatchQueue(std::string label) : label_(std::move(label)) {}
    virtual ~DispatchQueue() = default;
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    // Runs `block` later on this queue. Any thread.
    virtual void async(Block block) = 0;
    // Runs `block` on this queue once `seconds` have passed on the current Clock. Any thread.
    void asyncAfter(double seconds, Block block);
    // Runs `block` on this queue and waits for it. Never call on the queue itself (for the
    // main queue: never from the main thread); that would wait forever.
    void sync(const Block& block);

    const std::string& label() const { return label_; }

    // The installed main queue. Any thread.
    static DispatchQueue& main();
    // The shared concurrent queue of user-initiated priority. Any thread.
    static DispatchQueue& global();
    static std::shared_ptr<DispatchQueue> makeSerial(std::string label);

    // Installs the main queue; the calling thread becomes the main thread. nullptr uninstalls.
    static void installMain(DispatchQueue* queue);
    static bool isMainThread();

private:
    std::string label_;
};

// Counts blocks queued or running on background queues, so a test can wait until every
// background hop has finished before it looks at the result.
class BackgroundActivity {
public:
    static void begin();
    static void end();
    static int pending();
    // Waits until the count changes or `seconds` pass.
    static void waitForChange(double seconds);
    // Wakes every waiter (the manual main queue's drain loop waits here too).
    static void notify();
};

// The main queue of tests: blocks run only when the test drains the queue, and delayed
// blocks and timers run only when the test advances the virtual clock.
class ManualMainQueue final : public DispatchQueue {
public:
    explicit ManualMainQueue(VirtualClock& clock);
    ~ManualMainQueue() override;
    void async(Block block) override;

    // Runs queued blocks until the main queue is empty and no background queue has work
    // left, or until `realTimeoutSeconds` of real time passed. Returns false on timeout.
    bool runUntilIdle(double realTimeoutSeconds = 60.0);
    // Advances virtual time by `seconds`, firing due callbacks in time order (ties in
    // submission order) and draining the queue after each.
    void advance(double seconds);
    std::size_t queued() const;

private:
    bool runQueued();
    VirtualClock& clock_;
    mutable std::mutex mutex_;
    std::deque<Block> blocks_;
};

// A timer on the main queue. A scheduled timer keeps itself alive until it is invalidated
// or, when not repeating, until it fired.
class Timer : public std::enable_shared_from_this<Timer> {
public:
    using Action = std::function<void(Timer&)>;
    static std::shared_ptr<Timer> scheduled(double interval, bool repeats, Action action);

    // Main thread.
    void invalidate() { valid_ = false; }
    bool isValid() const { return valid_; }
    double interval() const { return interval_; }
    double fireDate() const { return fireDate_; }

private:
    Timer(double interval, bool repeats, Action action);
    void arm();
    double interval_;
    bool repeats_;
    Action action_;
    std::atomic<bool> valid_{true};
    double fireDate_ = 0;
};

// Wraps `fn` so it runs only while the object behind `weak` is alive.
template <typename T, typename Fn>
auto weakly(const std::shared_ptr<T>& strong, Fn fn) {
    return [weak = std::weak_ptr<T>(strong), fn = std::move(fn)](auto&&... args) {
        if (auto self = weak.lock()) fn(*self, std::forward<decltype(args)>(args)...);
    };
}

}  // namespace sorvel
