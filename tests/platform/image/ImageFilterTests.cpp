// Named filters: registry behaviour, Lanczos geometry and values, the colour filters.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "TestImages.h"
#include "platform/image/Filter.h"
#include "platform/image/FilterKit.h"

namespace sorvel::image {
namespace {

TEST(ImageFilter, UnknownNameGivesNothingAndKnownNamesAreListed) {
    EXPECT_EQ(Filter::make("CINoSuchFilter"), nullptr);
    auto names = Filter::names();
    for (const char* n : {"CILanczosScaleTransform", "CIColorControls", "CIColorMatrix", "CISourceOverCompositing",
                          "CIColorInvert"}) {
        EXPECT_NE(std::find(names.begin(), names.end(), n), names.end()) << n;
        auto f = Filter::make(n);
        ASSERT_TRUE(f) << n;
        EXPECT_FALSE(f->summary().empty()) << n;
    }
}

TEST(ImageFilter, NoInputImageMeansNoOutput) {
    for (const auto& n : Filter::names()) EXPECT_FALSE(Filter::make(n)->outputImage()) << n;
    auto f = Filter::make("CISourceOverCompositing");
    f->setValue("inputImage", Image(test::labelledBitmap(3, 2)));
    EXPECT_FALSE(f->outputImage()) << "background missing";
    auto l = Filter::make("CILanczosScaleTransform");
    l->setValue("inputImage", Image(test::labelledBitmap(3, 2)));
    l->setValue("inputScale", 0.0);
    EXPECT_FALSE(l->outputImage()) << "scale 0";
}

// A constant picture must stay constant under a normalised kernel, to the last pixel of the
// rounded-out extent (edges are clamped, not faded).
TEST(ImageLanczos, ConstantImageStaysConstantAndExtentRoundsOutward) {
    Image grey = Image::constantColor({0.4, 0.6, 0.2, 1}).cropped({0, 0, 101, 77});
    for (double s : {0.5, 0.3333, 0.77, 1.0, 1.6}) {
        Image out = *grey.applyingFilter("CILanczosScaleTransform", {{"inputScale", s}});
        Rect e = out.extent();
        EXPECT_EQ(e, (Rect{0, 0, std::ceil(101 * s - 1e-9), std::ceil(77 * s - 1e-9)})) << s;
        auto px = test::renderRGBA8(out, e);
        auto ref = test::renderRGBA8(Image::constantColor({0.4, 0.6, 0.2, 1}), e);
        ASSERT_TRUE(px && ref);
        EXPECT_EQ(test::firstDifference(*px, *ref), "") << "scale " << s;
    }
    // Aspect ratio scales x only; origin away from zero rounds outward on both sides.
    Image shifted = Image::constantColor(Color::white()).cropped({3, 5, 10, 10});
    Image out = *shifted.applyingFilter("CILanczosScaleTransform", {{"inputScale", 0.5}, {"inputAspectRatio", 0.75}});
    EXPECT_EQ(out.extent(), (Rect{1, 2, 4, 6}));  // x: 1.125 .. 4.875, y: 2.5 .. 7.5
}

TEST(ImageLanczos, FourThousandTo2016KeepsExactSize) {
    Image img = Image::constantColor(Color::black()).cropped({0, 0, 4032, 3024});
    double s = std::min(2016.0 / 4032, 1520.0 / 3024);
    Image out = *img.applyingFilter("CILanczosScaleTransform", {{"inputScale", s}, {"inputAspectRatio", 1.0}});
    EXPECT_EQ(out.extent(), (Rect{0, 0, 2016, 1512}));
}

// Halving a horizontal ramp must keep it a ramp: each output is the mean of its two sources
// (the kernel is symmetric about the output centre).
TEST(ImageLanczos, HalvingALinearRampAveragesNeighbours) {
    Bitmap b = *Bitmap::make(64, 4, PixelFormat::RGBAFloat, ColorSpace::LinearSRGB);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 64; ++c) {
            float v[4] = {c / 64.0f, 0.5f, 0.25f, 1.0f};
            std::memcpy(b.mutableRow(r) + 16 * c, v, 16);
        }
    Image out = *Image(b).applyingFilter("CILanczosScaleTransform", {{"inputScale", 0.5}});
    auto px = RenderContext().render(out, out.extent(), PixelFormat::RGBAFloat, ColorSpace::LinearSRGB);
    ASSERT_TRUE(px);
    for (int c = 4; c < 28; ++c) {
        float v;
        std::memcpy(&v, px->row(1) + 16 * c, 4);
        EXPECT_NEAR(v, (2 * c + 0.5f) / 64.0f, 1e-5) << c;
    }
}

float renderOne(const Image& image, int channel, ColorSpace space = ColorSpace::LinearSRGB) {
    auto px = RenderContext().render(image, {0, 0, 1, 1}, PixelFormat::RGBAFloat, space);
    float v[4];
    std::memcpy(v, px->row(0), 16);
    return v[channel];
}

TEST(ImageFilter, ColorControlsDefaultsAreIdentityAndSaturationZeroIsGrey) {
    Image c = Image::constantColor({0.8, 0.2, 0.4, 1});
    auto f = Filter::make("CIColorControls");
    f->setValue("inputImage", c);
    Image same = *f->outputImage();
    for (int k = 0; k < 4; ++k) EXPECT_EQ(renderOne(same, k), renderOne(c, k));
    Image grey = *c.applyingFilter("CIColorControls", {{"inputSaturation", 0.0}});
    EXPECT_NEAR(renderOne(grey, 0), renderOne(grey, 1), 1e-6);
    EXPECT_NEAR(renderOne(grey, 1), renderOne(grey, 2), 1e-6);
    Image bright = *c.applyingFilter("CIColorControls", {{"inputBrightness", 0.1}});
    EXPECT_NEAR(renderOne(bright, 0), renderOne(c, 0) + 0.1f, 1e-5);
    Image contrast = *c.applyingFilter("CIColorControls", {{"inputContrast", 2.0}});
    EXPECT_NEAR(renderOne(contrast, 1), (renderOne(c, 1) - 0.5f) * 2 + 0.5f, 1e-5);
}

// The filter chain's blend step: alpha scaled by a vector, then source-over the original.
TEST(ImageFilter, ColorMatrixFadeThenSourceOverMixesLinearly) {
    Image base = Image::constantColor({0.2, 0.2, 0.2, 1});
    Image effect = *base.applyingFilter("CIColorInvert");
    Image faded = *effect.applyingFilter("CIColorMatrix", {{"inputRVector", Vector{1, 0, 0, 0}},
                                                           {"inputGVector", Vector{0, 1, 0, 0}},
                                                           {"inputBVector", Vector{0, 0, 1, 0}},
                                                           {"inputAVector", Vector{0, 0, 0, 0.5}},
                                                           {"inputBiasVector", Vector{0, 0, 0, 0}}});
    Image mixed = *faded.applyingFilter("CISourceOverCompositing", {{"inputBackgroundImage", base}});
    float b = renderOne(base, 0), e = renderOne(effect, 0);
    EXPECT_NEAR(e, 1.0f - b, 1e-6);
    EXPECT_NEAR(renderOne(mixed, 0), 0.5f * b + 0.5f * e, 1e-6);
    EXPECT_NEAR(renderOne(mixed, 3), 1.0f, 1e-6);
    // The mask step of the segmentation pre-pass: red x 1.4655 into r, g, b; alpha 1.
    Image mask = *Image::constantColor({0.5, 0, 0, 1}).applyingFilter(
        "CIColorMatrix", {{"inputRVector", Vector{1.4655, 0, 0, 0}}, {"inputGVector", Vector{1.4655, 0, 0, 0}},
                          {"inputBVector", Vector{1.4655, 0, 0, 0}}, {"inputAVector", Vector{0, 0, 0, 1}}});
    EXPECT_NEAR(renderOne(mask, 1), 1.4655f * 0.2140411f, 1e-5);
    EXPECT_NEAR(renderOne(mask, 3), 1.0f, 1e-6);
}

// FilterKit's promise: a new filter is a node plus a registration, and point operations chain.
class HalveNode final : public PointNode {
public:
    using PointNode::PointNode;
    Alpha alpha() const override { return Alpha::Premultiplied; }
    void apply(const PixelRun& p) const override {
        for (std::size_t i = 0; i < p.count; ++i) p.r[i] *= 0.5f;
    }
};

TEST(ImageFilter, ANewFilterRegisteredAtRunTimeChainsWithBuiltIns) {
    registerFilter({"TestHalveRed", "Halves red.", {}, [](const Filter& f) -> std::optional<Image> {
                        const Image* in = inputImage(f);
                        if (!in) return std::nullopt;
                        return makeImage<HalveNode>(in->node());
                    }});
    Image c = Image::constantColor({1, 1, 1, 1});
    Image out = *c.applyingFilter("TestHalveRed")->applyingFilter("CIColorInvert")->applyingFilter("TestHalveRed");
    EXPECT_NEAR(renderOne(out, 0), (1.0f - 0.5f) * 0.5f, 1e-6);
    EXPECT_NEAR(renderOne(out, 1), 0.0f, 1e-6);
}

}  // namespace
}  // namespace sorvel::image
