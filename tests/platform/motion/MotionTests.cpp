#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"
#include "platform/motion/MotionManager.h"

using namespace sorvel;

namespace {

struct MotionFixture {
    VirtualClock clock{1.7e9};
    ManualMainQueue main{clock};
    MotionFixture() {
        Clock::install(&clock);
        DispatchQueue::installMain(&main);
    }
    ~MotionFixture() {
        main.runUntilIdle();
        DispatchQueue::installMain(nullptr);
        Clock::install(nullptr);
    }
};

struct Samples {
    std::vector<AccelerometerData> data;
    int empty = 0;
    bool offMainThread = false;
    MotionManager::AccelerometerHandler handler() {
        return [this](const std::optional<AccelerometerData>& d) {
            offMainThread = offMainThread || !DispatchQueue::isMainThread();
            if (d) data.push_back(*d);
            else ++empty;
        };
    }
};

// The app's orientation estimate from a sample: atan2(x, -y) in degrees, in [0, 360).
double angleOf(Acceleration a) {
    double deg = std::atan2(a.x, -a.y) * 180 / M_PI;
    return deg < 0 ? deg + 360 : deg;
}

}  // namespace

// Catches samples at the wrong rate, off the main queue, stamped with the wrong time, readings
// that do not follow the phone as it turns, and a manager that keeps sampling after stopping.
TEST(Motion, AccelerometerDeliversEveryTenthOfASecondOnTheMainQueue) {
    MotionFixture f;
    auto phone = std::make_shared<SimulatedPhone>();
    MotionManager manager(phone);
    ASSERT_TRUE(manager.isAccelerometerAvailable());
    manager.setAccelerometerUpdateInterval(0.1);
    Samples samples;
    manager.startAccelerometerUpdates(samples.handler());
    f.main.advance(0.25);
    phone->setAttitude(PhoneAttitude::LandscapeRight);
    f.main.advance(0.1);
    ASSERT_EQ(samples.data.size(), 3u);
    EXPECT_FALSE(samples.offMainThread);
    EXPECT_EQ(samples.empty, 0);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_NEAR(samples.data[i].timestamp.secondsSince1970, 1.7e9 + 0.1 * double(i + 1), 1e-6);
    EXPECT_EQ(samples.data[0].acceleration, (Acceleration{0, -1, 0}));
    EXPECT_EQ(samples.data[1].acceleration, (Acceleration{0, -1, 0}));
    EXPECT_EQ(samples.data[2].acceleration, (Acceleration{1, 0, 0}));

    phone->setAcceleration({0.3, -0.2, -0.9});
    f.main.advance(1.0);
    EXPECT_EQ(samples.data.size(), 13u);
    EXPECT_EQ(samples.data.back().acceleration, (Acceleration{0.3, -0.2, -0.9}));

    manager.setAccelerometerUpdateInterval(0.5);
    f.main.advance(1.0);
    EXPECT_EQ(samples.data.size(), 15u);

    manager.stopAccelerometerUpdates();
    EXPECT_FALSE(manager.isAccelerometerActive());
    f.main.advance(5);
    EXPECT_EQ(samples.data.size(), 15u);
}

// Catches a manager whose timer outlives it and calls into freed memory, and a phone without
// an accelerometer that delivers anyway.
TEST(Motion, NoAccelerometerDeliversNothingAndAGoneManagerStopsItsTimer) {
    MotionFixture f;
    Samples samples;
    {
        MotionManager none(std::make_shared<NoAccelerometer>());
        EXPECT_FALSE(none.isAccelerometerAvailable());
        none.startAccelerometerUpdates(samples.handler());
        EXPECT_FALSE(none.isAccelerometerActive());
        f.main.advance(1);
        EXPECT_TRUE(samples.data.empty());
    }
    {
        MotionManager brief(std::make_shared<SimulatedPhone>());
        brief.startAccelerometerUpdates(samples.handler());
        f.main.advance(0.1);
    }
    f.main.advance(2);
    EXPECT_EQ(samples.data.size(), 1u);

    ::setenv("SORVEL_ACCELEROMETER", "none", 1);
    EXPECT_FALSE(defaultAccelerometer()->isAvailable());
    ::unsetenv("SORVEL_ACCELEROMETER");
    EXPECT_TRUE(defaultAccelerometer()->isAvailable());
}

// Catches attitudes whose gravity the app's orientation estimate reads as another orientation
// (landscape left and right swapped, upside down as portrait).
TEST(Motion, SimulatedAttitudesReadAsTheirOrientation) {
    EXPECT_EQ(angleOf(gravityFor(PhoneAttitude::Portrait)), 0);
    EXPECT_EQ(angleOf(gravityFor(PhoneAttitude::LandscapeRight)), 90);
    EXPECT_EQ(angleOf(gravityFor(PhoneAttitude::PortraitUpsideDown)), 180);
    EXPECT_EQ(angleOf(gravityFor(PhoneAttitude::LandscapeLeft)), 270);
    Acceleration flat = gravityFor(PhoneAttitude::FaceUp);
    EXPECT_EQ(flat.z, -1);
}
