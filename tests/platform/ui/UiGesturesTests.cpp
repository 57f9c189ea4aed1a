#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QTest>
#include <QWheelEvent>
#include <cmath>

#include "UiTestSupport.h"
#include "platform/ui/Button.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"

using namespace sorvel;

namespace {

struct Call {
    GestureState state;
    QPointF location;
    QPointF translation;
    double scale;
};

struct UiGestures : sorvel::testing::UiFixture {
    std::unique_ptr<View> root;
    std::vector<Call> taps, pans, pinches;
    TapGestureRecognizer* tap = nullptr;
    PanGestureRecognizer* pan = nullptr;
    PinchGestureRecognizer* pinch = nullptr;
    // As the zoom handler does: apply each change, then reset the scale to 1.0.
    double zoom = 1.0;

    void SetUp() override {
        UiFixture::SetUp();
        root = std::make_unique<View>(QRectF(0, 0, 300, 400));
        tap = static_cast<TapGestureRecognizer*>(root->addGestureRecognizer(
            std::make_unique<TapGestureRecognizer>([this](GestureRecognizer& g) {
                taps.push_back({g.state(), g.locationInView(root.get()), {}, 0});
            })));
        pan = static_cast<PanGestureRecognizer*>(root->addGestureRecognizer(
            std::make_unique<PanGestureRecognizer>([this](GestureRecognizer& g) {
                auto& p = static_cast<PanGestureRecognizer&>(g);
                pans.push_back({g.state(), g.locationInView(nullptr), p.translationInView(root.get()), 0});
            })));
        pinch = static_cast<PinchGestureRecognizer*>(root->addGestureRecognizer(
            std::make_unique<PinchGestureRecognizer>([this](GestureRecognizer& g) {
                auto& p = static_cast<PinchGestureRecognizer&>(g);
                pinches.push_back({g.state(), g.locationInView(nullptr), {}, p.scale()});
                if (g.state() == GestureState::Changed) {
                    zoom *= p.scale();
                    p.setScale(1.0);
                }
            })));
        root->show();
    }
    void TearDown() override {
        root.reset();
        UiFixture::TearDown();
    }

    void wheel(int angleY, QPointF at = {150, 200}) {
        QWheelEvent e(at, root->mapToGlobal(at), QPoint(), QPoint(0, angleY), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(root.get(), &e);
    }
    std::vector<GestureState> states(const std::vector<Call>& calls) {
        std::vector<GestureState> s;
        for (const Call& c : calls) s.push_back(c.state);
        return s;
    }
};

using S = GestureState;

}  // namespace

// A click must be one tap in state Ended at the click's point, a click on a child label must
// still reach the view's tap (labels take no input), but a click on a child button belongs to
// the button: a focus tap under the shutter button would refocus on every photo.
TEST_F(UiGestures, ClickIsOneTapUnlessAButtonTakesIt) {
    QTest::mouseClick(root.get(), Qt::LeftButton, {}, QPoint(50, 60));
    ASSERT_EQ(taps.size(), 1u);
    EXPECT_EQ(taps[0].state, S::Ended);
    EXPECT_EQ(taps[0].location, QPointF(50, 60));
    EXPECT_EQ(tap->state(), S::Possible);
    EXPECT_TRUE(pans.empty());

    auto* label = new Label(QRectF(100, 100, 80, 30));
    root->addSubview(label);
    QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(10, 5));
    ASSERT_EQ(taps.size(), 2u);
    EXPECT_EQ(taps[1].location, QPointF(110, 105));

    auto* button = new Button(QRectF(200, 300, 60, 60));
    int pressed = 0;
    button->addAction("tap", [&] { ++pressed; });
    root->addSubview(button);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(30, 30));
    EXPECT_EQ(pressed, 1);
    EXPECT_EQ(taps.size(), 2u);
}

// A drag must be a pan whose translation is cumulative from the press (the exposure swipe
// reads it without resetting), in Began, Changed..., Ended order; the tap must not fire, and a
// small wobble under the slop must still be a tap.
TEST_F(UiGestures, DragIsAPanWithCumulativeTranslation) {
    QTest::mousePress(root.get(), Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(root.get(), QPoint(100, 130));
    QTest::mouseMove(root.get(), QPoint(100, 160));
    QTest::mouseMove(root.get(), QPoint(90, 160));
    QTest::mouseRelease(root.get(), Qt::LeftButton, {}, QPoint(90, 170));
    EXPECT_TRUE(taps.empty());
    ASSERT_GE(pans.size(), 3u);
    EXPECT_EQ(pans.front().state, S::Began);
    EXPECT_EQ(pans.front().translation, QPointF(0, 30));
    EXPECT_EQ(pans.back().state, S::Ended);
    EXPECT_EQ(pans.back().translation, QPointF(-10, 70));
    EXPECT_EQ(pans.back().location, QPointF(90, 170));
    for (std::size_t i = 1; i + 1 < pans.size(); ++i) EXPECT_EQ(pans[i].state, S::Changed);

    // A translation read in another view is the same movement in that view's units.
    auto* child = new View(QRectF(40, 50, 100, 100));
    root->addSubview(child);
    pan->setTranslation(QPointF(5, 7), child);
    EXPECT_EQ(pan->translationInView(root.get()), QPointF(5, 7));
    pan->setLocation(QPointF(60, 80));
    EXPECT_EQ(pan->locationInView(child), QPointF(20, 30));

    pans.clear();
    QTest::mousePress(root.get(), Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(root.get(), QPoint(105, 104));
    QTest::mouseRelease(root.get(), Qt::LeftButton, {}, QPoint(105, 104));
    EXPECT_TRUE(pans.empty());
    ASSERT_EQ(taps.size(), 1u);
    EXPECT_EQ(taps[0].location, QPointF(105, 104));
}

// Wheel notches must drive the zoom pinch: Began once, one Changed per notch with scale
// 1.1^(delta/120), and Ended 0.3 s after the last notch (not after the first); without the
// end the next wheel turn would never begin a new pinch.
TEST_F(UiGestures, WheelNotchesArePinchStepsEndingAfterAPause) {
    wheel(120);
    wheel(120);
    main.advance(0.2);
    wheel(-60);
    EXPECT_NEAR(zoom, std::pow(1.1, 180.0 / 120), 1e-12);
    EXPECT_EQ(states(pinches), (std::vector<S>{S::Began, S::Changed, S::Changed, S::Changed}));
    EXPECT_EQ(pinches[0].scale, 1.0);
    EXPECT_EQ(pinches[1].location, QPointF(150, 200));
    main.advance(0.25);  // 0.45 s after the first notch, 0.25 s after the last
    EXPECT_EQ(pinches.size(), 4u);
    main.advance(0.1);
    ASSERT_EQ(pinches.size(), 5u);
    EXPECT_EQ(pinches.back().state, S::Ended);
    EXPECT_EQ(pinch->state(), S::Possible);

    // A handler that keeps the scale reads the change since Began.
    pinches.clear();
    pinch->setEnabled(false);
    std::vector<double> cumulative;
    root->addGestureRecognizer(std::make_unique<PinchGestureRecognizer>([&](GestureRecognizer& g) {
        cumulative.push_back(static_cast<PinchGestureRecognizer&>(g).scale());
    }));
    wheel(120);
    wheel(240);
    ASSERT_EQ(cumulative.size(), 3u);
    EXPECT_NEAR(cumulative[2], std::pow(1.1, 3), 1e-12);
    EXPECT_TRUE(pinches.empty());
}

// Two fingers must pinch with the relative change of their distance per event (the zoom
// handler resets the scale after each change), and one finger must still tap.
TEST_F(UiGestures, TwoFingerTouchPinchesAndOneFingerTaps) {
    QPointingDevice* screen = QTest::createTouchDevice();
    QTest::touchEvent(root.get(), screen).press(0, QPoint(100, 200)).press(1, QPoint(200, 200));
    QTest::touchEvent(root.get(), screen).move(0, QPoint(75, 200)).move(1, QPoint(225, 200));
    QTest::touchEvent(root.get(), screen).move(0, QPoint(90, 200)).move(1, QPoint(210, 200));
    QTest::touchEvent(root.get(), screen).release(0, QPoint(90, 200)).release(1, QPoint(210, 200));
    ASSERT_GE(pinches.size(), 4u);
    EXPECT_EQ(pinches.front().state, S::Began);
    EXPECT_EQ(pinches.back().state, S::Ended);
    EXPECT_NEAR(zoom, 120.0 / 100.0, 1e-9);
    EXPECT_NEAR(pinches[1].scale, 1.5, 1e-9);
    EXPECT_NEAR(pinches[2].scale, 0.8, 1e-9);
    EXPECT_EQ(pinches[1].location, QPointF(150, 200));
    EXPECT_TRUE(taps.empty());
    EXPECT_TRUE(pans.empty());

    QTest::touchEvent(root.get(), screen).press(0, QPoint(30, 40));
    QTest::touchEvent(root.get(), screen).release(0, QPoint(31, 41));
    ASSERT_EQ(taps.size(), 1u);
    EXPECT_EQ(taps[0].location, QPointF(31, 41));

    // A finger on a child button presses the button (the shutter on a touch screen), not the
    // view's tap; a finger on a label is the view's.
    auto* button = new Button(QRectF(200, 300, 60, 60));
    int pressed = 0;
    button->addAction("tap", [&] { ++pressed; });
    root->addSubview(button);
    auto* label = new Label(QRectF(20, 300, 100, 40));
    root->addSubview(label);
    QTest::touchEvent(root.get(), screen).press(0, QPoint(230, 330));
    QTest::touchEvent(root.get(), screen).release(0, QPoint(230, 330));
    EXPECT_EQ(pressed, 1);
    EXPECT_EQ(taps.size(), 1u);
    QTest::touchEvent(root.get(), screen).press(0, QPoint(40, 310));
    QTest::touchEvent(root.get(), screen).release(0, QPoint(40, 310));
    ASSERT_EQ(taps.size(), 2u);
    EXPECT_EQ(taps[1].location, QPointF(40, 310));
}

// The trackpad's zoom events carry the difference between the pinch's scale now and at the
// previous event; the zoom must end at the pinch's own scale (1 + 0.25 - 0.2 = 1.05), reached
// through the same pinch handler, and end with the gesture. Multiplying 1 + each difference
// would overshoot on every large pinch.
TEST_F(UiGestures, TrackpadZoomDrivesThePinch) {
    QPointingDevice* pad = QTest::createTouchDevice(QInputDevice::DeviceType::TouchPad);
    auto send = [&](Qt::NativeGestureType type, double value) {
        QNativeGestureEvent e(type, pad, 2, QPointF(120, 130), QPointF(120, 130), root->mapToGlobal(QPointF(120, 130)),
                              value, QPointF(), 1);
        QCoreApplication::sendEvent(root.get(), &e);
    };
    send(Qt::BeginNativeGesture, 0);
    EXPECT_TRUE(pinches.empty());
    send(Qt::ZoomNativeGesture, 0.25);
    send(Qt::ZoomNativeGesture, -0.2);
    send(Qt::EndNativeGesture, 0);
    EXPECT_EQ(states(pinches), (std::vector<S>{S::Began, S::Changed, S::Changed, S::Ended}));
    EXPECT_NEAR(zoom, 1.05, 1e-12);
    EXPECT_NEAR(pinches[2].scale, 1.05 / 1.25, 1e-12);
    EXPECT_EQ(pinches[1].location, QPointF(120, 130));
}

// An overlay behind a modal card must keep the screen's gestures from firing through it (a
// click on an alert's dimmed background must not refocus the camera, a wheel must not zoom),
// while the card's buttons still work by mouse and by touch.
TEST_F(UiGestures, InputBlockingOverlayStopsGesturesButNotItsButtons) {
    auto* overlay = new View(QRectF(0, 0, 300, 400));
    overlay->setBlocksInput(true);
    root->addSubview(overlay);
    auto* card = new View(QRectF(50, 100, 200, 150));
    overlay->addSubview(card);
    auto* button = new Button(QRectF(20, 100, 160, 40));
    int pressed = 0;
    button->addAction("好", [&] { ++pressed; });
    card->addSubview(button);

    QTest::mouseClick(overlay, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseClick(card, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mousePress(overlay, Qt::LeftButton, {}, QPoint(10, 300));
    QTest::mouseMove(overlay, QPoint(10, 200));
    QTest::mouseRelease(overlay, Qt::LeftButton, {}, QPoint(10, 200));
    QWheelEvent e(QPointF(20, 20), overlay->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, 120), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(overlay, &e);
    EXPECT_TRUE(taps.empty());
    EXPECT_TRUE(pans.empty());
    EXPECT_TRUE(pinches.empty());

    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(80, 20));
    EXPECT_EQ(pressed, 1);
    QPointingDevice* screen = QTest::createTouchDevice();
    QTest::touchEvent(root.get(), screen).press(0, QPoint(150, 220));
    QTest::touchEvent(root.get(), screen).release(0, QPoint(150, 220));
    EXPECT_EQ(pressed, 2);
    QTest::touchEvent(root.get(), screen).press(0, QPoint(10, 10));
    QTest::touchEvent(root.get(), screen).release(0, QPoint(10, 10));
    EXPECT_TRUE(taps.empty());

    overlay->setBlocksInput(false);
    QTest::mouseClick(overlay, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(taps.size(), 1u);
}
