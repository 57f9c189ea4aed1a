// The renderer's shortcuts (blends run as point passes, an orientation written through while
// storing, the vectorised row loops, Lanczos at scale 1) against the plain evaluation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include "TestImages.h"
#include "platform/image/Filter.h"
#include "platform/image/PixelLoops.h"
#include "platform/image/filters/PixelMath.h"

namespace sorvel::image {
namespace {

// Noise with alpha that varies by row: opaque rows, half-transparent rows, a transparent row
// and rows that mix all three, so both store paths and the zero-alpha cases run.
Bitmap translucentNoise(int w, int h) {
    Bitmap b = test::noiseBitmap(w, h, 3);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            std::uint8_t& a = b.mutableRow(r)[4 * c + 3];
            switch (r % 5) {
                case 0: a = 255; break;
                case 1: a = std::uint8_t(40 + (c * 7) % 200); break;
                case 2: a = 0; break;
                case 3: a = c % 3 == 0 ? 0 : c % 3 == 1 ? 128 : 255; break;
                default: a = 255;
            }
        }
    return b;
}

Image filtered(const Image& in, const char* name, const FilterInputs& inputs = {}) {
    auto out = in.applyingFilter(name, inputs);
    EXPECT_TRUE(out) << name;
    return out ? *out : in;
}

// `effect` faded to `amount` over `current`, as the filter chain blends its looks.
Image blended(const Image& current, const Image& effect, double amount) {
    return filtered(effect, "CIColorMatrix", {{"inputAVector", Vector{0, 0, 0, amount}}}).composited(current);
}

// Recipes with every shape the shortcuts look for, and shapes they must leave alone.
std::vector<Image> recipes() {
    const Image src(translucentNoise(61, 37));
    Image chain = filtered(src, "CIExposureAdjust", {{"inputEV", 0.4}});
    chain = filtered(chain, "CIColorControls", {{"inputContrast", 1.2}});
    chain = blended(chain, filtered(chain, "CIDither", {{"inputIntensity", 0.2}}), 0.5);
    chain = blended(chain, filtered(chain, "CIPhotoEffectChrome"), 0.3);
    chain = blended(chain, filtered(filtered(chain, "CIPhotoEffectNoir"), "CIVibrance", {{"inputAmount", 0.5}}), 1.0);
    chain = filtered(chain, "CIVignette", {{"inputIntensity", 1.5}});
    // A blend whose effect is also read elsewhere, and one over another picture.
    const Image look = filtered(chain, "CIPhotoEffectFade");
    const Image sharedEffect = blended(chain, look, 0.6).composited(look.transformed(AffineTransform::translation(5, 3)));
    const Image otherBackground = filtered(chain, "CIPhotoEffectMono").composited(Image(test::labelledBitmap(20, 9)));
    return {chain, sharedEffect, otherBackground, filtered(src, "CIGammaAdjust", {{"inputPower", 1.4}})};
}

// A shortcut that computes a pixel differently from the nodes one by one (another operation
// order, a lost alpha conversion, a blend evaluated twice, a pixel placed at the wrong spot by
// the orientation) gives other bytes than the plain evaluation.
TEST(ImageShortcuts, SameBytesAsEveryNodeOnItsOwn) {
    struct Config {
        int tw, th, threads;
    };
    const Config configs[] = {{256, 128, 1}, {8, 8, 2}, {27, 13, 2}};
    int index = 0;
    for (const Image& recipe : recipes()) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const Image upright = recipe.oriented(orientation);
            for (PixelFormat format : {PixelFormat::RGBA8, PixelFormat::RGBA8Premultiplied, PixelFormat::RGBAHalf}) {
                RenderOptions plain;
                plain.shortcuts = false;
                auto reference = RenderContext(plain).render(upright, upright.extent(), format, ColorSpace::DisplayP3);
                ASSERT_TRUE(reference);
                for (const Config& c : configs) {
                    RenderOptions o;
                    o.tileWidth = c.tw, o.tileHeight = c.th, o.threads = c.threads;
                    auto out = RenderContext(o).render(upright, upright.extent(), format, ColorSpace::DisplayP3);
                    ASSERT_TRUE(out);
                    EXPECT_EQ(test::firstDifference(*reference, *out), "")
                        << "recipe " << index << " orientation " << orientation << " format " << int(format)
                        << " tiles " << c.tw << "x" << c.th << " threads " << c.threads;
                }
            }
        }
        ++index;
    }
}

// Writing the orientation while storing must still leave pixels outside the picture
// transparent when the rectangle reaches beyond it, and select the right part when it is
// smaller.
TEST(ImageShortcuts, OrientedRenderOfPartialAndLargerRectangles) {
    const Image upright = Image(test::noiseBitmap(23, 17, 9)).oriented(6);
    RenderOptions plain;
    plain.shortcuts = false;
    for (const Rect& r : {Rect{-3, -2, 25, 30}, Rect{4, 5, 9, 7}, Rect{0, 0, 17, 23}}) {
        auto reference = test::renderRGBA8(upright, r, plain);
        auto out = test::renderRGBA8(upright, r, RenderOptions{.threads = 2, .tileWidth = 8, .tileHeight = 8});
        ASSERT_TRUE(reference && out);
        EXPECT_EQ(test::firstDifference(*reference, *out), "") << r.x << "," << r.y << " " << r.width << "x" << r.height;
    }
}

// The vector lanes must do the scalar arithmetic exactly (clamping order, NaN and zero alpha,
// values beyond [0, 1]); otherwise a pixel's bytes would depend on where its row was split.
TEST(ImageShortcuts, VectorRowLoopsMatchTheScalarPixelByPixel) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    std::vector<float> r, g, b, a;
    const float special[] = {0.0f, -0.0f, 1.0f, 1e-30f, -0.25f, 1.75f, nan, inf, -inf, 0.5f, 0.999f, 3e-8f};
    unsigned s = 99;
    for (int i = 0; i < 4000; ++i) {
        s = s * 1664525u + 1013904223u;
        auto pick = [&](int shift) {
            const unsigned k = (s >> shift) & 31;
            return k < 12 ? special[k] : float(k) / 24.0f - 0.2f;
        };
        r.push_back(pick(2)), g.push_back(pick(8)), b.push_back(pick(14)), a.push_back(pick(20));
    }
    const std::size_t n = r.size();
    std::vector<std::int32_t> vr(n), vg(n), vb(n), va(n);
    loops::quantise(r.data(), g.data(), b.data(), a.data(), n, 65535.0f, vr.data(), vg.data(), vb.data(), va.data());
    auto ur = r, ug = g, ub = b;
    loops::unpremultiply(ur.data(), ug.data(), ub.data(), a.data(), n);
    for (std::size_t i = 0; i < n; ++i) {
        std::int32_t sr, sg, sb, sa;  // one pixel at a time: the scalar path only
        loops::quantise(&r[i], &g[i], &b[i], &a[i], 1, 65535.0f, &sr, &sg, &sb, &sa);
        ASSERT_EQ(std::make_tuple(vr[i], vg[i], vb[i], va[i]), std::make_tuple(sr, sg, sb, sa)) << "pixel " << i;
        float pr = r[i], pg = g[i], pb = b[i];
        loops::unpremultiply(&pr, &pg, &pb, &a[i], 1);
        ASSERT_EQ(std::memcmp(&pr, &ur[i], 4) | std::memcmp(&pg, &ug[i], 4) | std::memcmp(&pb, &ub[i], 4), 0)
            << "pixel " << i;
    }
    // Opaque rows take their own path; it must give the codes of the general one.
    std::vector<float> ones(n, 1.0f);
    std::vector<std::int32_t> orr(n), og(n), ob(n);
    loops::quantise(r.data(), g.data(), b.data(), ones.data(), n, 65535.0f, vr.data(), vg.data(), vb.data(), va.data());
    loops::quantiseOpaque(r.data(), g.data(), b.data(), n, 65535.0f, orr.data(), og.data(), ob.data());
    EXPECT_EQ(vr, orr);
    EXPECT_EQ(vg, og);
    EXPECT_EQ(vb, ob);
}

// The opaque check gates every opaque-only path: one alpha that is not exactly 1, in any lane or
// in the tail, must be seen.
TEST(ImageShortcuts, OpaqueCheckSeesEveryPosition) {
    for (std::size_t n : {std::size_t(1), std::size_t(4), std::size_t(7), std::size_t(256)}) {
        std::vector<float> a(n, 1.0f);
        EXPECT_TRUE(loops::allOpaque(a.data(), n));
        for (std::size_t i = 0; i < n; ++i)
            for (float v : {0.0f, 0.99999994f, NAN, -1.0f}) {
                a[i] = v;
                EXPECT_FALSE(loops::allOpaque(a.data(), n)) << "alpha " << v << " at " << i << " of " << n;
                a[i] = 1.0f;
            }
    }
}

// The film looks run their curves a row at a time; a row must come out as the values one by one
// (shadows, the steep start near 0, beyond white, negative values), or a look would change
// with the tile width.
TEST(ImageShortcuts, ToneCurveRowsMatchSingleValues) {
    const px::ToneTable curve([](double l) { return std::pow(l, 0.8) * 0.9 + 0.05 * l * l; });
    std::vector<float> row;
    for (int i = -300; i <= 1300; ++i) row.push_back(float(i) / 1000.0f);
    for (float v : {1e-9f, 3e-5f, 0.9999999f, 1.0000001f, 7.5f, -2.0f, NAN, INFINITY, -INFINITY, -1e-9f}) row.push_back(v);
    std::mt19937 random(3);
    std::uniform_real_distribution<float> wide(-3.0f, 3.0f);
    for (int i = 0; i < 5001; ++i) row.push_back(wide(random));
    for (bool fourLanes : {false, true}) {
        test::FourLanesOnly narrow(fourLanes);
        std::vector<float> batch = row, apart(row.size());
        curve.apply(batch.data(), batch.size());
        curve.apply(row.data(), apart.data(), row.size());
        for (std::size_t i = 0; i < row.size(); ++i) {
            const float single = curve(row[i]);
            ASSERT_EQ(std::memcmp(&batch[i], &single, 4), 0) << row[i] << ": " << batch[i] << " vs " << single;
            ASSERT_EQ(std::memcmp(&apart[i], &single, 4), 0) << row[i] << ": " << apart[i] << " vs " << single;
        }
    }
    EXPECT_TRUE(std::isfinite(curve(NAN)));  // the last segment's end, not an undefined entry
    // Both must still be the curve: a wrong segment or rise would agree with itself.
    for (float v : {0.0f, 1e-4f, 0.01f, 0.18f, 0.5f, 0.999f, 1.0f}) {
        const double exact = std::pow(double(v), 0.8) * 0.9 + 0.05 * double(v) * double(v);
        EXPECT_NEAR(curve(v), exact, 2e-3 * std::max(exact, 0.01)) << v;
    }
}

// Lanczos at scale 1 is the identity on whole pixels; off the pixel grid it must still
// resample (and cover whole pixels), not hand back the input.
TEST(ImageShortcuts, LanczosAtScaleOneIsTheInputOnlyOnWholePixels) {
    const Image src(test::noiseBitmap(40, 30, 5));
    const Image same = filtered(src, "CILanczosScaleTransform", {{"inputScale", 1.0}, {"inputAspectRatio", 1.0}});
    auto a = test::renderRGBA8(src, src.extent()), b = test::renderRGBA8(same, same.extent());
    ASSERT_TRUE(a && b);
    EXPECT_EQ(test::firstDifference(*a, *b), "");

    const Image shifted = src.transformed(AffineTransform::translation(0.5, 0.25));
    const Image out = filtered(shifted, "CILanczosScaleTransform", {{"inputScale", 1.0}});
    EXPECT_EQ(out.extent(), out.extent().integral());
    EXPECT_NE(out.extent(), shifted.extent());
}

}  // namespace
}  // namespace sorvel::image
