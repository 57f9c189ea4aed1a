// Orientation and extents: the app lays out watermarks and crops by these numbers.
#include <gtest/gtest.h>

#include "TestImages.h"
#include "platform/image/Filter.h"
#include "platform/image/FilterKit.h"

namespace sorvel::image {
namespace {

using test::labelledBitmap;

// Source pixel (column, row from top) shown at display (c, r) for each orientation value,
// written from the Exif definitions independently of the implementation.
std::pair<int, int> sourceOf(int o, int c, int r, int W, int H) {
    switch (o) {
        case 1: return {c, r};
        case 2: return {W - 1 - c, r};
        case 3: return {W - 1 - c, H - 1 - r};
        case 4: return {c, H - 1 - r};
        case 5: return {r, c};
        case 6: return {r, H - 1 - c};
        case 7: return {W - 1 - r, H - 1 - c};
        case 8: return {W - 1 - r, c};
    }
    return {c, r};
}

// A swapped row/column or a mirrored axis in any of the eight moves shows up as a wrong pixel.
TEST(ImageOrientation, AllEightValuesMovePixelsExactlyOn3x2) {
    const int W = 3, H = 2;
    Bitmap src = labelledBitmap(W, H);
    Image image(src);
    for (int o = 1; o <= 8; ++o) {
        Image oriented = image.oriented(o);
        const int OW = o >= 5 ? H : W, OH = o >= 5 ? W : H;
        EXPECT_EQ(oriented.extent(), (Rect{0, 0, double(OW), double(OH)})) << "orientation " << o;
        auto out = test::renderRGBA8(oriented, oriented.extent());
        ASSERT_TRUE(out) << "orientation " << o;
        for (int r = 0; r < OH; ++r)
            for (int c = 0; c < OW; ++c) {
                auto [sc, sr] = sourceOf(o, c, r, W, H);
                for (int k = 0; k < 4; ++k)
                    ASSERT_EQ(out->row(r)[4 * c + k], src.row(sr)[4 * sc + k])
                        << "orientation " << o << " at (" << c << ", " << r << ") channel " << k;
            }
    }
}

// Two orientations in a row are one move of the source (a frame turned upright, then turned
// again for the waveform monitor, is read once) and show what the two moves one after the
// other show.
TEST(ImageOrientation, TwoOrientationsComposeIntoOneMove) {
    const int W = 5, H = 3;
    Bitmap src = labelledBitmap(W, H);
    Image image(src);
    for (int first = 1; first <= 8; ++first)
        for (int second = 1; second <= 8; ++second) {
            SCOPED_TRACE(::testing::Message() << first << " then " << second);
            Image twice = image.oriented(first).oriented(second);
            if (first != 1) {
                ASSERT_EQ(twice.node()->inputs().size(), 1u);
                EXPECT_EQ(twice.node()->inputs()[0], image.node()) << "one move of the source";
            }
            auto ref = test::renderRGBA8(Image(*test::renderRGBA8(image.oriented(first), image.oriented(first).extent()))
                                             .oriented(second),
                                         twice.extent());
            auto out = test::renderRGBA8(twice, twice.extent());
            ASSERT_TRUE(out && ref);
            EXPECT_EQ(test::firstDifference(*out, *ref), "");
        }
    // Shifted inputs compose too: a mirrored picture turned twice still lands at the origin.
    Image mirrored = image.transformed(AffineTransform::scale(-1, 1));
    EXPECT_EQ(mirrored.oriented(6).oriented(6).extent(), (Rect{0, 0, double(W), double(H)}));
    auto a = test::renderRGBA8(mirrored.oriented(6).oriented(6), {0, 0, double(W), double(H)});
    auto b = test::renderRGBA8(mirrored.oriented(3), {0, 0, double(W), double(H)});
    EXPECT_EQ(test::firstDifference(*a, *b), "");
}

// An image that lies away from the origin (after a mirror) still lands at (0, 0).
TEST(ImageOrientation, ResultLiesAtOriginForShiftedInput) {
    Image mirrored = Image(labelledBitmap(3, 2)).transformed(AffineTransform::scale(-1, 1));
    EXPECT_EQ(mirrored.extent(), (Rect{-3, 0, 3, 2}));
    EXPECT_EQ(mirrored.oriented(6).extent(), (Rect{0, 0, 2, 3}));
    EXPECT_EQ(mirrored.oriented(9).extent(), mirrored.extent());
}

TEST(ImageExtent, TransformIsBoundingBoxOfTransformedRectangle) {
    Image image(labelledBitmap(40, 20));
    EXPECT_EQ(image.transformed(AffineTransform::scale(0.5, 2)).extent(), (Rect{0, 0, 20, 40}));
    EXPECT_EQ(image.transformed(AffineTransform::translation(-5.5, 3)).extent(), (Rect{-5.5, 3, 40, 20}));
    Rect r = image.transformed(AffineTransform::rotation(M_PI / 2)).extent();
    EXPECT_NEAR(r.x, -20, 1e-9);
    EXPECT_NEAR(r.y, 0, 1e-9);
    EXPECT_NEAR(r.width, 20, 1e-9);
    EXPECT_NEAR(r.height, 40, 1e-9);
}

TEST(ImageExtent, CropIsIntersection) {
    Image image(labelledBitmap(40, 20));
    EXPECT_EQ(image.cropped({10, 5, 100, 100}).extent(), (Rect{10, 5, 30, 15}));
    EXPECT_EQ(image.cropped({-10, -10, 15, 12}).extent(), (Rect{0, 0, 5, 2}));
    EXPECT_TRUE(image.cropped({50, 50, 10, 10}).extent().isEmpty());
    EXPECT_EQ(Image::constantColor(Color::black()).cropped({0, 0, 7, 9}).extent(), (Rect{0, 0, 7, 9}));
}

// The mirrored deep picture lies at negative x; the watermark layer composited over it must
// make the union, including the layer's shift, or the text is cut off.
TEST(ImageExtent, CompositeIsUnionIncludingNegativeCoordinatesAfterMirror) {
    Image picture = Image(labelledBitmap(100, 60)).transformed(AffineTransform::scale(-1, 1));
    EXPECT_EQ(picture.extent(), (Rect{-100, 0, 100, 60}));
    Image layer = Image::constantColor(Color::clear()).cropped({0, 0, 100, 60})
                      .transformed(AffineTransform::translation(-100 + 20, 10));
    Image out = layer.composited(picture);
    EXPECT_EQ(out.extent(), (Rect{-100, 0, 120, 70}));
    auto f = Filter::make("CISourceOverCompositing");
    ASSERT_TRUE(f);
    f->setValue("inputImage", layer);
    f->setValue("inputBackgroundImage", picture);
    ASSERT_TRUE(f->outputImage());
    EXPECT_EQ(f->outputImage()->extent(), (Rect{-100, 0, 120, 70}));
}

TEST(ImageExtent, InfiniteAndEmpty) {
    Image c = Image::constantColor(Color::white());
    EXPECT_TRUE(c.extent().isInfinite());
    EXPECT_TRUE(Image().extent().isEmpty());
    EXPECT_TRUE(Image().composited(Image()).extent().isEmpty());
    EXPECT_TRUE(c.composited(Image(labelledBitmap(3, 2))).extent().isInfinite());
    EXPECT_TRUE(c.oriented(6).extent().isInfinite());
}

// A mirror by scale (-1, 1) must move pixels exactly, not blur them.
TEST(ImageExtent, MirrorTransformIsPixelExact) {
    Bitmap src = labelledBitmap(3, 2);
    Image m = Image(src).transformed(AffineTransform::scale(-1, 1));
    auto out = test::renderRGBA8(m, m.extent());
    ASSERT_TRUE(out);
    auto ref = test::renderRGBA8(Image(src).oriented(2), {0, 0, 3, 2});
    EXPECT_EQ(test::firstDifference(*out, *ref), "");
}

}  // namespace
}  // namespace sorvel::image
