#include <gtest/gtest.h>

#include <cmath>

#include "app/PreviewCardLayout.h"
#include "app/StillPhotoMath.h"

using namespace sorvel;

// The saved still's pixel size follows from the scale; an off-by-one in the rounding changes
// every picture's size (and a missing minimum makes a zero-sized image at scale 0).
TEST(StillPhotoMath, ScaledSizesRoundUpToSixteenAboveTwoFiftySix) {
    auto full = scaledPhotoSize(4032, 3024, 1.0);
    EXPECT_EQ(full.width, 4032);
    EXPECT_EQ(full.height, 3024);
    EXPECT_EQ(full.effectiveScale, 1.0);

    auto half = scaledPhotoSize(4032, 3024, 0.5);
    EXPECT_EQ(half.width, 2016);
    EXPECT_EQ(half.height, 1520);
    EXPECT_TRUE(half.roundedToMultipleOf16);
    EXPECT_DOUBLE_EQ(half.effectiveScale, std::min(2016.0 / 4032, 1520.0 / 3024));

    auto tiny = scaledPhotoSize(4032, 3024, 0.05);
    EXPECT_EQ(tiny.width, 201);
    EXPECT_EQ(tiny.height, 151);
    EXPECT_FALSE(tiny.roundedToMultipleOf16);

    auto zero = scaledPhotoSize(4032, 3024, 0.0);
    EXPECT_EQ(zero.width, 2);
    EXPECT_EQ(zero.height, 2);

    // One side above 256 rounds both.
    auto mixed = scaledPhotoSize(4032, 100, 0.1);
    EXPECT_EQ(mixed.width, 416);
    EXPECT_EQ(mixed.height, 16);
}

// The orientation table decides whether people appear upright and mirrored as asked.
TEST(StillPhotoMath, OrientationTableForEveryCameraAndHolding) {
    EXPECT_EQ(imageOrientationFor(1, false, false), 6);
    EXPECT_EQ(imageOrientationFor(1, false, true), 6);  // mirroring applies to the front camera only
    EXPECT_EQ(imageOrientationFor(2, false, false), 8);
    EXPECT_EQ(imageOrientationFor(3, false, false), 1);
    EXPECT_EQ(imageOrientationFor(4, false, false), 3);
    EXPECT_EQ(imageOrientationFor(1, true, false), 6);
    EXPECT_EQ(imageOrientationFor(3, true, false), 3);
    EXPECT_EQ(imageOrientationFor(4, true, false), 1);
    EXPECT_EQ(imageOrientationFor(1, true, true), 5);
    EXPECT_EQ(imageOrientationFor(2, true, true), 7);
    EXPECT_EQ(imageOrientationFor(3, true, true), 4);
    EXPECT_EQ(imageOrientationFor(4, true, true), 2);
    for (int odd : {0, 5, 6, -1, 99}) {
        EXPECT_EQ(imageOrientationFor(odd, false, false), 6) << odd;
        EXPECT_EQ(imageOrientationFor(odd, true, true), 5) << odd;
    }
}

// The torch setting must not fire the flash, and auto/on must not be swapped.
TEST(StillPhotoMath, FlashMapping) {
    EXPECT_EQ(captureFlashModeFor(0), 0);
    EXPECT_EQ(captureFlashModeFor(1), 2);
    EXPECT_EQ(captureFlashModeFor(2), 1);
    EXPECT_EQ(captureFlashModeFor(3), 0);
    EXPECT_EQ(captureFlashModeFor(-7), 0);
}

// Card geometry on a phone screen: the large card centred 60 points up, the small one in the
// top-right corner; none when previews are off.
TEST(PreviewCard, GeometryForEachSetting) {
    QSizeF v(390, 844);
    EXPECT_FALSE(previewCardLayout(v, 0));
    auto large = previewCardLayout(v, 1);
    ASSERT_TRUE(large);
    EXPECT_EQ(large->frame, QRectF(0, 102, 390, 520));
    EXPECT_EQ(large->displaySeconds, 1.0);
    auto small = previewCardLayout(v, 2);
    ASSERT_TRUE(small);
    EXPECT_DOUBLE_EQ(small->frame.x(), 240);
    EXPECT_DOUBLE_EQ(small->frame.y(), 80);
    EXPECT_DOUBLE_EQ(small->frame.width(), 130);
    EXPECT_NEAR(small->frame.height(), 173.333333, 1e-5);
    EXPECT_EQ(small->displaySeconds, 3.0);
    EXPECT_EQ(previewCardLayout(v, 7)->displaySeconds, 3.0);
}

// A landscape sensor picture in a portrait card must be turned the right way for how the phone
// was held, or the preview shows people lying on their side.
TEST(PreviewCard, RotationByHolding) {
    QSizeF landscape(4032, 3024), portrait(3024, 4032), card(130, 173.3);
    EXPECT_DOUBLE_EQ(previewRotation(landscape, card, 4), -M_PI / 2);
    EXPECT_DOUBLE_EQ(previewRotation(landscape, card, 1), M_PI / 2);
    EXPECT_DOUBLE_EQ(previewRotation(landscape, card, 3), M_PI / 2);
    EXPECT_DOUBLE_EQ(previewRotation(portrait, card, 2), M_PI);
    for (int o : {1, 3, 4}) EXPECT_DOUBLE_EQ(previewRotation(portrait, card, o), 0.0);
}
