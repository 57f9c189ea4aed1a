#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"

using namespace sorvel;

namespace {
// A manual main queue on a virtual clock, installed for the test's duration.
struct VirtualMain : ::testing::Test {
    VirtualClock clock{1000.0};
    ManualMainQueue main{clock};
    void SetUp() override {
        Clock::install(&clock);
        DispatchQueue::installMain(&main);
    }
    void TearDown() override {
        main.runUntilIdle();
        DispatchQueue::installMain(nullptr);
        Clock::install(nullptr);
    }
};
using DispatchMain = VirtualMain;
}  // namespace

// Blocks on the main queue must run in submission order, including blocks queued by blocks.
TEST_F(DispatchMain, MainQueueRunsInOrder) {
    std::vector<int> order;
    DispatchQueue::main().async([&] {
        order.push_back(1);
        DispatchQueue::main().async([&] { order.push_back(3); });
    });
    DispatchQueue::main().async([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());
    main.runUntilIdle();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

// Delayed blocks fire by virtual time (ties in submission order) and not before their time.
TEST_F(DispatchMain, AsyncAfterFiresInTimeOrder) {
    std::vector<std::pair<int, double>> fired;
    auto& q = DispatchQueue::main();
    q.asyncAfter(0.5, [&] { fired.push_back({1, clock.now()}); });
    q.asyncAfter(0.2, [&] { fired.push_back({2, clock.now()}); });
    q.asyncAfter(0.5, [&] { fired.push_back({3, clock.now()}); });
    main.advance(0.19);
    EXPECT_TRUE(fired.empty());
    main.advance(0.01);
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].first, 2);
    main.advance(10);
    ASSERT_EQ(fired.size(), 3u);
    EXPECT_EQ(fired[1], std::make_pair(1, 1000.5));
    EXPECT_EQ(fired[2], std::make_pair(3, 1000.5));
    EXPECT_DOUBLE_EQ(clock.now(), 1010.2);
}

// A repeating timer fires on its grid and stops for good after invalidate; a 12-second
// countdown must take exactly 12 ticks.
TEST_F(DispatchMain, RepeatingTimerFiresUntilInvalidated) {
    std::vector<double> ticks;
    auto timer = Timer::scheduled(1.0, true, [&](Timer& t) {
        ticks.push_back(clock.now());
        if (ticks.size() == 12) t.invalidate();
    });
    main.advance(30);
    ASSERT_EQ(ticks.size(), 12u);
    for (int i = 0; i < 12; ++i) EXPECT_DOUBLE_EQ(ticks[i], 1001.0 + i);
    EXPECT_FALSE(timer->isValid());

    int once = 0;
    auto single = Timer::scheduled(0.1, false, [&](Timer&) { ++once; });
    main.advance(5);
    EXPECT_EQ(once, 1);
    EXPECT_FALSE(single->isValid());

    int never = 0;
    Timer::scheduled(0.1, true, [&](Timer&) { ++never; })->invalidate();
    main.advance(5);
    EXPECT_EQ(never, 0);
}

// Work that hops from a serial queue back to the main queue must arrive there, on the main
// thread, and runUntilIdle must wait for it.
TEST_F(DispatchMain, SerialQueueBlockReachesMain) {
    auto serial = DispatchQueue::makeSerial("VideoDataOutputQueue");
    std::vector<int> seen;
    bool onMain = false;
    for (int i = 0; i < 20; ++i)
        serial->async([&, i] {
            EXPECT_FALSE(DispatchQueue::isMainThread());
            DispatchQueue::main().async([&, i] {
                onMain = DispatchQueue::isMainThread();
                seen.push_back(i);
            });
        });
    ASSERT_TRUE(main.runUntilIdle());
    EXPECT_TRUE(onMain);
    ASSERT_EQ(seen.size(), 20u);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(seen[i], i);  // one serial queue keeps its order

    int viaGlobal = 0;
    DispatchQueue::global().async([&] { DispatchQueue::main().async([&] { ++viaGlobal; }); });
    main.runUntilIdle();
    EXPECT_EQ(viaGlobal, 1);
}

// A background block waiting on main.sync must be served by the draining test thread
// instead of deadlocking it.
TEST_F(DispatchMain, SyncFromBackgroundIsServedByDrain) {
    int value = 0;
    DispatchQueue::global().async([&] { DispatchQueue::main().sync([&] { value = 42; }); });
    ASSERT_TRUE(main.runUntilIdle());
    EXPECT_EQ(value, 42);
}

// While the process exits, a clock or worker thread may still send the main queue a block after
// the main queue is uninstalled: it must be dropped, not sent through a queue that is gone.
TEST(DispatchExit, BlocksAfterTheMainQueueIsGoneAreDropped) {
    bool ran = false;
    {
        VirtualClock clock{0.0};
        ManualMainQueue queue{clock};
        DispatchQueue::installMain(&queue);
        DispatchQueue::installMain(nullptr);
    }
    std::thread late([&] { DispatchQueue::main().async([&] { ran = true; }); });
    late.join();
    EXPECT_FALSE(ran);
    EXPECT_NE(DispatchQueue::main().label(), "com.sorvel.main");
}

// The app can exit with timers of the main queue pending (an animation's completion, the
// preview card's close): they fire on the clock's thread after the queue object is gone, and
// must be dropped, not sent to that queue nor to a main queue installed after it.
TEST(DispatchExit, TimersOfAMainQueueThatIsGoneAreDropped) {
    VirtualClock clock{0.0};
    Clock::install(&clock);
    int ran = 0;
    {
        auto first = std::make_unique<ManualMainQueue>(clock);
        DispatchQueue::installMain(first.get());
        DispatchQueue::main().asyncAfter(1.0, [&] { ++ran; });
        DispatchQueue::installMain(nullptr);
    }
    ManualMainQueue second{clock};
    DispatchQueue::installMain(&second);
    second.advance(2.0);
    EXPECT_EQ(ran, 0);
    // A timer of the queue that is installed still runs.
    DispatchQueue::main().asyncAfter(1.0, [&] { ran += 10; });
    second.advance(2.0);
    EXPECT_EQ(ran, 10);
    DispatchQueue::installMain(nullptr);
    Clock::install(nullptr);
}
