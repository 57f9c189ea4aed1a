// The render context: bytes that do not depend on tiling or threads, formats, colour spaces.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "TestImages.h"
#include "platform/image/ColorMath.h"
#include "platform/image/Filter.h"

namespace sorvel::image {
namespace {

// A recipe touching every node kind: scaling, point chain, rotation, crop, composite.
Image busyRecipe() {
    Image src(test::noiseBitmap(301, 203, 7));
    Image scaled = *src.applyingFilter("CILanczosScaleTransform", {{"inputScale", 0.63}, {"inputAspectRatio", 1.1}});
    Image tinted = *scaled.applyingFilter("CIColorControls", {{"inputSaturation", 1.3}, {"inputContrast", 1.1}});
    tinted = *tinted.applyingFilter("CIColorMatrix", {{"inputAVector", Vector{0, 0, 0, 0.7}}});
    Image rotated = tinted.transformed(AffineTransform::rotation(0.3).concatenating(AffineTransform::translation(17.25, -4.5)));
    Image over = rotated.composited(Image::constantColor({0.2, 0.3, 0.9, 1}));
    return over.cropped({-20.5, -10, 260, 190}).oriented(6).composited(Image(test::labelledBitmap(9, 5)));
}

// A filter that sums in a tile-dependent order, or reads outside its region of interest,
// gives different bytes for different tilings.
TEST(ImageTiling, OutputIdenticalForAnyTileSizeAndThreadCount) {
    Image recipe = busyRecipe();
    Rect rect = recipe.extent();
    struct Config { int tw, th, threads; };
    const Config configs[] = {{100000, 100000, 1}, {64, 64, 1}, {257, 131, 1}, {64, 64, 2}, {257, 131, 2}, {8, 8, 2}};
    for (PixelFormat format : {PixelFormat::RGBA8, PixelFormat::RGBA8Premultiplied, PixelFormat::RGBAHalf, PixelFormat::RGBAFloat}) {
        std::optional<Bitmap> reference;
        for (const Config& c : configs) {
            RenderOptions o;
            o.tileWidth = c.tw, o.tileHeight = c.th, o.threads = c.threads;
            auto out = RenderContext(o).render(recipe, rect, format, ColorSpace::DisplayP3);
            ASSERT_TRUE(out);
            if (!reference) {
                reference = out;
                continue;
            }
            EXPECT_EQ(test::firstDifference(*reference, *out), "")
                << "tiles " << c.tw << "x" << c.th << " threads " << c.threads << " format " << int(format);
        }
    }
}

// A graph of point operations only is rendered in strips of whole rows by default; filters that
// depend on where a pixel is (dither, vignette) must not see the strip's own coordinates.
TEST(ImageTiling, PointOperationStripsMatchTiles) {
    Image src(test::noiseBitmap(700, 300, 3));
    Image chain = *src.applyingFilter("CIColorControls", {{"inputSaturation", 1.4}});
    chain = *chain.applyingFilter("CIVignette", {{"inputIntensity", 0.8}, {"inputRadius", 1.5}});
    chain = *chain.applyingFilter("CIDither", {{"inputIntensity", 0.3}});
    for (const Image& recipe : {chain, chain.oriented(6)}) {
        RenderOptions tiles;
        tiles.tileWidth = 64, tiles.tileHeight = 48, tiles.threads = 2;
        for (PixelFormat format : {PixelFormat::RGBA8, PixelFormat::RGBAHalf}) {
            auto strips = RenderContext().render(recipe, recipe.extent(), format, ColorSpace::DisplayP3);
            auto tiled = RenderContext(tiles).render(recipe, recipe.extent(), format, ColorSpace::DisplayP3);
            ASSERT_TRUE(strips && tiled);
            EXPECT_EQ(test::firstDifference(*strips, *tiled), "") << "format " << int(format);
        }
    }
}

// Decoding to linear float and encoding back must not lose a single 8-bit code.
TEST(ImageRender, EightBitSrgbRoundTripsEveryCode) {
    Bitmap b = *Bitmap::make(256, 1, PixelFormat::RGBA8, ColorSpace::SRGB);
    for (int i = 0; i < 256; ++i) {
        std::uint8_t* p = b.mutableRow(0) + 4 * i;
        p[0] = std::uint8_t(i), p[1] = std::uint8_t(255 - i), p[2] = std::uint8_t(i / 2), p[3] = 255;
    }
    auto out = test::renderRGBA8(Image(b), {0, 0, 256, 1});
    ASSERT_TRUE(out);
    EXPECT_EQ(test::firstDifference(b, *out), "");
}

TEST(ImageRender, RowsAreTopToBottomAndRectSelectsPixels) {
    Bitmap b = test::labelledBitmap(3, 2);
    auto out = test::renderRGBA8(Image(b), {1, 1, 2, 1});  // y up: the top row, columns 1 and 2
    ASSERT_TRUE(out);
    ASSERT_EQ(out->width(), 2);
    ASSERT_EQ(out->height(), 1);
    EXPECT_EQ(std::memcmp(out->row(0), b.row(0) + 4, 8), 0);
}

TEST(ImageRender, FormatsAndColourSpacesOfAConstant) {
    Image grey = Image::constantColor({0.5, 0.5, 0.5, 1});
    RenderContext ctx;
    auto lin = ctx.render(grey, {0, 0, 2, 2}, PixelFormat::RGBAFloat, ColorSpace::LinearSRGB);
    ASSERT_TRUE(lin);
    float px[4];
    std::memcpy(px, lin->row(1), 16);
    EXPECT_NEAR(px[0], 0.2140411f, 1e-5);
    EXPECT_FLOAT_EQ(px[3], 1.0f);
    auto half = ctx.render(grey, {0, 0, 2, 2}, PixelFormat::RGBAHalf, ColorSpace::SRGB);
    ASSERT_TRUE(half);
    std::uint16_t h[4];
    std::memcpy(h, half->row(0), 8);
    EXPECT_NEAR(color::halfToFloat(h[0]), 0.5f, 1e-3);
    // Pure sRGB red lies inside P3: less than full red there, green and blue above zero.
    auto p3 = ctx.render(Image::constantColor({1, 0, 0, 1}), {0, 0, 1, 1}, PixelFormat::RGBA8, ColorSpace::DisplayP3);
    ASSERT_TRUE(p3);
    EXPECT_NEAR(p3->row(0)[0], 234, 1);
    EXPECT_NEAR(p3->row(0)[1], 51, 1);
    EXPECT_NEAR(p3->row(0)[2], 35, 1);
    // Premultiplied 8-bit of half-transparent white.
    auto pm = ctx.render(Image::constantColor({1, 1, 1, 0.5}), {0, 0, 1, 1}, PixelFormat::RGBA8Premultiplied, ColorSpace::SRGB);
    ASSERT_TRUE(pm);
    EXPECT_EQ(pm->row(0)[0], 128);
    EXPECT_EQ(pm->row(0)[3], 128);
}

TEST(ImageRender, BitmapOfEveryFormatWrapsBackToTheSamePixels) {
    Bitmap src = test::noiseBitmap(37, 23, 3);
    RenderContext ctx;
    for (PixelFormat f : {PixelFormat::RGBA8Premultiplied, PixelFormat::RGBAHalf, PixelFormat::RGBAFloat}) {
        for (ColorSpace s : {ColorSpace::SRGB, ColorSpace::DisplayP3}) {
            auto mid = ctx.render(Image(src), {0, 0, 37, 23}, f, s);
            ASSERT_TRUE(mid);
            auto back = ctx.render(Image(*mid), {0, 0, 37, 23}, PixelFormat::RGBA8, ColorSpace::SRGB);
            ASSERT_TRUE(back);
            int worst = 0;
            for (int r = 0; r < 23; ++r)
                for (int i = 0; i < 37 * 4; ++i) worst = std::max(worst, std::abs(back->row(r)[i] - src.row(r)[i]));
            // 8-bit P3 quantises in another space: dark saturated colours move a few codes.
            const int tolerance = (f == PixelFormat::RGBA8Premultiplied && s == ColorSpace::DisplayP3) ? 6 : 1;
            EXPECT_LE(worst, tolerance) << "format " << int(f) << " space " << int(s);
        }
    }
}

TEST(ImageRender, PixelBufferIsReadAsBGRA) {
    std::vector<std::uint8_t> frame = {10, 20, 30, 255, 40, 50, 60, 255};  // B, G, R, A
    PixelBuffer pb{2, 1, 8, frame.data(), nullptr, ColorSpace::SRGB};
    auto image = Image::fromPixelBuffer(pb);
    ASSERT_TRUE(image);
    auto out = test::renderRGBA8(*image, image->extent());
    ASSERT_TRUE(out);
    EXPECT_EQ(out->row(0)[0], 30);
    EXPECT_EQ(out->row(0)[2], 10);
    EXPECT_EQ(out->row(0)[4], 60);
}

TEST(ImageRender, RefusesEmptyInfiniteAndHugeRectangles) {
    RenderContext ctx;
    Image c = Image::constantColor(Color::white());
    EXPECT_FALSE(ctx.render(c, Rect::infinite()));
    EXPECT_FALSE(ctx.render(c, Rect::empty()));
    EXPECT_FALSE(ctx.render(c, {0, 0, 100000, 100000}));
    auto clear = ctx.render(Image(), {0, 0, 2, 2});
    ASSERT_TRUE(clear);
    EXPECT_EQ(clear->row(0)[3], 0);
}

// One context shared by two threads rendering different recipes at once.
TEST(ImageRender, ContextIsSafeToShareAcrossThreads) {
    RenderContext ctx;
    Image a = busyRecipe();
    auto expected = ctx.render(a, a.extent());
    ASSERT_TRUE(expected);
    std::vector<std::optional<Bitmap>> results(4);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) threads.emplace_back([&, i] { results[i] = ctx.render(a, a.extent()); });
    for (auto& t : threads) t.join();
    for (auto& r : results) {
        ASSERT_TRUE(r);
        EXPECT_EQ(test::firstDifference(*expected, *r), "");
    }
}

}  // namespace
}  // namespace sorvel::image
