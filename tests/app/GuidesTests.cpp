#include <QTest>
#include <QWindow>

#include "AppHarness.h"
#include "app/GuideGeometry.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/ui/Layer.h"

using namespace sorvel;
using namespace sorvel::testing;

namespace {

std::vector<QRectF> lineFrames(const View& container) {
    std::vector<QRectF> frames;
    for (QObject* child : container.children())
        if (auto* v = dynamic_cast<View*>(child); v && v->accessibilityIdentifier() == "gridLine") frames.push_back(v->frame());
    return frames;
}

void expectRect(const QRectF& actual, const QRectF& expected, double tolerance = 1e-9) {
    EXPECT_NEAR(actual.x(), expected.x(), tolerance);
    EXPECT_NEAR(actual.y(), expected.y(), tolerance);
    EXPECT_NEAR(actual.width(), expected.width(), tolerance);
    EXPECT_NEAR(actual.height(), expected.height(), tolerance);
}

struct Guides : AppHarness {
    ViewController& loadWith(int value) {
        SettingsStore::standard().setInteger(value, "grid_lines");
        return loadController();
    }
};

}  // namespace

// The phone the app is laid out for: a photo area off by a point would put the thirds off the
// picture's thirds, and a crop frame off its ratio would mislead every framing.
TEST(GuideGeometry, PhotoAreaCropFramesAndGridLinesOnA390By844Screen) {
    QRectF area = guidePhotoArea(QRectF(0, 0, 390, 844));
    expectRect(area, QRectF(0, 102, 390, 520));
    QSizeF size = area.size();
    expectRect(cropIndicatorFrame(size, std::nullopt, 0.5625), QRectF(48.75, 0, 292.5, 520));
    expectRect(cropIndicatorFrame(size, std::nullopt, 1.0), QRectF(0, 65, 390, 390));
    QRectF scaled = cropIndicatorFrame(size, 0.6571428571428571, std::nullopt);
    EXPECT_NEAR(scaled.width(), 256.29, 0.005);
    EXPECT_NEAR(scaled.height(), 341.71, 0.005);
    EXPECT_NEAR(scaled.center().x(), 195, 1e-9);
    expectRect(cropIndicatorFrame(size, std::nullopt, std::nullopt), QRectF(0, 0, 390, 520));

    auto lines = gridLineFrames(3, 3, QRectF(48.75, 0, 292.5, 520));
    ASSERT_EQ(lines.size(), 4u);
    for (int i = 1; i <= 2; ++i) expectRect(lines[i - 1], QRectF(48.75 + 97.5 * i - 0.5, 0, 1, 520));
    expectRect(lines[2], QRectF(48.75, 520.0 / 3 - 0.5, 292.5, 1));
    EXPECT_TRUE(gridLineFrames(1, 1, QRectF(0, 0, 10, 10)).empty());
    EXPECT_EQ(gridLineFrames(1, 4, QRectF(0, 0, 10, 10)).size(), 3u);
}

// Each stored choice must build its own guides and nothing else: value 2 a double frame with
// the grid inside it, value 1 the grid over the whole area and a single thin frame, 0 nothing.
TEST_F(Guides, EachValueBuildsItsLinesAndFrame) {
    ViewController& vc = loadWith(2);
    ASSERT_NE(vc.gridContainer, nullptr);
    expectRect(vc.gridContainer->frame(), QRectF(0, 102, 390, 520));
    EXPECT_FALSE(vc.gridContainer->isUserInteractionEnabled());
    auto lines = lineFrames(*vc.gridContainer);
    ASSERT_EQ(lines.size(), 4u);
    expectRect(lines[0], QRectF(48.75 + 97.5 - 0.5, 0, 1, 520));
    const auto& layers = vc.gridContainer->sublayers();
    ASSERT_EQ(layers.size(), 2u);
    auto* outer = dynamic_cast<ShapeLayer*>(layers[0].get());
    auto* main = dynamic_cast<ShapeLayer*>(layers[1].get());
    ASSERT_TRUE(outer && main);
    expectRect(outer->path().boundingRect(), QRectF(46.75, -2, 296.5, 524));
    EXPECT_EQ(outer->lineWidth(), 1.0);
    EXPECT_EQ(main->lineWidth(), 3.0);
    expectRect(main->path().boundingRect(), QRectF(48.75, 0, 292.5, 520));
    EXPECT_EQ(main->fillRule(), FillRule::EvenOdd);
    EXPECT_EQ(main->fillColor().alpha(), 0);
    EXPECT_NEAR(main->strokeColor().alphaF(), 0.7, 0.01);
    EXPECT_EQ(main->strokeColor().rgb() & 0xffffff, 0xffffffu);  // the theme's text colour
    EXPECT_EQ(outer->strokeColor().rgb() & 0xffffff, 0x000000u);  // the theme's background

    // A rebuild for another value removes the old guides.
    View* old = vc.gridContainer;
    SettingsStore::standard().setInteger(1, "grid_lines");
    vc.setupGridLines();
    EXPECT_NE(vc.gridContainer, old);
    EXPECT_EQ(old->parentWidget(), nullptr);
    EXPECT_EQ(lineFrames(*vc.gridContainer).size(), 4u);
    expectRect(lineFrames(*vc.gridContainer)[0], QRectF(130 - 0.5, 0, 1, 520));
    ASSERT_EQ(vc.gridContainer->sublayers().size(), 1u);
    EXPECT_EQ(static_cast<ShapeLayer*>(vc.gridContainer->sublayers()[0].get())->lineWidth(), 1.0);
    // Above every other view of the screen, as a rebuild from the settings panel leaves it.
    EXPECT_EQ(vc.view()->children().back(), vc.gridContainer);

    SettingsStore::standard().setInteger(0, "grid_lines");
    vc.setupGridLines();
    runUntilIdle();
    EXPECT_TRUE(lineFrames(*vc.gridContainer).empty());
    EXPECT_TRUE(vc.gridContainer->sublayers().empty());
    EXPECT_EQ(vc.view()->findChildren<QWidget*>("gridContainer").size(), 1);

    SettingsStore::standard().setInteger(3, "grid_lines");
    vc.setupGridLines();
    expectRect(static_cast<ShapeLayer*>(vc.gridContainer->sublayers()[1].get())->path().boundingRect(),
               QRectF(0, 65, 390, 390));
    expectRect(lineFrames(*vc.gridContainer)[2], QRectF(0, 65 + 130 - 0.5, 390, 1));
}

// The guides lie over the whole preview: a press on a line must still focus the camera.
TEST_F(Guides, PressOnAGuideLineReachesTheCameraBelow) {
    SettingsStore::standard().setInteger(1, "grid_lines");
    ViewController& vc = startCamera();
    vc.view()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(vc.view()));
    // The first vertical third lies at x 129.5 .. 130.5, from y 102.
    QTest::mouseClick(vc.view()->windowHandle(), Qt::LeftButton, {}, QPoint(130, 300));
    EXPECT_EQ(vc.view()->findChildren<QWidget*>("focusIndicator").size(), 1);
}
