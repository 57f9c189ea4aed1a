// The deep mode's exposure search and the watermark's text, on synthetic inputs.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <random>

#include "AppHarness.h"
#include "app/ExposureSearch.h"
#include "app/ShadowBlur.h"
#include <QFont>

#include "app/Watermark.h"
#include "platform/capture/virtual/DngWriter.h"
#include "platform/capture/virtual/RigProfile.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/image/RenderContext.h"
#include "platform/image/raw/RawFilter.h"

using namespace sorvel;
using namespace sorvel::image;

namespace {

// A 100 x 100 picture whose first `white` percent of rows are pure white (clipped), the next
// `black` percent pure black (crushed), the rest mid grey.
Image bands(int whitePercent, int blackPercent) {
    auto bitmap = Bitmap::make(100, 100, PixelFormat::RGBA8, ColorSpace::SRGB);
    for (int y = 0; y < 100; ++y) {
        std::uint8_t v = y < whitePercent ? 255 : y < whitePercent + blackPercent ? 0 : 128;
        for (int x = 0; x < 100; ++x) {
            std::uint8_t* p = bitmap->mutableRow(y) + x * 4;
            p[0] = p[1] = p[2] = v;
            p[3] = 255;
        }
    }
    return Image(*bitmap);
}

Image single(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    auto bitmap = Bitmap::make(4, 4, PixelFormat::RGBA8, ColorSpace::SRGB);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            std::uint8_t* p = bitmap->mutableRow(y) + x * 4;
            p[0] = r, p[1] = g, p[2] = b, p[3] = 255;
        }
    return Image(*bitmap);
}

}  // namespace

// The clipped and crushed tests are strict: one level off either way must not count.
TEST(ExposureSearch, PixelTestsAreStrict) {
    EXPECT_EQ(analyzeImage(single(255, 255, 254)).first, 0.0f);
    EXPECT_EQ(analyzeImage(single(255, 255, 255)).first, 1.0f);
    EXPECT_EQ(analyzeImage(single(6, 6, 6)).second, 1.0f);
    EXPECT_EQ(analyzeImage(single(7, 0, 0)).second, 0.0f);
    auto [over, under] = analyzeImage(bands(10, 20));
    EXPECT_NEAR(over, 0.10f, 0.01f);
    EXPECT_NEAR(under, 0.20f, 0.01f);
}

// The four outcomes of the search: found at once, found on the second try, crushed shadows stop
// it at once, and three clipped tries end at -0.9 (never analysed).
TEST(ExposureSearch, FourOutcomes) {
    ConsoleCapture console;
    std::vector<float> tried;
    auto run = [&](std::function<Image(float)> frame) {
        tried.clear();
        return calculateAdjustedEV([&](float ev) -> std::optional<Image> {
            tried.push_back(ev);
            return frame(ev);
        });
    };
    EXPECT_FLOAT_EQ(run([](float) { return bands(0, 1); }), 0.3f);
    EXPECT_TRUE(console.contains("找到合适的 EV 值: 0.3"));

    float second = run([](float ev) { return ev > 0 ? bands(3, 0) : bands(0, 0); });
    EXPECT_NEAR(second, -0.1f, 1e-6);
    EXPECT_EQ(tried.size(), 2u);

    console.clear();
    EXPECT_FLOAT_EQ(run([](float) { return bands(20, 7); }), 0.3f);
    EXPECT_TRUE(console.contains("欠曝超过 7%，停止调整。最终 EV: 0.3"));

    console.clear();
    float last = run([](float) { return bands(5, 0); });
    EXPECT_NEAR(last, -0.9f, 1e-6);
    EXPECT_EQ(tried.size(), 3u);
    EXPECT_EQ(console.lines().back().rfind("达到最大迭代次数，最终 EV: -0.9", 0), 0u) << console.lines().back();
    // Shortest decimal forms, no rounding: the 5 % band covers 4.6875 % of the 256-row thumbnail.
    EXPECT_EQ(console.lines()[0], "迭代 1 EV:0.3 过曝:4.6875% 欠曝:0%");
    // Whole hundreds in plain decimals too ("1e+02" is a float printer's shortest form).
    console.clear();
    run([](float) { return single(255, 255, 255); });
    EXPECT_EQ(console.lines()[0], "迭代 1 EV:0.3 过曝:100% 欠曝:0%");
    console.clear();
    run([](float) { return single(0, 0, 0); });
    EXPECT_EQ(console.lines()[0], "迭代 1 EV:0.3 过曝:0% 欠曝:100%");

    // A developer with no output ends the search at once with the exposure it was asked for.
    EXPECT_FLOAT_EQ(calculateAdjustedEV([](float) { return std::optional<Image>(); }), 0.3f);
}

namespace {

// A grey Bayer frame from the rig's camera, written as its DNG: `level(u, v)` is the linear value
// (1 = the sensor's white) at the normalised point (u, v), v from the top; with sensor noise.
Bytes greyFrameDng(int w, int h, const std::function<float(double u, double v)>& level) {
    BayerImage bayer;
    bayer.width = w;
    bayer.height = h;
    bayer.samples.resize(std::size_t(w) * std::size_t(h));
    std::mt19937 rng(11);
    std::normal_distribution<float> noise(0.0f, 2.0f);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float v = level((x + 0.5) / w, (y + 0.5) / h);
            const float sample = 256.0f + v * (4095.0f - 256.0f) + noise(rng);
            bayer.samples[std::size_t(y) * std::size_t(w) + std::size_t(x)] =
                static_cast<std::uint16_t>(std::clamp(sample, 0.0f, 4095.0f));
        }
    DngDescription description;
    description.make = "Sorvel";
    description.model = "Test";
    auto dng = writeDng(bayer, RigProfile::builtIn().cameras.back(), WhiteBalanceGains{}, description);
    return dng.value_or(Bytes{});
}

}  // namespace

// The search reads a reduced copy of the developed picture instead of the full one. A copy that
// measured clipping or crushing differently (a wrong reduction, tone, or exposure applied to it)
// would change the exposure chosen: on frames built for each outcome, the decision on the copy
// is the decision on the full picture, and it is the outcome the frame was built for.
TEST(ExposureSearch, ReducedCopyDecidesAsTheFullPicture) {
    ConsoleCapture console;
    struct Frame {
        const char* name;
        std::function<float(double, double)> level;
        float expected;
    };
    const std::vector<Frame> frames = {
        // Mid grey with a 0.5 % clipped spot and 1 % black: fine at once.
        {"balanced", [](double u, double v) { return u < 0.1 && v < 0.05 ? 1.0f : u > 0.9 && v < 0.1 ? 0.0f : 0.2f; }, 0.3f},
        // A 3 % patch at 0.9 of white clips at +0.3 and not at -0.1.
        {"bright patch", [](double u, double v) { return u < 0.3 && v < 0.1 ? 0.9f : 0.25f; }, -0.1f},
        // 10 % black and 20 % blown: the shadows stop the search at once.
        {"crushed", [](double, double v) { return v < 0.2 ? 1.0f : v > 0.9 ? 0.0f : 0.3f; }, 0.3f},
        // A dark scene with 4 % black and no highlights.
        {"dark", [](double u, double) { return u < 0.04 ? 0.0f : 0.05f; }, 0.3f},
    };
    for (const Frame& frame : frames) {
        const Bytes dng = greyFrameDng(1024, 768, frame.level);
        ASSERT_FALSE(dng.empty()) << frame.name;
        auto decide = [&](bool reduced) {
            auto developer = image::RawFilter::make(dng);
            EXPECT_TRUE(developer) << frame.name;
            if (!developer) return 99.0f;
            return calculateAdjustedEV([&](float ev) {
                developer->setValue("inputEV", static_cast<double>(ev));
                return reduced ? developer->reducedOutputImage() : developer->outputImage();
            });
        };
        const float full = decide(false), small = decide(true);
        EXPECT_EQ(small, full) << frame.name;
        EXPECT_NEAR(full, frame.expected, 1e-6) << frame.name;
    }
}

namespace {
// The shadow blur keeps running sums; it must give what summing every box does, with the plane
// continuing as zeros past its edges (the shadow fades out there), also when the box is wider
// than the plane.
TEST(WatermarkShadow, RunningSumBlurIsTheDirectBoxBlur) {
    auto direct = [](std::vector<float> buf, int w, int h, int r) {
        std::vector<float> tmp(buf.size());
        auto pass = [&](bool horizontal) {
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    float sum = 0;
                    for (int k = -r; k <= r; ++k) {
                        const int xx = horizontal ? x + k : x, yy = horizontal ? y : y + k;
                        if (xx >= 0 && yy >= 0 && xx < w && yy < h) sum += buf[std::size_t(yy) * w + xx];
                    }
                    tmp[std::size_t(y) * w + x] = sum / float(2 * r + 1);
                }
            buf.swap(tmp);
        };
        for (int i = 0; i < 3; ++i) pass(true), pass(false);
        return buf;
    };
    std::mt19937 random(4);
    for (auto [w, h, r] : {std::array{37, 23, 3}, std::array{64, 9, 1}, std::array{5, 40, 7}, std::array{1, 1, 2}}) {
        std::vector<float> mask(std::size_t(w) * h);
        for (float& v : mask) v = random() % 3 == 0 ? float(random() % 256) : 0.0f;
        std::vector<float> blurred = mask;
        blurShadowMask(blurred, w, h, r);
        const std::vector<float> want = direct(mask, w, h, r);
        for (std::size_t i = 0; i < mask.size(); ++i)
            ASSERT_NEAR(blurred[i], want[i], 1e-3) << w << "x" << h << " r " << r << " at " << i;
    }
    std::vector<float> untouched = {1, 2, 3};
    blurShadowMask(untouched, 3, 1, 0);
    EXPECT_EQ(untouched, (std::vector<float>{1, 2, 3}));
}

struct WatermarkSettings : ::testing::Test {
    std::unique_ptr<SettingsStore> store = SettingsStore::inMemory();
    void SetUp() override {
        sorvel::testing::ensureOffscreenQtApplication();  // text drawing needs the font database
        SettingsStore::setStandard(store.get());
    }
    void TearDown() override { SettingsStore::setStandard(nullptr); }
};
}  // namespace

// Each switch combination gives its lines; missing values read "未知"; the shutter prints the
// reciprocal without decimals (1/125, and 1/0 for two seconds).
TEST_F(WatermarkSettings, LinesFollowTheSwitches) {
    store->setObject(Value("我的相机"), "watermarkContent");
    Dictionary metadata{{"{Exif}", Dictionary{{"ExposureTime", 1.0 / 125}, {"ISOSpeedRatings", Array{Value(50)}},
                                               {"LensModel", "后置相机 4.2mm f/1.6"}}}};
    Date now{1796579052};
    auto lines = watermarkLines(metadata, std::nullopt, now);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "我的相机");
    EXPECT_EQ(lines[1], "后置相机 4.2mm f/1.6");
    EXPECT_EQ(lines[3], "SS1/125 ISO50 Sorvel相机-普通模式");

    store->setBool(true, "setting_0");
    EXPECT_EQ(watermarkLines(metadata, std::nullopt, now)[3], "SS1/125 ISO50 Sorvel相机-深度Sorvel");

    Dictionary slow{{"{Exif}", Dictionary{{"ExposureTime", 2.0}, {"ISOSpeedRatings", Array{}}}}};
    auto slowLines = watermarkLines(slow, std::nullopt, now);
    EXPECT_EQ(slowLines[1], "未知");
    EXPECT_EQ(slowLines[3].rfind("SS1/0 ISO未知 ", 0), 0u) << slowLines[3];

    store->setBool(true, "setting_14");
    auto noPlace = watermarkLines(Dictionary{}, std::nullopt, now);
    EXPECT_NE(noPlace[2].find(" Loc未知,未知"), std::string::npos) << noPlace[2];

    // A still's GPS is printed as stored (magnitudes); without GPS the fix is printed signed.
    Dictionary withGps{{"{GPS}", Dictionary{{"Latitude", 33.86}, {"Longitude", 151.21}}}};
    EXPECT_NE(watermarkLines(withGps, Location{-33.86, 151.21, 0, now}, now)[2].find(" Loc33.8600,151.2100"), std::string::npos);
    EXPECT_NE(watermarkLines(Dictionary{}, Location{-33.86, 151.21, 0, now}, now)[2].find(" Loc-33.8600,151.2100"),
              std::string::npos);

    store->setBool(true, "setting_13");
    auto only = watermarkLines(metadata, std::nullopt, now);
    EXPECT_EQ(only, std::vector<std::string>{"我的相机"});
}

// A line longer than W - 40 points wraps (at words, and inside a word too long for the width)
// instead of being cut; the user's line is the heavier "thin" face, the others "ultra-light".
TEST_F(WatermarkSettings, LongLinesWrapWithinTheWidthAndLineZeroIsHeavier) {
    const std::vector<std::string> lines{"一行很长很长的水印文字，写着拍摄的地方和心情 Sorvel", "Sorvel Rig back camera 4.2mm f/1.6",
                                         "2026-12-06 17:44:12", "SS1/120 ISO50 Sorvel相机-普通模式"};
    WatermarkTextSize wide = measureWatermarkText(lines, 16, 32, 5000);
    EXPECT_EQ(wide.wrappedLines, (std::vector<int>{1, 1, 1, 1}));
    WatermarkTextSize narrow = measureWatermarkText(lines, 16, 32, 260);
    EXPECT_LE(narrow.width, 260);
    EXPECT_GE(narrow.wrappedLines[0], 3);
    EXPECT_GT(narrow.height, wide.height);
    WatermarkTextSize word = measureWatermarkText({"Supercalifragilisticexpialidocious-and-then-some"}, 16, 32, 120);
    EXPECT_LE(word.width, 120);
    EXPECT_GE(word.wrappedLines[0], 2);
    // The layer of a narrow picture holds the whole wrapped block within the picture.
    Image layer = createWatermarkLayer(lines, 16, 32, 300, 2000, 1.0);
    RenderContext context;
    auto bitmap = context.render(layer, Rect{0, 0, 300, 2000}, PixelFormat::RGBA8, ColorSpace::SRGB);
    ASSERT_TRUE(bitmap);
    int topRow = 2000;
    for (int y = 0; y < 2000 && topRow == 2000; ++y)
        for (int x = 0; x < 300; ++x)
            if (bitmap->row(y)[x * 4 + 3] > 0) {
                topRow = y;
                break;
            }
    EXPECT_LT(2000 - topRow, int(narrow.height + 40)) << "the block is not the wrapped block";
    EXPECT_GT(2000 - topRow, int(wide.height)) << "the long line was not wrapped";
    EXPECT_EQ(watermarkFontWeight(0), QFont::ExtraLight);
    for (std::size_t i : {1, 2, 3}) EXPECT_EQ(watermarkFontWeight(i), QFont::Thin);
    EXPECT_LT(QFont::Thin, QFont::ExtraLight);
}

// The layer must have exactly the picture's extent (a layer wider than a small picture would
// otherwise grow the saved picture with an empty band), and a mirrored deep picture's layer is
// moved onto it: the result is 20 pixels wider and 10 taller than the picture, no more.
TEST_F(WatermarkSettings, LayerExtentAndMirroredShift) {
    store->setBool(true, "setting_12");
    store->setObject(Value("一行很长的水印文字 Sorvel"), "watermarkContent");
    Image small = Image::constantColor(Color::white()).cropped(Rect{0, 0, 300, 400});
    Rect plain = addWatermarkInternal(small, {}, std::nullopt, false, 3.0).extent();
    EXPECT_EQ(plain, (Rect{0, 0, 300, 400}));

    Image mirrored = Image::constantColor(Color::white()).cropped(Rect{-2000, 0, 2000, 1500});
    Rect shifted = addWatermarkInternal(mirrored, {}, std::nullopt, true, 3.0).extent();
    EXPECT_EQ(shifted, (Rect{-2000, 0, 2020, 1510}));

    // Something is drawn: the bottom-right corner of a black picture gets lighter.
    Image black = Image::constantColor(Color::black()).cropped(Rect{0, 0, 1200, 900});
    RenderContext context;
    auto bitmap = context.render(addWatermarkInternal(black, {}, std::nullopt, false, 3.0), Rect{0, 0, 1200, 900},
                                 PixelFormat::RGBA8, ColorSpace::SRGB);
    ASSERT_TRUE(bitmap);
    int lit = 0;
    for (int y = 700; y < 900; ++y)
        for (int x = 600; x < 1200; ++x) lit += bitmap->row(y)[x * 4] > 40;
    EXPECT_GT(lit, 500);
    int litTopLeft = 0;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 300; ++x) litTopLeft += bitmap->row(y)[x * 4] > 40;
    EXPECT_EQ(litTopLeft, 0);
}
