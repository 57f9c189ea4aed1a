// The main screen controls' plain logic: the custom button command language, the orientation
// sectors, the zoom label's texts, the exposure clamps and the camera row's geometry.

#include <gtest/gtest.h>

#include "app/CameraButtonLayout.h"
#include "app/CustomButtonCommand.h"
#include "app/DeviceOrientationEstimate.h"
#include "app/ExposureCompensation.h"
#include "app/ZoomLabelText.h"

using namespace sorvel;
using Kind = CustomButtonCommand::Kind;

// A rule checked out of order (a signed number zooming, "EV" as unknown, "1" as a bias) or a
// number parsed loosely would send a button to the wrong control.
TEST(CustomButtonCommands, LabelsSelectTheDocumentedAction) {
    struct Case {
        const char* title;
        Kind kind;
        std::optional<double> zoom;
        std::optional<float> exposure;
    };
    const Case cases[] = {
        {"相册", Kind::OpenPhotoLibrary, {}, {}},
        {" Photos ", Kind::OpenPhotoLibrary, {}, {}},
        {"1x", Kind::Zoom, 1.0, {}},
        {"2x", Kind::Zoom, 2.0, {}},
        {"2X", Kind::Zoom, 2.0, {}},
        {"2倍", Kind::Zoom, 2.0, {}},
        {"0.5", Kind::Zoom, 0.5, {}},
        {"1.5", Kind::Zoom, 1.5, {}},
        {"1", Kind::Zoom, 1.0, {}},
        {"max", Kind::Zoom, std::nullopt, {}},
        {"+1ev", Kind::Exposure, {}, 1.0f},
        {"1ev", Kind::Exposure, {}, 1.0f},
        {"+1", Kind::Exposure, {}, 1.0f},
        {"-1", Kind::Exposure, {}, -1.0f},
        {"-0.7ev", Kind::Exposure, {}, -0.7f},
        {"-0.7", Kind::Exposure, {}, -0.7f},
        {"0ev", Kind::Exposure, {}, 0.0f},
        {"EV", Kind::Exposure, {}, std::nullopt},
        {"+-1", Kind::Exposure, {}, -1.0f},
        {"1-", Kind::Exposure, {}, std::nullopt},
        {"2x+", Kind::Zoom, std::nullopt, {}},
        {"abc", Kind::Unrecognized, {}, {}},
        {"nan", Kind::Unrecognized, {}, {}},
        {"inf", Kind::Unrecognized, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        CustomButtonCommand command = customButtonCommand(c.title);
        EXPECT_EQ(command.kind, c.kind);
        EXPECT_EQ(command.zoom, c.zoom);
        EXPECT_EQ(command.exposure, c.exposure);
    }
    EXPECT_EQ(customButtonCommand("  EV\n").label, "ev");
    EXPECT_EQ(customButtonCommand(" ABC ").label, "abc");
}

// Doubled spaces must not make empty buttons; the row keeps the user's order.
TEST(CustomButtonCommands, TitlesSplitOnSingleSpacesAndSkipEmptyParts) {
    EXPECT_EQ(customButtonTitles("  相册 2x  +1ev   abc  "), (std::vector<std::string>{"相册", "2x", "+1ev", "abc"}));
    EXPECT_TRUE(customButtonTitles("   ").empty());
    EXPECT_TRUE(customButtonTitles("").empty());
}

// The console shows numbers the way they were meant: "2.0", not "2" or "2.000000".
TEST(CustomButtonCommands, NumbersPrintInShortestFormWithAFraction) {
    EXPECT_EQ(describeNumber(2.0), "2.0");
    EXPECT_EQ(describeNumber(0.5), "0.5");
    EXPECT_EQ(describeNumber(-0.7f), "-0.7");
    EXPECT_EQ(describeNumber(1.0f), "1.0");
    EXPECT_EQ(describeNumber(0.0f), "0.0");
    EXPECT_FALSE(parseDecimal(" 1"));
    EXPECT_FALSE(parseDecimal("1 "));
    EXPECT_FALSE(parseDecimal(""));
    EXPECT_FALSE(parseDecimal("1e999"));
    EXPECT_EQ(parseDecimal("+2.5"), 2.5);
}

// Sector edges decide landscape photos: a boundary angle belongs to the sector starting there.
TEST(OrientationSectors, BoundaryAnglesBelongToTheSectorThatStartsThere) {
    EXPECT_EQ(deviceOrientationForAcceleration(0, -1), 1);
    EXPECT_EQ(deviceOrientationForAcceleration(1, 0), 4);
    EXPECT_EQ(deviceOrientationForAcceleration(0, 1), 2);
    EXPECT_EQ(deviceOrientationForAcceleration(-1, 0), 3);
    EXPECT_DOUBLE_EQ(orientationAngleDegrees(1, -1), 45);
    EXPECT_EQ(deviceOrientationForAcceleration(1, -1), 4);   // 45: landscape right
    EXPECT_DOUBLE_EQ(orientationAngleDegrees(-1, -1), 315);
    EXPECT_EQ(deviceOrientationForAcceleration(-1, -1), 1);  // 315: portrait
    EXPECT_DOUBLE_EQ(orientationAngleDegrees(1, 1), 135);
    EXPECT_EQ(deviceOrientationForAcceleration(1, 1), 2);    // 135: upside down
    EXPECT_EQ(deviceOrientationForAcceleration(-1, 1), 3);   // 225: landscape left
    EXPECT_EQ(deviceOrientationForAcceleration(0.7, -0.71), 1);  // just under 45
    EXPECT_FALSE(hasInPlaneGravity(0, 0));  // flat on a table: no direction to read
    EXPECT_TRUE(hasInPlaneGravity(0, -0.01));
}

// The label must name the camera briefly and show the bias only once it is noticeable.
TEST(ZoomLabel, TextsFollowTheCameraZoomLockAndBias) {
    EXPECT_EQ(zoomLabelCameraName("后置广角相机"), "广角");
    EXPECT_EQ(zoomLabelCameraName("Back Telephoto Camera"), " Telephoto ");
    EXPECT_EQ(zoomLabelCameraName("相机相机前置"), "前置");
    EXPECT_EQ(zoomLabelZoomText(1.0, false), "1.0x");
    EXPECT_EQ(zoomLabelZoomText(2.46, false), "2.5x");
    EXPECT_EQ(zoomLabelZoomText(3.0, true), "🔒1x");
    EXPECT_EQ(zoomLabelExposureText(0.3f), std::nullopt);
    EXPECT_EQ(zoomLabelExposureText(-0.3f), std::nullopt);
    EXPECT_EQ(zoomLabelExposureText(0.4f), " EV0.4");
    EXPECT_EQ(zoomLabelExposureText(-1.0f), " EV-1.0");
}

// A device that allows ±8 EV must still stop at ±5; a narrow device keeps its own range.
TEST(ExposureCompensationMath, TargetsClampToDeviceThenToFiveStops) {
    EXPECT_FLOAT_EQ(exposureBiasTarget(4.5f, 1.0f, false, -8, 8), 5.0f);
    EXPECT_FLOAT_EQ(exposureBiasTarget(-4.5f, -7.0f, false, -8, 8), -5.0f);
    EXPECT_FLOAT_EQ(exposureBiasTarget(3.0f, -0.7f, true, -8, 8), -0.7f);
    EXPECT_FLOAT_EQ(exposureBiasTarget(0.0f, 3.0f, false, -2, 2), 2.0f);
    ExposureStepTracker steps;
    EXPECT_FALSE(steps.record(0.2f));
    EXPECT_TRUE(steps.record(0.3f));
    EXPECT_FALSE(steps.record(0.5f));
    EXPECT_TRUE(steps.record(0.0f));
    EXPECT_FLOAT_EQ(steps.lastStep(), 0.0f);
}

// Buttons are centred as a row with an 80-point pitch, whatever their number.
TEST(CameraButtonRow, CategoriesSymbolsAndFrames) {
    EXPECT_EQ(cameraCategoryForName("前置相机"), CameraCategory::Front);
    EXPECT_EQ(cameraCategoryForName("Front Camera"), CameraCategory::Front);
    EXPECT_EQ(cameraCategoryForName("后置超广角相机"), CameraCategory::UltraWide);
    EXPECT_EQ(cameraCategoryForName("Back Telephoto Camera"), CameraCategory::Telephoto);
    EXPECT_EQ(cameraCategoryForName("后置远摄"), CameraCategory::Telephoto);
    EXPECT_EQ(cameraCategoryForName("Back Camera"), CameraCategory::Wide);
    EXPECT_STREQ(symbolForCameraCategory(CameraCategory::Wide), "1.square");
    auto frames = cameraButtonFrames(3, {390, 844});
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0], QRectF(85, 629, 60, 60));
    EXPECT_EQ(frames[2], QRectF(245, 629, 60, 60));
    EXPECT_EQ(cameraButtonFrames(1, {390, 844})[0].center().x(), 195);
    EXPECT_TRUE(cameraButtonFrames(0, {390, 844}).empty());
}
