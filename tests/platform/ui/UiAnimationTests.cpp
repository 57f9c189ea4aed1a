#include "UiTestSupport.h"
#include "platform/ui/Button.h"
#include "platform/ui/View.h"

using namespace sorvel;
using sorvel::testing::opaqueBounds;

namespace {
struct UiAnimation : sorvel::testing::UiFixture {};
}  // namespace

// The jelly bounce (1.0 -> 1.05 -> 1.0 at key times 0, 0.02, 1 over 2 s) with one
// ease-in-ease-out curve over the whole 2 s: the start is slow, so the peak comes well after
// 0.02 x 2 s (where it would be with the curve applied per segment, or none); half way in time
// is half way in progress (the curve is symmetric), and the key disappears once it has run.
TEST_F(UiAnimation, ScaleKeyframesFollowOneEasedCurveOverTheWholeAnimationAndExpire) {
    View v(QRectF(0, 0, 60, 60));
    EXPECT_DOUBLE_EQ(v.presentationScale(), 1.0);
    v.addScaleKeyframeAnimation("bounceAnimation", {1.0, 1.05, 1.0}, {0, 0.02, 1.0}, 2.0);
    EXPECT_EQ(v.animationKeys(), QStringList{"bounceAnimation"});
    EXPECT_TRUE(v.isAnimating());
    EXPECT_DOUBLE_EQ(v.presentationScale(), 1.0);
    double peak = 0, peakAt = 0;
    for (int i = 1; i <= 100; ++i) {
        main.advance(0.01);
        if (i == 4) {
            EXPECT_LT(v.presentationScale(), 1.01) << "at 0.04 s";
        }
        if (v.presentationScale() > peak) peak = v.presentationScale(), peakAt = i * 0.01;
    }
    // 1.0 s: progress 0.5, the fall from 1.05 (at 0.02) to 1.0 (at 1) is 0.48 / 0.98 done.
    EXPECT_NEAR(v.presentationScale(), 1.05 - 0.05 * 0.48 / 0.98, 1e-6);
    EXPECT_NEAR(peak, 1.05, 0.002);
    EXPECT_GT(peakAt, 0.12);
    EXPECT_LT(peakAt, 0.3);
    main.advance(0.5);  // 1.5 s: the end is slow again, the bounce nearly settled
    EXPECT_LT(v.presentationScale() - 1.0, 0.05 * 0.2);
    EXPECT_GT(v.presentationScale(), 1.0);
    main.advance(0.5);
    EXPECT_DOUBLE_EQ(v.presentationScale(), 1.0);
    EXPECT_TRUE(v.animationKeys().isEmpty());
    EXPECT_FALSE(v.isAnimating());
}

// A second animation under the same key replaces the first (a quick second tap restarts the
// bounce), another key runs beside it, and frames that cannot be interpolated are refused.
TEST_F(UiAnimation, KeysReplaceAndBadFramesAreRefused) {
    View v(QRectF(0, 0, 60, 60));
    v.addScaleKeyframeAnimation("a", {1.0, 2.0}, {0, 1}, 1.0);
    main.advance(0.9);
    v.addScaleKeyframeAnimation("a", {1.0, 2.0}, {0, 1}, 1.0);
    EXPECT_NEAR(v.presentationScale(), 1.0, 1e-9);
    main.advance(0.5);
    EXPECT_EQ(v.animationKeys(), QStringList{"a"});
    v.addScaleKeyframeAnimation("b", {0.5, 0.5}, {0, 1}, 0.2);
    EXPECT_EQ(v.animationKeys(), (QStringList{"a", "b"}));
    EXPECT_DOUBLE_EQ(v.presentationScale(), 0.5);  // the newest one shows
    v.removeAnimation("b");
    EXPECT_NEAR(v.presentationScale(), 1.5, 1e-9);

    View w(QRectF(0, 0, 10, 10));
    w.addScaleKeyframeAnimation("sizes", {1.0, 2.0}, {0}, 1.0);
    w.addScaleKeyframeAnimation("order", {1.0, 2.0, 1.0}, {0, 0.8, 0.5}, 1.0);
    w.addScaleKeyframeAnimation("range", {1.0, 2.0}, {0, 1.5}, 1.0);
    w.addScaleKeyframeAnimation("empty", {}, {}, 1.0);
    w.addScaleKeyframeAnimation("duration", {1.0, 2.0}, {0, 1}, 0);
    EXPECT_TRUE(w.animationKeys().isEmpty());
    EXPECT_DOUBLE_EQ(w.presentationScale(), 1.0);
}

// The view's own background, and a button's symbol, must be painted scaled about the centre
// while the animation runs; otherwise the camera button's bounce is invisible.
TEST_F(UiAnimation, BackgroundIsPaintedAtThePresentationScale) {
    View v(QRectF(0, 0, 40, 40));
    v.setBackgroundColor(Qt::red);
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    v.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_EQ(opaqueBounds(image, 128), QRect(0, 0, 40, 40));

    v.addScaleKeyframeAnimation("shrink", {0.5, 0.5}, {0, 1}, 1.0);
    image.fill(Qt::transparent);
    v.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_EQ(opaqueBounds(image, 128), QRect(10, 10, 20, 20));
}

TEST_F(UiAnimation, ButtonSymbolBouncesWithItsBackground) {
    Button b(QRectF(0, 0, 60, 60));
    b.setSymbol("xmark");
    QImage image(60, 60, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    b.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    QRect still = opaqueBounds(image, 128);
    b.addScaleKeyframeAnimation("bounceAnimation", {0.5, 0.5}, {0, 1}, 1.0);
    image.fill(Qt::transparent);
    b.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    QRect scaled = opaqueBounds(image, 128);
    EXPECT_NEAR(scaled.width(), still.width() / 2.0, 2);
    EXPECT_NEAR(scaled.center().x(), still.center().x(), 1);
}

// A growing bounce must not be cut flat at the view's edges: while it runs the widget borrows
// room around its frame (the frame itself stays), and gives it back when it ends.
TEST_F(UiAnimation, GrowingViewIsNotClippedToItsFrame) {
    View parent(QRectF(0, 0, 200, 200));
    auto* v = new View(QRectF(80, 80, 40, 40));
    v->setBackgroundColor(Qt::red);
    parent.addSubview(v);
    v->addScaleKeyframeAnimation("grow", {1.5, 1.5}, {0, 1}, 1.0);
    v->applyPresentation();
    EXPECT_EQ(v->frame(), QRectF(80, 80, 40, 40));
    EXPECT_EQ(v->geometry(), QRect(70, 70, 60, 60));
    QImage image(200, 200, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    parent.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_EQ(opaqueBounds(image, 128), QRect(70, 70, 60, 60));

    main.advance(1.0);
    v->applyPresentation();
    EXPECT_EQ(v->geometry(), QRect(80, 80, 40, 40));
    image.fill(Qt::transparent);
    parent.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_EQ(opaqueBounds(image, 128), QRect(80, 80, 40, 40));
}
