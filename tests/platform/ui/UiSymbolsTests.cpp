#include <QPainter>

#include "UiTestSupport.h"
#include "platform/ui/Button.h"
#include "platform/ui/Symbols.h"

using namespace sorvel;
using sorvel::testing::opaqueBounds;

namespace {

struct UiSymbols : sorvel::testing::UiFixture {};

const QStringList kNames = {"gearshape", "stopwatch", "xmark", "wand.and.stars", "slider.horizontal.3", "trash",
                            "arrow.triangle.2.circlepath.camera", "1.square", "binoculars",
                            "arrow.up.left.and.arrow.down.right"};

QImage blank(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

}  // namespace

// A symbol drawn at its grid size instead of the caller's rect, stretched instead of
// aspect-fit, or off centre would overflow or misplace a button's icon. Each symbol must fill
// most of the centred square of a wide rect and stay inside it.
TEST_F(UiSymbols, EveryNameDrawsAspectFitAndCentredInsideTheRect) {
    const QRectF rect(20, 10, 80, 50);           // wide: the symbol fits its 50 x 50 square
    const QRectF square(35, 10, 50, 50);         // centred horizontally
    for (const QString& name : kNames) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(hasSymbol(name));
        QImage image = blank(140, 80);
        QPainter p(&image);
        EXPECT_TRUE(drawSymbol(p, name, rect, Qt::white));
        p.end();
        QRect drawn = opaqueBounds(image);
        ASSERT_FALSE(drawn.isNull()) << "nothing drawn";
        EXPECT_TRUE(square.toAlignedRect().contains(drawn)) << drawn.x() << "," << drawn.y() << " " << drawn.width()
                                                           << "x" << drawn.height();
        // Uses the square: its larger extent covers most of the side.
        EXPECT_GE(std::max(drawn.width(), drawn.height()), 0.6 * 50);
        EXPECT_NEAR(drawn.center().x(), square.center().x(), 5);
        EXPECT_NEAR(drawn.center().y(), square.center().y(), 5);
    }
    EXPECT_EQ(symbolNames(), kNames);
}

// An unknown name must be reported and must leave the picture untouched, so a mistyped name
// never paints a stray shape.
TEST_F(UiSymbols, UnknownNameDrawsNothing) {
    QImage image = blank(40, 40);
    QPainter p(&image);
    EXPECT_FALSE(drawSymbol(p, "camera.fill", QRectF(0, 0, 40, 40), Qt::white));
    EXPECT_FALSE(drawSymbol(p, "", QRectF(0, 0, 40, 40), Qt::white));
    p.end();
    EXPECT_TRUE(opaqueBounds(image).isNull());
    EXPECT_FALSE(hasSymbol("Gearshape"));
    EXPECT_TRUE(symbolImage("nothing", QSizeF(10, 10), Qt::white).isNull());
    EXPECT_TRUE(symbolImage("xmark", QSizeF(0, 10), Qt::white).isNull());
}

// The tint is the only colour drawn, and a translucent tint keeps its alpha where strokes
// overlap (a symbol painted stroke by stroke would show darker crossings: the xmark's centre).
TEST_F(UiSymbols, TintIsTheColourDrawnAndOverlapsAreNotDoubled) {
    const QColor tint(200, 40, 90, 128);
    for (const QString& name : kNames) {
        SCOPED_TRACE(name.toStdString());
        QImage image = symbolImage(name, QSizeF(30, 30), tint, 3).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(90, 90));
        EXPECT_DOUBLE_EQ(image.devicePixelRatio(), 3.0);
        int maxAlpha = 0;
        int coloured = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                QRgb px = image.pixel(x, y);
                maxAlpha = std::max(maxAlpha, qAlpha(px));
                if (qAlpha(px) < 64) continue;  // rims carry rounding error from premultiplication
                ++coloured;
                ASSERT_NEAR(qRed(px), 200, 4) << x << "," << y;
                ASSERT_NEAR(qGreen(px), 40, 4) << x << "," << y;
                ASSERT_NEAR(qBlue(px), 90, 4) << x << "," << y;
            }
        EXPECT_GT(coloured, 100);
        EXPECT_NEAR(maxAlpha, 128, 1);
    }
}

// The settings button shows its gear inside the image insets in the tint colour; a symbol
// drawn over the whole button would touch its round edge.
TEST_F(UiSymbols, ButtonDrawsItsSymbolInsideTheInsetsInTheTint) {
    Button b(QRectF(0, 0, 60, 60));
    b.setSymbol("gearshape");
    b.setImageInsets(12);
    b.setTintColor(QColor(0, 255, 0));
    EXPECT_EQ(b.symbolName(), "gearshape");
    QImage image = blank(60, 60);
    b.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    QRect drawn = opaqueBounds(image);
    ASSERT_FALSE(drawn.isNull());
    EXPECT_TRUE(QRect(12, 12, 36, 36).contains(drawn)) << drawn.x() << "," << drawn.y() << " " << drawn.width();
    EXPECT_GE(drawn.width(), 30);
    QRgb centreOfTooth = image.pixel(drawn.center().x(), drawn.top() + 2);
    EXPECT_EQ(qGreen(centreOfTooth), 255);
    EXPECT_EQ(qRed(centreOfTooth), 0);

    b.setSymbol("");
    QImage cleared = blank(60, 60);
    b.render(&cleared, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_TRUE(opaqueBounds(cleared).isNull());
}
