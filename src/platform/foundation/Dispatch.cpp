#include "Dispatch.h"

#include <cassert>
#include <chrono>
#include <cstdint>

#include "Clock.h"

namespace sorvel {

namespace {

std::atomic<DispatchQueue*> mainQueue{nullptr};
std::atomic<bool> mainClosed{false};
// Counts installations of the main queue, so that a timer set on one main queue never runs on
// another installed after it.
std::atomic<std::uint64_t> mainGeneration{0};
std::atomic<std::thread::id> mainThread{};

// The main queue once it has been uninstalled: a clock, capture or worker thread that finishes
// while the process exits may still send it a block, which is dropped here instead of reaching
// a queue that is gone. Never destroyed, so it outlives every such thread.
class ClosedMainQueue final : public DispatchQueue {
public:
    ClosedMainQueue() : DispatchQueue("com.sorvel.main.closed") {}
    void async(Block) override {}
};

DispatchQueue& closedMainQueue() {
    static ClosedMainQueue* queue = new ClosedMainQueue;
    return *queue;
}

std::mutex activityMutex;
std::condition_variable activityChanged;
int activityCount = 0;
std::uint64_t activityGeneration = 0;

// A queue backed by worker threads; one thread makes it serial.
class ThreadQueue final : public DispatchQueue {
public:
    ThreadQueue(std::string label, int threads) : DispatchQueue(std::move(label)) {
        for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { run(); });
    }
    ~ThreadQueue() override {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (auto& t : workers_) {
            // The last reference may be dropped by a block running on this very queue.
            if (t.get_id() == std::this_thread::get_id()) t.detach();
            else t.join();
        }
    }
    void async(Block block) override {
        BackgroundActivity::begin();
        {
            std::lock_guard lock(mutex_);
            blocks_.push_back(std::move(block));
        }
        wake_.notify_one();
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || !blocks_.empty(); });
            if (blocks_.empty()) return;
            Block b = std::move(blocks_.front());
            blocks_.pop_front();
            lock.unlock();
            b();
            b = nullptr;
            BackgroundActivity::end();
            lock.lock();
        }
    }
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Block> blocks_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace

void BackgroundActivity::begin() {
    std::lock_guard lock(activityMutex);
    ++activityCount;
    ++activityGeneration;
}

void BackgroundActivity::end() {
    {
        std::lock_guard lock(activityMutex);
        --activityCount;
        ++activityGeneration;
    }
    activityChanged.notify_all();
}

int BackgroundActivity::pending() {
    std::lock_guard lock(activityMutex);
    return activityCount;
}

void BackgroundActivity::waitForChange(double seconds) {
    std::unique_lock lock(activityMutex);
    auto gen = activityGeneration;
    activityChanged.wait_for(lock, std::chrono::duration<double>(seconds),
                             [&] { return activityGeneration != gen; });
}

void BackgroundActivity::notify() {
    {
        std::lock_guard lock(activityMutex);
        ++activityGeneration;
    }
    activityChanged.notify_all();
}

void DispatchQueue::asyncAfter(double seconds, Block block) {
    Clock& clock = Clock::current();
    if (mainQueue.load(std::memory_order_acquire) == this) {
        // The app may exit with timers of the main queue pending: the queue object is gone when
        // they fire on the clock's thread. Looked up then, an uninstalled main queue drops them.
        const std::uint64_t generation = mainGeneration.load(std::memory_order_acquire);
        clock.schedule(clock.now() + seconds, [generation, b = std::move(block)]() mutable {
            if (mainGeneration.load(std::memory_order_acquire) != generation) return;
            DispatchQueue::main().async(std::move(b));
        });
        return;
    }
    clock.schedule(clock.now() + seconds, [this, b = std::move(block)]() mutable { async(std::move(b)); });
}

void DispatchQueue::sync(const Block& block) {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    async([&] {
        block();
        {
            std::lock_guard lock(m);
            done = true;
        }
        cv.notify_all();
    });
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return done; });
}

DispatchQueue& DispatchQueue::main() {
    DispatchQueue* q = mainQueue.load(std::memory_order_acquire);
    if (!q && mainClosed.load(std::memory_order_acquire)) return closedMainQueue();
    assert(q && "no main queue installed");
    return *q;
}

DispatchQueue& DispatchQueue::global() {
    static ThreadQueue queue("com.sorvel.global.user-initiated",
                             std::max(2, static_cast<int>(std::thread::hardware_concurrency())));
    return queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::makeSerial(std::string label) {
    return std::make_shared<ThreadQueue>(std::move(label), 1);
}

void DispatchQueue::installMain(DispatchQueue* queue) {
    mainGeneration.fetch_add(1, std::memory_order_acq_rel);
    mainClosed.store(queue == nullptr, std::memory_order_release);
    mainQueue.store(queue, std::memory_order_release);
    mainThread.store(queue ? std::this_thread::get_id() : std::thread::id{});
}

bool DispatchQueue::isMainThread() { return mainThread.load() == std::this_thread::get_id(); }

ManualMainQueue::ManualMainQueue(VirtualClock& clock) : DispatchQueue("com.sorvel.main"), clock_(clock) {}

ManualMainQueue::~ManualMainQueue() {
    if (mainQueue.load() == this) installMain(nullptr);
}

void ManualMainQueue::async(Block block) {
    {
        std::lock_guard lock(mutex_);
        blocks_.push_back(std::move(block));
    }
    BackgroundActivity::notify();
}

std::size_t ManualMainQueue::queued() const {
    std::lock_guard lock(mutex_);
    return blocks_.size();
}

bool ManualMainQueue::runQueued() {
    bool ran = false;
    for (;;) {
        Block b;
        {
            std::lock_guard lock(mutex_);
            if (blocks_.empty()) return ran;
            b = std::move(blocks_.front());
            blocks_.pop_front();
        }
        b();
        ran = true;
    }
}

bool ManualMainQueue::runUntilIdle(double realTimeoutSeconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(realTimeoutSeconds);
    for (;;) {
        runQueued();
        if (queued() == 0 && BackgroundActivity::pending() == 0) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (queued() == 0) BackgroundActivity::waitForChange(0.05);
    }
}

void ManualMainQueue::advance(double seconds) {
    double target = clock_.now() + seconds;
    runUntilIdle();
    // Sums of decimal steps (0.65 + 0.15) land a hair short of the instant they name; a
    // nanosecond of slack keeps "advance by the delay" firing what is due at that delay.
    while (clock_.fireNext(target + 1e-9)) runUntilIdle();
    clock_.setNow(target);
    runUntilIdle();
}

Timer::Timer(double interval, bool repeats, Action action)
    : interval_(interval), repeats_(repeats), action_(std::move(action)) {}

std::shared_ptr<Timer> Timer::scheduled(double interval, bool repeats, Action action) {
    std::shared_ptr<Timer> t(new Timer(interval, repeats, std::move(action)));
    t->fireDate_ = Clock::current().now() + interval;
    t->arm();
    return t;
}

void Timer::arm() {
    Clock::current().schedule(fireDate_, [self = shared_from_this()] {
        DispatchQueue::main().async([self] {
            if (!self->valid_) return;
            self->action_(*self);
            if (!self->repeats_) {
                self->valid_ = false;
                return;
            }
            if (!self->valid_) return;
            // Next firing on the original grid, so a slow handler does not make the timer drift.
            // A repeat interval of zero would spin; fire at least a millisecond apart.
            self->fireDate_ += std::max(self->interval_, 0.001);
            self->arm();
        });
    });
}

}  // namespace sorvel
