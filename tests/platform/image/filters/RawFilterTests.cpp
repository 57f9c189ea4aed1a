// The RAW developer: develops DNG files written here, brightens with exposure, caches its work,
// refuses what is not a RAW file.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <random>

#include "FilterPixels.h"
#include "TestDng.h"
#include "platform/image/raw/RawDecoder.h"
#include "platform/image/raw/RawFilter.h"

namespace sorvel::image {
namespace {

using test::LinearPixels;
using test::renderLinear;

// Left: a neutral grey ramp; right top: a red patch, right bottom: a blue patch.
test::DngScene chart(int w = 96, int h = 64) {
    test::DngScene s;
    s.width = w;
    s.height = h;
    s.colour = [w, h](int x, int y) -> std::array<float, 3> {
        if (x < w / 2) {
            const float v = 0.02f + 0.4f * float(y) / float(h);
            return {v, v, v};
        }
        return y < h / 2 ? std::array<float, 3>{0.5f, 0.08f, 0.06f} : std::array<float, 3>{0.05f, 0.1f, 0.45f};
    };
    return s;
}

std::unique_ptr<RawFilter> plainDeveloper(const Bytes& dng) {
    // No noise reduction, sharpening or tone curve: the output is the scene times 2^EV.
    std::string why;
    auto f = RawFilter::make(dng,
                             {{"inputNoiseReductionAmount", 0.0}, {"inputEnableSharpening", false},
                              {"inputBoost", 0.0}},
                             &why);
    EXPECT_TRUE(f) << why;
    return f;
}

LinearPixels develop(const RawFilter& f) {
    auto img = f.outputImage();
    EXPECT_TRUE(img) << f.lastError();
    if (!img) return {};
    auto p = renderLinear(*img, img->extent());
    EXPECT_TRUE(p);
    return p ? *p : LinearPixels{};
}

// Average of a block, away from the demosaic's borders.
std::array<float, 3> mean(const LinearPixels& p, int x0, int y0, int x1, int y1) {
    std::array<double, 3> s{};
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            for (int c = 0; c < 3; ++c) s[std::size_t(c)] += p.at(x, y)[c];
    const double n = double(x1 - x0) * (y1 - y0);
    return {float(s[0] / n), float(s[1] / n), float(s[2] / n)};
}

// A developer that gets the colour pipeline wrong (white balance, matrix, gamma, black level)
// turns grey into a colour, or a patch into the wrong level: the scene must come back as it was
// written, in linear light.
TEST(ImageRaw, DevelopsATestDngBackToItsScene) {
    const Bytes dng = test::writeTestDng(chart());
    ASSERT_GT(dng.size(), 1000u);
    auto f = plainDeveloper(dng);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->nativeSize(), (Size{96, 64}));
    const LinearPixels p = develop(*f);
    ASSERT_EQ(p.width, 96);
    ASSERT_EQ(p.height, 64);
    // Grey ramp row at y from the top 32 -> 0.02 + 0.4 * 32 / 64 = 0.22 (rows from the bottom in p).
    const auto grey = mean(p, 8, 64 - 34, 40, 64 - 30);
    EXPECT_NEAR(grey[0], 0.22f, 0.02f);
    EXPECT_NEAR(grey[1], 0.22f, 0.02f);
    EXPECT_NEAR(grey[2], 0.22f, 0.02f);
    const auto red = mean(p, 60, 64 - 24, 88, 64 - 8);
    EXPECT_NEAR(red[0], 0.5f, 0.04f);
    EXPECT_NEAR(red[1], 0.08f, 0.02f);
    EXPECT_NEAR(red[2], 0.06f, 0.02f);
    const auto blue = mean(p, 60, 8, 88, 24);
    EXPECT_NEAR(blue[2], 0.45f, 0.04f);
    EXPECT_LT(blue[0], 0.1f);
    // Alpha is opaque.
    EXPECT_EQ(p.at(10, 10)[3], 1.0f);
}

// The exposure search relies on "inputEV" brightening the picture monotonically (with and
// without the tone curve), and linear development must double per stop.
TEST(ImageRaw, OutputBrightensMonotonicallyWithExposure) {
    const Bytes dng = test::writeTestDng(chart());
    for (double boost : {0.0, 1.0}) {
        auto f = plainDeveloper(dng);
        ASSERT_TRUE(f);
        f->setValue("inputBoost", boost);
        double last = -1;
        for (double ev : {-2.0, -1.0, -0.6, 0.0, 0.3, 1.0, 2.0}) {
            f->setValue("inputEV", ev);
            const LinearPixels p = develop(*f);
            const auto m = mean(p, 8, 8, 40, 56);
            EXPECT_GT(m[1], last) << "boost " << boost << " ev " << ev;
            last = m[1];
        }
    }
    auto f = plainDeveloper(dng);
    const auto base = mean(develop(*f), 8, 28, 40, 36);
    f->setValue("inputEV", 1.0);
    const auto up = mean(develop(*f), 8, 28, 40, 36);
    EXPECT_NEAR(up[1] / base[1], 2.0f, 0.01f);
}

// The exposure search reads the output up to three times with only "inputEV" changed: a
// developer that decoded or developed again each time would multiply the deep mode's wait.
TEST(ImageRaw, ChangingOnlyExposureReusesTheDevelopedPicture) {
    const Bytes dng = test::writeTestDng(chart());
    std::string why;
    auto f = RawFilter::make(dng, {}, &why);
    ASSERT_TRUE(f) << why;
    EXPECT_EQ(f->workCounts().decodes, 0) << "creation only reads the header";
    for (double ev : {0.3, -0.1, -0.5}) {
        f->setValue("inputEV", ev);
        ASSERT_TRUE(f->outputImage());
    }
    EXPECT_EQ(f->workCounts().decodes, 1);
    EXPECT_EQ(f->workCounts().developments, 1);
    // The app then sets its noise-reduction table: develop again, but do not decode again.
    f->setValue("inputNoiseReductionAmount", 1.0);
    f->setValue("inputColorNoiseReductionAmount", 0.9);
    ASSERT_TRUE(f->outputImage());
    EXPECT_EQ(f->workCounts().decodes, 1);
    EXPECT_EQ(f->workCounts().developments, 2);
    // A smaller scale reuses the full-resolution demosaic and makes the reduced size directly.
    f->setValue("inputScaleFactor", 0.5);
    auto half = f->outputImage();
    ASSERT_TRUE(half);
    EXPECT_EQ(half->extent(), (Rect{0, 0, 48, 32}));
    EXPECT_EQ(f->workCounts().decodes, 1);
}

// A fresh developer asked for a small picture decodes at half size; asking for full size
// afterwards must decode again at full resolution (not upscale the half-size picture).
TEST(ImageRaw, ScaleFactorSetsTheOutputSize) {
    const Bytes dng = test::writeTestDng(chart());
    auto f = plainDeveloper(dng);
    f->setValue("inputScaleFactor", 0.341333);
    auto small = f->outputImage();
    ASSERT_TRUE(small);
    EXPECT_EQ(small->extent(), (Rect{0, 0, 33, 22}));
    const auto grey = mean(*renderLinear(*small, small->extent()), 3, 9, 13, 13);
    EXPECT_NEAR(grey[1], 0.22f, 0.03f) << "scaling keeps levels";
    f->setValue("inputScaleFactor", 1.0);
    auto full = f->outputImage();
    ASSERT_TRUE(full);
    EXPECT_EQ(full->extent(), (Rect{0, 0, 96, 64}));
    EXPECT_EQ(f->workCounts().decodes, 2);
    f->setValue("inputScaleFactor", 0.0);  // clamped to 0.01, at least one pixel
    auto tiny = f->outputImage();
    ASSERT_TRUE(tiny);
    EXPECT_EQ(tiny->extent(), (Rect{0, 0, 1, 1}));
}

// Noise reduction must remove sensor noise from flat areas (and not shift their level).
TEST(ImageRaw, NoiseReductionSmoothsFlatAreas) {
    test::DngScene s;
    s.width = 128;
    s.height = 96;
    s.noise = 0.02f;
    s.colour = [](int, int) { return std::array<float, 3>{0.2f, 0.2f, 0.2f}; };
    const Bytes dng = test::writeTestDng(s);
    auto spread = [](const LinearPixels& p, int c) {
        double sum = 0, sq = 0;
        int n = 0;
        for (int y = 8; y < p.height - 8; ++y)
            for (int x = 8; x < p.width - 8; ++x, ++n) sum += p.at(x, y)[c], sq += double(p.at(x, y)[c]) * p.at(x, y)[c];
        const double m = sum / n;
        return std::array<double, 2>{m, std::sqrt(std::max(0.0, sq / n - m * m))};
    };
    auto f = plainDeveloper(dng);
    const LinearPixels noisy = develop(*f);
    f->setValue("inputNoiseReductionAmount", 1.0);
    f->setValue("inputColorNoiseReductionAmount", 1.0);
    f->setValue("inputLuminanceNoiseReductionAmount", 1.0);
    f->setValue("inputNoiseReductionSharpnessAmount", 0.0);
    const LinearPixels clean = develop(*f);
    for (int c = 0; c < 3; ++c) {
        const auto a = spread(noisy, c), b = spread(clean, c);
        EXPECT_LT(b[1], a[1] * 0.6) << "channel " << c;
        EXPECT_NEAR(b[0], a[0], 0.01) << "channel " << c;
    }
}

// The deep mode saves whatever the developer makes: it must refuse, with a reason, bytes that
// are not a RAW file, and survive damaged RAW files without crashing.
TEST(ImageRaw, RefusesWhatIsNotARawFile) {
    std::string why;
    EXPECT_FALSE(RawFilter::make(Bytes{}, {}, &why));
    EXPECT_FALSE(why.empty());
    const Bytes heic = [] {
        std::ifstream in(std::string(SORVEL_TESTDATA_DIR) + "/heic/example.heic", std::ios::binary);
        return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }();
    ASSERT_GT(heic.size(), 1000u);
    why.clear();
    EXPECT_FALSE(RawFilter::make(heic, {}, &why));
    EXPECT_FALSE(why.empty());
    std::mt19937 rng(7);
    Bytes noise(100000);
    for (auto& b : noise) b = std::uint8_t(rng());
    EXPECT_FALSE(RawFilter::make(noise));

    // Truncations and corruptions of a valid DNG: creation may fail, or development may fail;
    // neither may crash, and a failure explains itself.
    const Bytes dng = test::writeTestDng(chart());
    for (std::size_t cut : {std::size_t(100), dng.size() / 3, dng.size() - 10}) {
        Bytes part(dng.begin(), dng.begin() + std::ptrdiff_t(cut));
        auto f = RawFilter::make(part, {}, &why);
        if (f && !f->outputImage()) {
            EXPECT_FALSE(f->lastError().empty());
        }
    }
    // A real camera DNG cut down to its first 13 KB: the header promises 3516 x 2328 pixels that
    // are not there.
    {
        std::ifstream in(std::string(SORVEL_TESTDATA_DIR) + "/metadata/DNG.dng", std::ios::binary);
        const Bytes cut((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GT(cut.size(), 1000u);
        auto f = RawFilter::make(cut, {{"inputScaleFactor", 0.1}}, &why);
        if (f) {
            auto img = f->outputImage();
            if (img) {
                EXPECT_TRUE(renderLinear(*img, img->extent()));
            }
        }
    }
    for (int trial = 0; trial < 40; ++trial) {
        Bytes bad = dng;
        for (int k = 0; k < 8; ++k) bad[rng() % 400] = std::uint8_t(rng());
        auto f = RawFilter::make(bad);
        if (f) {
            auto img = f->outputImage();
            if (img && img->extent().width * img->extent().height < 1e7) {
                EXPECT_TRUE(renderLinear(*img, img->extent()));
            }
        }
    }
}

// A portrait capture's DNG says "rotate 90 clockwise": the developed picture must come out
// upright (taller than wide) with the red patch, top right in the sensor's frame, at the
// bottom right.
TEST(ImageRaw, FileOrientationIsApplied) {
    test::DngScene s = chart();
    s.orientation = 6;
    auto f = plainDeveloper(test::writeTestDng(s));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->nativeSize(), (Size{64, 96}));
    const LinearPixels p = develop(*f);
    ASSERT_EQ(p.width, 64);
    ASSERT_EQ(p.height, 96);
    const auto red = mean(p, 40, 8, 56, 30);  // rows from the bottom
    EXPECT_GT(red[0], 0.4f);
    EXPECT_LT(red[2], 0.1f);
}

// Means of 8 x 8 blocks of a decoded picture (rows top down), for comparing two demosaics
// without their differences at single edges.
std::vector<std::array<float, 3>> blockMeans(const raw::PlanarPicture& p) {
    std::vector<std::array<float, 3>> out;
    for (int by = 0; by + 8 <= p.height; by += 8)
        for (int bx = 0; bx + 8 <= p.width; bx += 8) {
            std::array<double, 3> sum{};
            for (int y = by; y < by + 8; ++y)
                for (int x = bx; x < bx + 8; ++x) {
                    const std::size_t i = std::size_t(y) * p.width + x;
                    sum[0] += p.r[i], sum[1] += p.g[i], sum[2] += p.b[i];
                }
            out.push_back({float(sum[0] / 64), float(sum[1] / 64), float(sum[2] / 64)});
        }
    return out;
}

// Our own demosaic replaces LibRaw's for plain Bayer sensors: a wrong black level, white
// balance, colour matrix, pattern phase or orientation would show as blocks that differ from
// LibRaw's AHD on the same file. Every orientation, full and half size, three pattern phases
// and two white balances.
TEST(ImageRaw, FastDemosaicAgreesWithLibRawInEveryOrientation) {
    const std::array<std::array<std::uint8_t, 4>, 3> patterns = {{{0, 1, 1, 2}, {2, 1, 1, 0}, {1, 0, 2, 1}}};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        test::DngScene s = chart(96, 64);
        s.orientation = orientation;
        s.cfaPattern = patterns[std::size_t(orientation % 3)];
        if (orientation % 2 == 0) s.asShotNeutral = {0.55f, 1.0f, 0.7f};
        const Bytes dng = test::writeTestDng(s);
        std::string why;
        auto decoder = raw::RawDecoder::open(dng, &why);
        ASSERT_TRUE(decoder) << why;
        for (bool half : {false, true}) {
            auto fast = decoder->decode(half, &why, raw::Demosaicing::Fast);
            ASSERT_TRUE(fast) << why;
            EXPECT_TRUE(decoder->usedFastPath()) << "a plain RGGB DNG takes our own demosaic";
            auto reference = decoder->decode(half, &why, raw::Demosaicing::LibRawAHD);
            ASSERT_TRUE(reference) << why;
            EXPECT_FALSE(decoder->usedFastPath());
            ASSERT_EQ(fast->width, reference->width) << "orientation " << orientation << " half " << half;
            ASSERT_EQ(fast->height, reference->height) << "orientation " << orientation << " half " << half;
            if (!half) {
                EXPECT_EQ(fast->width, decoder->width());
                EXPECT_EQ(fast->height, decoder->height());
            }
            const auto a = blockMeans(*fast), b = blockMeans(*reference);
            ASSERT_EQ(a.size(), b.size());
            ASSERT_GE(a.size(), 12u);
            float worst = 0;
            for (std::size_t i = 0; i < a.size(); ++i)
                for (int c = 0; c < 3; ++c) worst = std::max(worst, std::fabs(a[i][std::size_t(c)] - b[i][std::size_t(c)]));
            EXPECT_LT(worst, 0.02f) << "orientation " << orientation << " half " << half;
        }
    }
}

// Blown highlights must stay white (every channel clipped at the sensor's white), never
// tinted by the white balance, and the file's white level is the white (a picture whose
// brightest sample lies a little under it must not be brightened).
TEST(ImageRaw, ClippedHighlightsStayWhiteAndLevelsFollowTheFile) {
    test::DngScene s;
    s.width = 64;
    s.height = 48;
    s.colour = [](int x, int) { return x < 32 ? std::array<float, 3>{2.0f, 2.0f, 2.0f} : std::array<float, 3>{0.8f, 0.8f, 0.8f}; };
    auto f = plainDeveloper(test::writeTestDng(s));
    ASSERT_TRUE(f);
    const LinearPixels p = develop(*f);
    const auto blown = mean(p, 4, 8, 26, 40), bright = mean(p, 38, 8, 60, 40);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(blown[std::size_t(c)], 1.0f, 0.005f) << c;
        EXPECT_NEAR(bright[std::size_t(c)], 0.8f, 0.02f) << c;
    }
    s.colour = [](int, int) { return std::array<float, 3>{0.8f, 0.8f, 0.8f}; };
    const Bytes unclipped = test::writeTestDng(s);
    for (auto method : {raw::Demosaicing::Fast, raw::Demosaicing::LibRawAHD}) {
        std::string why;
        auto decoder = raw::RawDecoder::open(unclipped, &why);
        ASSERT_TRUE(decoder) << why;
        auto picture = decoder->decode(false, &why, method);
        ASSERT_TRUE(picture) << why;
        EXPECT_NEAR(picture->g[std::size_t(24 * 64 + 32)], 0.8f, 0.02f) << (method == raw::Demosaicing::Fast ? "fast" : "LibRaw");
    }
}

// The exposure search reads the reduced copy: it must be the block mean of the output at the
// same inputs (so what it measures is the picture), and reading it with only "inputEV" changed
// must neither decode, nor reduce, nor develop the full picture again.
TEST(ImageRaw, ReducedCopyIsTheBlockMeanOfTheOutput) {
    test::DngScene s = chart(256, 192);
    s.noise = 0.01f;
    const Bytes dng = test::writeTestDng(s);
    auto f = plainDeveloper(dng);
    ASSERT_TRUE(f);
    ASSERT_EQ(RawFilter::reductionFactor(256, 192), 3);
    f->setValue("inputEV", 0.5);
    auto small = f->reducedOutputImage();
    ASSERT_TRUE(small) << f->lastError();
    EXPECT_EQ(small->extent(), (Rect{0, 0, 86, 64}));
    EXPECT_EQ(f->workCounts().developments, 0) << "the full picture is not developed for the copy";
    for (double ev : {0.3, -0.1, -0.5}) {
        f->setValue("inputEV", ev);
        ASSERT_TRUE(f->reducedOutputImage());
    }
    EXPECT_EQ(f->workCounts().decodes, 1);
    EXPECT_EQ(f->workCounts().reductions, 1);
    EXPECT_EQ(f->workCounts().developments, 0);

    f->setValue("inputEV", 0.5);
    const LinearPixels full = develop(*f);
    const auto reduced = renderLinear(*f->reducedOutputImage(), Rect{0, 0, 86, 64});
    ASSERT_TRUE(reduced);
    // Rows of LinearPixels count from the bottom; blocks from the top of the picture.
    float worst = 0;
    for (int by = 0; by < 64; ++by)
        for (int bx = 0; bx < 86; ++bx) {
            double sum = 0;
            int n = 0;
            for (int y = by * 3; y < std::min(192, by * 3 + 3); ++y)
                for (int x = bx * 3; x < std::min(256, bx * 3 + 3); ++x, ++n) sum += full.at(x, 191 - y)[1];
            worst = std::max(worst, std::fabs(float(sum / n) - reduced->at(bx, 63 - by)[1]));
        }
    EXPECT_LT(worst, 1e-4f);
    // Detail inputs reach the copy too (a new copy, still no new decode).
    f->setValue("inputNoiseReductionAmount", 1.0);
    ASSERT_TRUE(f->reducedOutputImage());
    EXPECT_EQ(f->workCounts().reductions, 2);
    EXPECT_EQ(f->workCounts().decodes, 1);
}

// Local tone mapping pulls large-scale brightness together (a dark half gets lighter relative to
// a bright half) and does so alike at every exposure; at 0 it must change nothing.
TEST(ImageRaw, LocalToneMapCompressesLargeScaleBrightness) {
    test::DngScene s;
    s.width = 192;
    s.height = 128;
    s.colour = [](int x, int) { return x < 96 ? std::array<float, 3>{0.6f, 0.6f, 0.6f} : std::array<float, 3>{0.05f, 0.05f, 0.05f}; };
    const Bytes dng = test::writeTestDng(s);
    auto ratio = [&](double amount, double ev) {
        auto f = plainDeveloper(dng);
        f->setValue("inputLocalToneMapAmount", amount);
        f->setValue("inputEV", ev);
        const LinearPixels p = develop(*f);
        return mean(p, 8, 8, 40, 120)[1] / mean(p, 152, 8, 184, 120)[1];
    };
    const float plain = ratio(0, 0), mapped = ratio(1, 0);
    EXPECT_NEAR(plain, 12.0f, 0.5f);
    EXPECT_LT(mapped, plain * 0.8f);
    EXPECT_GT(mapped, 1.0f) << "the bright half stays brighter";
    EXPECT_NEAR(ratio(1, -1), mapped, mapped * 0.02f);
}

// Options given at creation are inputs like any other; unknown keys are ignored.
TEST(ImageRaw, CreationOptionsSetInputs) {
    const Bytes dng = test::writeTestDng(chart());
    auto f = RawFilter::make(dng, {{"inputScaleFactor", 0.5}, {"inputNoSuchOption", 3.0}});
    ASSERT_TRUE(f);
    ASSERT_TRUE(f->value("inputScaleFactor"));
    EXPECT_EQ(*f->value("inputScaleFactor")->number(), 0.5);
    EXPECT_EQ(*f->value("inputEV")->number(), 0.0) << "documented default";
    EXPECT_EQ(f->value("inputNoSuchOption"), nullptr);
    EXPECT_EQ(f->outputImage()->extent(), (Rect{0, 0, 48, 32}));
}

}  // namespace
}  // namespace sorvel::image
