// The filter library: neutral inputs, the direction of each adjustment, extents, masks and
// tiling independence of the neighbourhood filters.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "FilterPixels.h"
#include "platform/image/Filter.h"
#include "platform/image/FilterKit.h"

#include <atomic>

namespace sorvel::image {
namespace {

using test::linearImage;
using test::LinearPixels;
using test::renderLinear;
using test::Rgba;

constexpr double kPi = std::numbers::pi;
const Rect kBox{0, 0, 24, 18};

Image apply(const Image& in, const char* name, const FilterInputs& inputs = {}) {
    auto out = in.applyingFilter(name, inputs);
    EXPECT_TRUE(out) << name;
    return out ? *out : Image();
}

LinearPixels pixels(const Image& image, const Rect& rect = kBox, RenderOptions options = {}) {
    auto p = renderLinear(image, rect, options);
    EXPECT_TRUE(p);
    return p ? *p : LinearPixels{};
}

Image flat(Rgba c, int w = 24, int h = 18) {
    return linearImage(w, h, [c](int, int) { return c; });
}

float saturationOf(const float* p) {
    const float hi = std::max({p[0], p[1], p[2]}), lo = std::min({p[0], p[1], p[2]});
    return hi > 0 ? (hi - lo) / hi : 0;
}

// A registration slip (a misspelt name, a missing file) would silently turn the app's step into
// a no-op: every name the app uses must create a filter that has a summary and no output
// without an input image.
TEST(FilterLibrary, EveryNameTheAppUsesIsRegistered) {
    for (const char* n : {"CIExposureAdjust", "CIColorControls", "CIVibrance", "CIGammaAdjust", "CIHueAdjust",
                          "CITemperatureAndTint", "CIBloom", "CIDither", "CIPhotoEffectChrome", "CIPhotoEffectFade",
                          "CIPhotoEffectInstant", "CIPhotoEffectMono", "CIPhotoEffectTonal", "CIPhotoEffectNoir",
                          "CIPhotoEffectTransfer", "CIVignette", "CIHighlightShadowAdjust", "CIBoxBlur", "CIEdges",
                          "CIBlendWithMask", "CIPersonSegmentation"}) {
        auto f = Filter::make(n);
        ASSERT_TRUE(f) << n;
        EXPECT_FALSE(f->summary().empty()) << n;
        EXPECT_FALSE(f->outputImage()) << n << " made an output without an input image";
    }
}

// A filter whose neutral is not exactly neutral shifts every picture that passes through the
// chain. Defaults and values a hair from the defaults (so the pixel code itself runs) must
// leave the pixels where they were.
TEST(FilterLibrary, NeutralInputsLeavePixelsUnchanged) {
    const Image in = test::variedImage(24, 18);
    const LinearPixels ref = pixels(in);
    struct Case {
        const char* name;
        FilterInputs inputs;
        float tolerance;
    };
    const Case cases[] = {
        {"CIExposureAdjust", {}, 0},
        {"CIExposureAdjust", {{"inputEV", 1e-6}}, 1e-5f},
        {"CIVibrance", {}, 0},
        {"CIVibrance", {{"inputAmount", 1e-6}}, 1e-5f},
        {"CIGammaAdjust", {}, 0},
        {"CIGammaAdjust", {{"inputPower", 1.000001}}, 2e-5f},
        {"CIHueAdjust", {}, 0},
        {"CIHueAdjust", {{"inputAngle", 2 * kPi}}, 1e-5f},
        {"CITemperatureAndTint", {}, 0},
        {"CITemperatureAndTint", {{"inputNeutral", Vector{4000, 20}}, {"inputTargetNeutral", Vector{4000, 20}}}, 0},
        {"CITemperatureAndTint", {{"inputNeutral", Vector{6500, 0}}, {"inputTargetNeutral", Vector{6500.01, 0}}}, 1e-5f},
        {"CIBloom", {{"inputIntensity", 0.0}}, 0},
        {"CIDither", {{"inputIntensity", 0.0}}, 0},
        {"CIDither", {{"inputIntensity", 1e-7}}, 1e-5f},
        {"CIVignette", {}, 0},
        {"CIVignette", {{"inputIntensity", 1e-6}}, 1e-5f},
        {"CIHighlightShadowAdjust", {}, 0},
        {"CIHighlightShadowAdjust", {{"inputShadowAmount", 1e-6}}, 1e-5f},
        {"CIHighlightShadowAdjust", {{"inputShadowAmount", 1e-6}, {"inputRadius", 6.0}}, 1e-5f},
        {"CIBoxBlur", {{"inputRadius", 0.0}}, 0},
        {"CIColorControls", {}, 0},
    };
    for (const Case& c : cases) {
        Image out = apply(in, c.name, c.inputs);
        EXPECT_LE(pixels(out).maxDifference(ref), c.tolerance) << c.name;
    }
}

// Exposure is a linear gain: +1 must double linear values exactly (a gamma-space gain would
// not), -1 halve them, and alpha must not move.
TEST(FilterLibrary, ExposureDoublesLinearValuesPerStop) {
    const Image in = test::variedImage(24, 18);
    const LinearPixels ref = pixels(in), up = pixels(apply(in, "CIExposureAdjust", {{"inputEV", 1.0}})),
                       down = pixels(apply(in, "CIExposureAdjust", {{"inputEV", -1.0}}));
    for (std::size_t i = 0; i < ref.data.size(); ++i) {
        const float k = i % 4 == 3 ? 1.0f : 2.0f;
        ASSERT_NEAR(up.data[i], ref.data[i] * k, 1e-6f) << i;
        ASSERT_NEAR(down.data[i], ref.data[i] / k, 1e-6f) << i;
    }
}

// Saturation 0 must give grey, and the grey must keep the colour's luminance.
TEST(FilterLibrary, SaturationZeroGivesGreyOfTheSameLuminance) {
    const Image in = test::variedImage(24, 18);
    const LinearPixels ref = pixels(in), grey = pixels(apply(in, "CIColorControls", {{"inputSaturation", 0.0}}));
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 24; ++x) {
            const float* p = grey.at(x, y);
            const float* r = ref.at(x, y);
            ASSERT_NEAR(p[0], p[1], 1e-6f);
            ASSERT_NEAR(p[1], p[2], 1e-6f);
            ASSERT_NEAR(p[0], 0.2125f * r[0] + 0.7154f * r[1] + 0.0721f * r[2], 1e-5f);
        }
}

// Hue: a whole turn is the identity, half a turn swaps a colour to its opposite side while grey
// and luminance stay where they are, and two half turns make a whole one.
TEST(FilterLibrary, HueRotationKeepsGreyAndLuminance) {
    const Image in = test::variedImage(24, 18);
    const LinearPixels ref = pixels(in);
    const LinearPixels half = pixels(apply(in, "CIHueAdjust", {{"inputAngle", kPi}}));
    const LinearPixels twice = pixels(apply(apply(in, "CIHueAdjust", {{"inputAngle", kPi}}), "CIHueAdjust",
                                            {{"inputAngle", kPi}}));
    EXPECT_LE(twice.maxDifference(ref), 1e-4f);
    EXPECT_GT(half.maxDifference(ref), 0.1f);
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 24; ++x) {
            const float *a = ref.at(x, y), *b = half.at(x, y);
            ASSERT_NEAR(0.2126f * a[0] + 0.7152f * a[1] + 0.0722f * a[2], 0.2126f * b[0] + 0.7152f * b[1] + 0.0722f * b[2],
                        2e-3f);
        }
    const LinearPixels g = pixels(apply(flat({0.3f, 0.3f, 0.3f, 1}), "CIHueAdjust", {{"inputAngle", 1.0}}));
    EXPECT_NEAR(g.at(3, 3)[0], 0.3f, 1e-5f);
    EXPECT_NEAR(g.at(3, 3)[2], 0.3f, 1e-5f);
    // Red turned by a third of a circle lands on green's side.
    const LinearPixels red = pixels(apply(flat({0.8f, 0.1f, 0.1f, 1}), "CIHueAdjust", {{"inputAngle", 2 * kPi / 3}}));
    EXPECT_GT(red.at(0, 0)[1], red.at(0, 0)[0]);
    EXPECT_GT(red.at(0, 0)[1], red.at(0, 0)[2]);
}

// Temperature: a neutral warmer than the target cools the picture, a bluer one warms it, and
// the neutral's own white becomes the target's white (grey stays grey when both sides agree on
// what white is).
TEST(FilterLibrary, TemperatureMovesWhiteTowardsTheTarget) {
    const Image grey = flat({0.5f, 0.5f, 0.5f, 1});
    const float* p;
    const LinearPixels warm = pixels(apply(grey, "CITemperatureAndTint", {{"inputNeutral", Vector{9000, 0}}}));
    p = warm.at(5, 5);
    EXPECT_GT(p[0], p[2] * 1.1f) << "a bluish light corrected to 6500 K must warm the picture";
    const LinearPixels cool = pixels(apply(grey, "CITemperatureAndTint", {{"inputNeutral", Vector{3000, 0}}}));
    p = cool.at(5, 5);
    EXPECT_GT(p[2], p[0] * 1.3f) << "a warm light corrected to 6500 K must cool the picture";
    // Round trip: 3000 -> 6500 then 6500 -> 3000 is the identity.
    const Image in = test::variedImage(24, 18);
    Image there = apply(in, "CITemperatureAndTint", {{"inputNeutral", Vector{3000, 10}}});
    Image back = apply(there, "CITemperatureAndTint",
                       {{"inputNeutral", Vector{6500, 0}}, {"inputTargetNeutral", Vector{3000, 10}}});
    EXPECT_LE(pixels(back).maxDifference(pixels(in)), 1e-4f);
    // Tint moves green against magenta.
    const LinearPixels tint = pixels(apply(grey, "CITemperatureAndTint", {{"inputNeutral", Vector{6500, 50}}}));
    EXPECT_GT(std::fabs(tint.at(1, 1)[1] - 0.5f), 0.01f);
}

// Gamma, vibrance: the direction of each control.
TEST(FilterLibrary, GammaAndVibranceMoveTheRightWay) {
    const LinearPixels g = pixels(apply(flat({0.5f, 0.25f, 1.0f, 1}), "CIGammaAdjust", {{"inputPower", 2.0}}));
    EXPECT_NEAR(g.at(0, 0)[0], 0.25f, 1e-5f);
    EXPECT_NEAR(g.at(0, 0)[1], 0.0625f, 1e-5f);
    EXPECT_NEAR(g.at(0, 0)[2], 1.0f, 1e-5f);

    auto vib = [](Rgba c, double amount) {
        LinearPixels p = pixels(apply(flat(c), "CIVibrance", {{"inputAmount", amount}}));
        return saturationOf(p.at(0, 0));
    };
    const Rgba dull{0.4f, 0.35f, 0.45f, 1}, vivid{0.9f, 0.05f, 0.1f, 1}, skin{0.6f, 0.35f, 0.25f, 1};
    const float dull0 = saturationOf(dull.data()), vivid0 = saturationOf(vivid.data()), skin0 = saturationOf(skin.data());
    EXPECT_GT(vib(dull, 1) - dull0, 0.05f) << "dull colours gain";
    EXPECT_LT(vib(vivid, 1) - vivid0, (vib(dull, 1) - dull0) / 3) << "saturated colours are spared";
    EXPECT_LT(vib(skin, 1) - skin0, (vib(dull, 1) - dull0)) << "skin is spared";
    EXPECT_LT(vib(dull, -1), dull0 * 0.5f) << "negative amounts desaturate";
}

// The seven looks must each do what their name promises, and no two may be the same.
TEST(FilterLibrary, LooksMatchTheirNamesAndDiffer) {
    const Image in = test::variedImage(24, 18);
    const char* looks[] = {"CIPhotoEffectChrome", "CIPhotoEffectFade", "CIPhotoEffectInstant", "CIPhotoEffectMono",
                           "CIPhotoEffectTonal", "CIPhotoEffectNoir", "CIPhotoEffectTransfer"};
    std::vector<LinearPixels> out;
    for (const char* l : looks) out.push_back(pixels(apply(in, l)));
    for (std::size_t i = 0; i < out.size(); ++i)
        for (std::size_t j = i + 1; j < out.size(); ++j)
            EXPECT_GT(out[i].maxDifference(out[j]), 0.02f) << looks[i] << " vs " << looks[j];

    auto meanSaturation = [](const LinearPixels& p) {
        double s = 0;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) s += saturationOf(p.at(x, y));
        return s / (p.width * p.height);
    };
    const double chrome = meanSaturation(out[0]), fade = meanSaturation(out[1]), instant = meanSaturation(out[2]);
    EXPECT_GT(chrome, fade);
    EXPECT_GT(fade, instant);
    for (int k : {3, 4, 5}) EXPECT_LT(meanSaturation(out[std::size_t(k)]), 1e-4) << looks[k] << " must be grey";

    // Contrast: the spread between a dark and a light grey after each mono look.
    auto spread = [](const char* look) {
        LinearPixels d = pixels(apply(flat({0.03f, 0.03f, 0.03f, 1}), look));
        LinearPixels l = pixels(apply(flat({0.6f, 0.6f, 0.6f, 1}), look));
        return std::log2(l.at(0, 0)[0] / std::max(1e-6f, d.at(0, 0)[0]));
    };
    EXPECT_LT(spread("CIPhotoEffectMono"), spread("CIPhotoEffectTonal"));
    EXPECT_LT(spread("CIPhotoEffectTonal"), spread("CIPhotoEffectNoir"));

    // Warm film: grey turns warm.
    LinearPixels t = pixels(apply(flat({0.2f, 0.2f, 0.2f, 1}), "CIPhotoEffectTransfer"));
    EXPECT_GT(t.at(0, 0)[0], t.at(0, 0)[2] * 1.2f);
}

// The app crops bloom by ceil(3 r) and box blur by floor(r) on every side to get back the
// input's extent: if the extents grew by anything else the cropped picture would change size.
// Every other filter must keep the input's extent.
TEST(FilterLibrary, ExtentsGrowOnlyForTheBlurs) {
    const Image in = flat({0.5f, 0.4f, 0.3f, 1}, 40, 30);
    EXPECT_EQ(apply(in, "CIBloom", {{"inputRadius", 8.2}, {"inputIntensity", 0.5}}).extent(),
              (Rect{-25, -25, 90, 80}));
    EXPECT_EQ(apply(in, "CIBloom").extent(), (Rect{-30, -30, 100, 90}));
    EXPECT_EQ(apply(in, "CIBoxBlur", {{"inputRadius", 12.7}}).extent(), (Rect{-12, -12, 64, 54}));
    EXPECT_EQ(apply(in, "CIBoxBlur").extent(), (Rect{-10, -10, 60, 50}));
    const std::pair<const char*, FilterInputs> keep[] = {
        {"CIExposureAdjust", {{"inputEV", 1.0}}},      {"CIVibrance", {{"inputAmount", 0.5}}},
        {"CIGammaAdjust", {{"inputPower", 1.5}}},      {"CIHueAdjust", {{"inputAngle", 0.5}}},
        {"CITemperatureAndTint", {{"inputNeutral", Vector{4000, 0}}}},
        {"CIDither", {}},                              {"CIPhotoEffectChrome", {}},
        {"CIPhotoEffectNoir", {}},                     {"CIVignette", {{"inputIntensity", 2.0}}},
        {"CIHighlightShadowAdjust", {{"inputShadowAmount", 0.5}, {"inputRadius", 5.0}}},
        {"CIEdges", {{"inputIntensity", 10.0}}},
    };
    for (const auto& [name, inputs] : keep) EXPECT_EQ(apply(in, name, inputs).extent(), in.extent()) << name;
}

// A blur that read outside its input as black would darken the borders of every blurred photo;
// edge pixels repeat instead, so a flat picture stays flat. Inside, the box blur is the plain
// mean of its square.
TEST(FilterLibrary, BoxBlurIsTheMeanOfItsSquareWithEdgesRepeated) {
    const LinearPixels f = pixels(apply(flat({0.5f, 0.4f, 0.3f, 1}), "CIBoxBlur", {{"inputRadius", 3.0}}));
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 24; ++x) ASSERT_NEAR(f.at(x, y)[0], 0.5f, 1e-5f) << x << "," << y;

    auto value = [](int x, int y) { return float((x * 7 + y * 13) % 17) / 16.0f; };
    const Image in = linearImage(24, 18, [&](int x, int y) -> Rgba { return {value(x, y), 0, 0, 1}; });
    const LinearPixels b = pixels(apply(in, "CIBoxBlur", {{"inputRadius", 2.9}}));
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 24; ++x) {
            double sum = 0;
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx) sum += value(std::clamp(x + dx, 0, 23), std::clamp(y + dy, 0, 17));
            ASSERT_NEAR(b.at(x, y)[0], sum / 25, 1e-5) << x << "," << y;
        }
}

// Bloom: brightens (screen never darkens), glows most next to light areas, and stays a soft
// glow: black next to a bright patch turns grey, while the bright patch stays below white.
TEST(FilterLibrary, BloomGlowsAroundLightAreas) {
    const Image in = linearImage(40, 30, [](int x, int y) -> Rgba {
        const bool lit = x >= 15 && x < 25 && y >= 10 && y < 20;
        return lit ? Rgba{0.8f, 0.8f, 0.8f, 1} : Rgba{0.02f, 0.02f, 0.02f, 1};
    });
    const LinearPixels ref = pixels(in, {0, 0, 40, 30});
    const LinearPixels out = pixels(apply(in, "CIBloom", {{"inputRadius", 3.0}, {"inputIntensity", 1.0}}), {0, 0, 40, 30});
    for (std::size_t i = 0; i < ref.data.size(); ++i) ASSERT_GE(out.data[i], ref.data[i] - 1e-6f);
    EXPECT_GT(out.at(13, 15)[0], 0.1f) << "dark pixel next to the patch glows";
    EXPECT_LT(out.at(2, 2)[0], 0.05f) << "far away stays dark";
    EXPECT_LE(out.at(20, 15)[0], 1.0f);
}

// Edges: flat areas are black, a step lights up only along itself.
TEST(FilterLibrary, EdgesLightUpOnlyAtSteps) {
    const Image in = linearImage(24, 18, [](int x, int) -> Rgba {
        return x < 12 ? Rgba{0.1f, 0.1f, 0.1f, 1} : Rgba{0.6f, 0.6f, 0.6f, 1};
    });
    const LinearPixels e = pixels(apply(in, "CIEdges", {{"inputIntensity", 1.0}}));
    EXPECT_NEAR(e.at(3, 9)[0], 0, 1e-6f);
    EXPECT_NEAR(e.at(20, 9)[0], 0, 1e-6f);
    EXPECT_NEAR(e.at(0, 0)[0], 0, 1e-6f) << "the picture's border is not an edge";
    EXPECT_GT(e.at(11, 9)[0], 0.01f);
    EXPECT_GT(e.at(12, 9)[0], 0.01f);
    EXPECT_NEAR(e.at(11, 9)[3], 1.0f, 1e-6f);
    const LinearPixels strong = pixels(apply(in, "CIEdges", {{"inputIntensity", 10.0}}));
    EXPECT_GT(strong.at(11, 9)[0], e.at(11, 9)[0] * 50) << "intensity scales the edge strength";
}

// Vignette darkens the corners much more than the centre; highlight and shadow amounts lift
// the darks and hold back the lights, but black stays black.
TEST(FilterLibrary, VignetteAndHighlightShadowShapeTheTones) {
    const Image grey = flat({0.5f, 0.5f, 0.5f, 1}, 40, 30);
    const LinearPixels v = pixels(apply(grey, "CIVignette", {{"inputIntensity", 2.0}}), {0, 0, 40, 30});
    EXPECT_GT(v.at(20, 15)[0], 0.49f);
    EXPECT_LT(v.at(0, 0)[0], 0.3f);
    EXPECT_LT(v.at(0, 0)[0], v.at(10, 8)[0]);

    const Image ramp = linearImage(3, 1, [](int x, int) -> Rgba {
        const float l = x == 0 ? 0.0f : x == 1 ? 0.02f : 0.85f;
        return {l, l, l, 1};
    });
    const Rect r{0, 0, 3, 1};
    const LinearPixels base = pixels(ramp, r);
    const LinearPixels lifted = pixels(apply(ramp, "CIHighlightShadowAdjust", {{"inputShadowAmount", 1.0}}), r);
    const LinearPixels held = pixels(apply(ramp, "CIHighlightShadowAdjust", {{"inputHighlightAmount", 0.0}}), r);
    EXPECT_EQ(lifted.at(0, 0)[0], 0.0f);
    EXPECT_GT(lifted.at(1, 0)[0], base.at(1, 0)[0] * 2);
    EXPECT_NEAR(lifted.at(2, 0)[0], base.at(2, 0)[0], 0.02f);
    EXPECT_LT(held.at(2, 0)[0], base.at(2, 0)[0] * 0.8f);
    EXPECT_NEAR(held.at(1, 0)[0], base.at(1, 0)[0], 1e-3f);
}

// Blend: a white mask shows the image, a black one the background, grey mixes linearly; the
// mask's red channel decides.
TEST(FilterLibrary, BlendWithMaskFollowsTheMask) {
    const Image fg = flat({0.8f, 0.2f, 0.1f, 1}), bg = flat({0.1f, 0.3f, 0.9f, 1});
    auto blend = [&](Rgba m) {
        return pixels(apply(fg, "CIBlendWithMask", {{"inputBackgroundImage", bg}, {"inputMaskImage", flat(m)}}));
    };
    EXPECT_LE(blend({1, 1, 1, 1}).maxDifference(pixels(fg)), 1e-6f);
    EXPECT_LE(blend({0, 0, 0, 1}).maxDifference(pixels(bg)), 1e-6f);
    const LinearPixels half = blend({0.5f, 0, 0, 1});
    EXPECT_NEAR(half.at(4, 4)[0], 0.45f, 1e-6f);
    EXPECT_NEAR(half.at(4, 4)[2], 0.5f, 1e-6f);
    EXPECT_FALSE(fg.applyingFilter("CIBlendWithMask", {{"inputBackgroundImage", bg}})) << "mask missing";
}

// Dither: the same picture renders the same noise every time; the noise is centred, and it
// scales with the intensity.
TEST(FilterLibrary, DitherIsDeterministicCentredNoise) {
    const Image grey = flat({0.2f, 0.2f, 0.2f, 1}, 64, 64);
    const Rect r{0, 0, 64, 64};
    const LinearPixels a = pixels(apply(grey, "CIDither"), r), b = pixels(apply(grey, "CIDither"), r);
    EXPECT_EQ(a.maxDifference(b), 0.0f);
    double sum = 0, spread = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const double e = std::sqrt(a.at(x, y)[1]) - std::sqrt(0.2);
            sum += e;
            spread += std::fabs(e);
        }
    EXPECT_NEAR(sum / 4096, 0.0, 0.005);
    EXPECT_NEAR(spread / 4096, 0.1 / 3, 0.006) << "mean |noise| of triangular noise of peak 0.1";
    EXPECT_GT(a.at(0, 0)[0] != a.at(1, 0)[0] || a.at(0, 0)[0] != a.at(0, 0)[1], 0);
}

// Tiles: a neighbourhood filter that summed in tile order or read its neighbours relative to
// the tile would render differently with other tile sizes or thread counts; the renderer
// promises identical bytes.
TEST(FilterLibrary, NeighbourhoodFiltersDoNotDependOnTiling) {
    const Image in = test::variedImage(150, 97);
    const std::pair<const char*, FilterInputs> cases[] = {
        {"CIBloom", {{"inputRadius", 4.4}, {"inputIntensity", 0.7}}},
        {"CIBoxBlur", {{"inputRadius", 7.0}}},
        {"CIEdges", {{"inputIntensity", 10.0}}},
        {"CIHighlightShadowAdjust", {{"inputShadowAmount", 0.8}, {"inputRadius", 9.0}}},
        {"CIDither", {}},
        {"CIVignette", {{"inputIntensity", 1.5}}},
    };
    for (const auto& [name, inputs] : cases) {
        const Image out = apply(in, name, inputs);
        const Rect e = out.extent();
        const LinearPixels one = pixels(out, e, {.threads = 1, .tileWidth = 512, .tileHeight = 512});
        const LinearPixels many = pixels(out, e, {.threads = 2, .tileWidth = 16, .tileHeight = 11});
        const LinearPixels odd = pixels(out, e, {.threads = 2, .tileWidth = 37, .tileHeight = 8});
        EXPECT_EQ(one.maxDifference(many), 0.0f) << name;
        EXPECT_EQ(one.maxDifference(odd), 0.0f) << name;
    }
}

// The blurs skip a channel that is exactly 1 (or 0) everywhere they read: checking only a
// tile's own pixels, not the margin its blur reaches into, would keep alpha at 1 next to a
// transparent pixel that lies in a neighbouring tile.
TEST(FilterLibrary, BlursSeeATransparentPixelInANeighbouringTile) {
    const Image in = linearImage(40, 30, [](int x, int y) {
        return x == 20 && y == 15 ? Rgba{0, 0, 0, 0} : Rgba{0.3f + 0.01f * float(x), 0.4f, 0.2f, 1};
    });
    for (const char* name : {"CIBoxBlur", "CIBloom"}) {
        const Image out = apply(in, name, {{"inputRadius", 2.0}}).cropped(in.extent());
        const LinearPixels whole = pixels(out, in.extent(), {.threads = 1, .tileWidth = 512, .tileHeight = 512});
        const LinearPixels tiled = pixels(out, in.extent(), {.threads = 2, .tileWidth = 8, .tileHeight = 8});
        EXPECT_EQ(whole.maxDifference(tiled), 0.0f) << name;
        // The box blur averages the hole into its neighbours; the bloom screens its glow over
        // them, which keeps an opaque pixel opaque, and fills the hole itself.
        const bool box = std::string_view(name) == "CIBoxBlur";
        EXPECT_LT(whole.at(box ? 18 : 20, 15)[3], box ? 1.0f : 0.9f) << name << ": alpha at the hole";
        EXPECT_EQ(whole.at(5, 5)[3], 1.0f) << name << ": alpha far from the hole";
    }
}

// The app blends each look over the picture it was made from, so the picture is read twice
// per blend; a renderer that evaluated the graph as a tree would compute the source 2^n times
// for n blends. Every source pixel must be computed once per tile, and the blends must still
// mix correctly.
TEST(FilterLibrary, ChainedBlendsComputeTheirSourceOncePerTile) {
    struct CountingNode final : Node {
        mutable std::atomic<int> computes{0};
        Rect extent() const override { return {0, 0, 64, 64}; }
        void compute(const TileView& out, std::span<const TileView>) const override {
            ++computes;
            for (int c = 0; c < 4; ++c)
                for (std::int64_t y = out.rect.y; y < out.rect.maxY(); ++y)
                    std::fill_n(out.row(c, y), out.rect.width, c == 3 ? 1.0f : 0.25f);
        }
    };
    auto source = std::make_shared<CountingNode>();
    Image current(source);
    for (int i = 0; i < 16; ++i) {
        Image look = apply(current, "CIExposureAdjust", {{"inputEV", 1.0}});
        Image faded = apply(look, "CIColorMatrix", {{"inputAVector", Vector{0, 0, 0, 0.5}}});
        current = apply(faded, "CISourceOverCompositing", {{"inputBackgroundImage", current}});
    }
    const LinearPixels p = pixels(current, {0, 0, 64, 64}, {.threads = 1, .tileWidth = 32, .tileHeight = 32});
    EXPECT_EQ(source->computes.load(), 4) << "one compute per tile";
    // Each blend: 0.5 * 2c + 0.5 * c = 1.5 c.
    EXPECT_NEAR(p.at(10, 10)[0], 0.25f * std::pow(1.5f, 16.0f), 1e-2f);
}

// Untrusted numbers (NaN, infinities, absurd radii) from a damaged saved filter must not crash
// or hang: each gives no output or a bounded one.
TEST(FilterLibrary, AbsurdInputsAreRefusedOrBounded) {
    const Image in = flat({0.5f, 0.5f, 0.5f, 1}, 8, 8);
    const double nan = std::nan("");
    for (const char* name : {"CIExposureAdjust", "CIVibrance", "CIGammaAdjust", "CIHueAdjust", "CIBloom", "CIDither",
                             "CIVignette", "CIHighlightShadowAdjust", "CIBoxBlur", "CIEdges"}) {
        for (const char* key : {"inputEV", "inputAmount", "inputPower", "inputAngle", "inputIntensity", "inputRadius",
                                "inputShadowAmount"}) {
            auto out = in.applyingFilter(name, {{key, nan}});
            if (out) {
                EXPECT_TRUE(renderLinear(*out, {0, 0, 8, 8})) << name << " " << key;
            }
        }
    }
    auto big = in.applyingFilter("CIBoxBlur", {{"inputRadius", 1e12}});
    ASSERT_TRUE(big);
    EXPECT_LE(big->extent().width, 8 + 2 * 2000);
}

}  // namespace
}  // namespace sorvel::image
