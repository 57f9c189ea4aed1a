#include <QPixmap>

#include "UiTestSupport.h"
#include "platform/ui/BlurView.h"
#include "platform/ui/Layer.h"
#include "platform/ui/Pasteboard.h"

using namespace sorvel;

namespace {

struct UiLayers : sorvel::testing::UiFixture {};

QImage rendered(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_ARGB32); }

}  // namespace

// The guides' crop frame is a stroked rounded rectangle with a clear, even-odd fill: the stroke
// must land on the path (not a filled box), the inside must stay see-through, and a line grown
// past the host's edge must still be drawn while the host's subviews keep their places.
TEST_F(UiLayers, ShapeLayerStrokesItsPathAndMayDrawPastItsHost) {
    View window(QRectF(0, 0, 200, 200));
    window.setBackgroundColor(Qt::black);
    auto* host = new View(QRectF(50, 50, 100, 100), nullptr);
    window.addSubview(host);
    auto* child = new View(QRectF(10, 10, 5, 5), nullptr);
    child->setBackgroundColor(Qt::blue);
    host->addSubview(child);

    auto frame = std::make_shared<ShapeLayer>();
    frame->setFrame(host->bounds());
    frame->setPath(ShapeLayer::roundedRectPath(QRectF(20, 20, 60, 60), 12));
    frame->setStrokeColor(Qt::white);
    frame->setFillColor(Qt::transparent);
    frame->setFillRule(FillRule::EvenOdd);
    frame->setLineWidth(3);
    host->addSublayer(frame);
    // The outer line of a double frame: 2 points outside the host on every side.
    auto outer = std::make_shared<ShapeLayer>();
    outer->setFrame(host->bounds());
    outer->setPath(ShapeLayer::roundedRectPath(QRectF(-2, -2, 104, 104), 14));
    outer->setStrokeColor(Qt::red);
    outer->setFillColor(Qt::transparent);
    host->insertSublayer(outer, 0);
    ASSERT_EQ(host->sublayers().size(), 2u);
    EXPECT_EQ(host->sublayers()[0], outer);

    QImage img = rendered(window);
    // Stroke: on the path's straight left edge at x = 50 + 20.
    EXPECT_GT(qGray(img.pixel(70, 100)), 200);
    EXPECT_LT(qGray(img.pixel(100, 100)), 20);  // inside stays clear
    EXPECT_GT(qRed(img.pixel(48, 100)), 120);   // the outer line, outside the host's frame
    EXPECT_GT(qRed(img.pixel(100, 48)), 120);
    // The subview is where its frame says.
    EXPECT_EQ(img.pixel(62, 62), QColor(Qt::blue).rgb());
    EXPECT_EQ(child->frame(), QRectF(10, 10, 5, 5));
    EXPECT_EQ(host->frame(), QRectF(50, 50, 100, 100));

    // Even-odd: a path of two nested rectangles, filled, leaves the inner one open.
    auto ring = std::make_shared<ShapeLayer>();
    ring->setFrame(QRectF(0, 0, 40, 40));
    QPainterPath p;
    p.addRect(0, 0, 40, 40);
    p.addRect(10, 10, 20, 20);
    ring->setPath(p);
    ring->setFillColor(Qt::green);
    ring->setFillRule(FillRule::EvenOdd);
    View other(QRectF(0, 0, 40, 40));
    other.setBackgroundColor(Qt::black);
    other.addSublayer(ring);
    QImage r = rendered(other);
    EXPECT_GT(qGreen(r.pixel(5, 20)), 200);
    EXPECT_LT(qGreen(r.pixel(20, 20)), 100);  // the hole shows the window behind

    frame->removeFromSuperlayer();
    EXPECT_EQ(frame->superview(), nullptr);
    EXPECT_EQ(host->sublayers().size(), 1u);
}

// The innovative-features card's background drifts between two colour pairs: the colours on
// screen must move from the set ones towards the targets and back, forever, while the model
// colours stay as set.
TEST_F(UiLayers, GradientColoursAnimateBackAndForthOnTheClock) {
    View card(QRectF(0, 0, 100, 100));
    auto g = std::make_shared<GradientLayer>();
    g->setFrame(card.bounds());
    const QColor a = QColor::fromRgbF(1, 182 / 255.f, 193 / 255.f), b = QColor::fromRgbF(1, 102 / 255.f, 204 / 255.f);
    const QColor a2 = QColor::fromRgbF(1, 20 / 255.f, 147 / 255.f), b2 = QColor::fromRgbF(1, 105 / 255.f, 180 / 255.f);
    g->setColors({a, b});
    card.insertSublayer(g, 0);
    g->addColorsAnimation("colorChange", {a2, b2}, 10, true, RepeatCount::infinite());
    EXPECT_TRUE(card.isAnimating());
    EXPECT_EQ(g->animationKeys(), QStringList{"colorChange"});
    EXPECT_EQ(g->presentationColors()[0].rgb(), a.rgb());
    main.advance(5);
    double green = g->presentationColors()[0].greenF();
    EXPECT_LT(green, a.greenF() - 0.1);
    EXPECT_GT(green, a2.greenF() + 0.1);
    main.advance(5);
    EXPECT_NEAR(g->presentationColors()[0].greenF(), a2.greenF(), 0.01);
    main.advance(10);  // reversed back
    EXPECT_NEAR(g->presentationColors()[0].greenF(), a.greenF(), 0.01);
    main.advance(1000);
    EXPECT_TRUE(card.isAnimating());
    EXPECT_EQ(g->colors()[0].rgb(), a.rgb());
    // Drawn: the top row is the first colour.
    QImage img = rendered(card);
    EXPECT_NEAR(qGreen(img.pixel(50, 0)), qGreen(g->presentationColors()[0].rgb()), 3);
    g->removeAnimation("colorChange");
    EXPECT_FALSE(card.isAnimating());
}

// Line views of the guides cast a black shadow of radius 1 and custom buttons one of radius 3;
// a shadow that is never drawn leaves white lines unreadable on a white scene.
TEST_F(UiLayers, ViewShadowIsDrawnAroundItsContentAndFollowsAlpha) {
    View window(QRectF(0, 0, 100, 100));
    window.setBackgroundColor(Qt::white);
    auto* line = new View(QRectF(20, 50, 60, 4), nullptr);
    line->setBackgroundColor(Qt::white);
    line->setShadow(Qt::black, 0.7, 3, QPointF(0, 0));
    window.addSubview(line);
    QImage img = rendered(window);
    EXPECT_LT(qGray(img.pixel(50, 55)), 240);  // just below the line: shadowed
    EXPECT_EQ(qGray(img.pixel(50, 90)), 255);  // far away: untouched
    line->setShadow(Qt::black, 0, 3);
    img = rendered(window);
    EXPECT_EQ(qGray(img.pixel(50, 55)), 255);
    line->setBackgroundColor(Qt::black);
    line->setAlpha(0.5);
    img = rendered(window);
    EXPECT_NEAR(qGray(img.pixel(50, 52)), 128, 6);
}

// The settings sheet stands on a blur of the camera: the blur view must show the colours
// behind it (not its own children or nothing), darkened for the dark style and lightened for
// the light one.
TEST_F(UiLayers, BlurViewShowsWhatLiesBehindItTinted) {
    View window(QRectF(0, 0, 200, 200));
    window.setBackgroundColor(Qt::black);
    auto* behind = new View(QRectF(0, 100, 200, 100), nullptr);
    behind->setBackgroundColor(Qt::red);
    window.addSubview(behind);
    auto* blur = new BlurView(BlurStyle::Dark, QRectF(0, 120, 200, 80), nullptr);
    window.addSubview(blur);
    blur->refreshBackdrop();
    ASSERT_FALSE(blur->backdrop().isNull());
    QImage dark = rendered(window);
    QRgb middle = dark.pixel(100, 170);
    EXPECT_GT(qRed(middle), 60);
    EXPECT_LT(qRed(middle), 200);  // darkened
    EXPECT_LT(qGreen(middle), 40);
    blur->setStyle(BlurStyle::Light);
    QImage light = rendered(window);
    EXPECT_GT(qGreen(light.pixel(100, 170)), qGreen(middle) + 50);
    EXPECT_GT(qRed(light.pixel(100, 170)), 200);
}

// Share codes are copied and pasted through the system clipboard.
TEST_F(UiLayers, PasteboardWritesAndReadsTheClipboard) {
    Pasteboard::general().setString("滤镜码 a1");
    ASSERT_TRUE(Pasteboard::general().string().has_value());
    EXPECT_EQ(*Pasteboard::general().string(), "滤镜码 a1");
    EXPECT_TRUE(Pasteboard::general().hasStrings());
    QImage red(4, 4, QImage::Format_ARGB32);
    red.fill(Qt::red);
    Pasteboard::general().setImage(red);
    auto back = Pasteboard::general().image();
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->pixelColor(1, 1), QColor(Qt::red));
}
