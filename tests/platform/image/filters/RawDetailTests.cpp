// The RAW developer's noise reduction and local tone map at the deep mode's options: colour and
// brightness stay inside their edges (no halo beyond two pixels), flat areas lose their colour
// noise, fine colour detail keeps its colour.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "FilterPixels.h"
#include "TestDng.h"
#include "platform/image/filters/PixelMath.h"
#include "platform/image/raw/RawFilter.h"

namespace sorvel::image {
namespace {

using test::LinearPixels;
using Colour = std::array<float, 3>;

// The detail options the deep mode sets (exposure and scale left alone).
const Dictionary& deepOptions() {
    static const Dictionary d = {{"inputEnableSharpening", false},       {"inputNoiseReductionAmount", 1.0},
                                 {"inputColorNoiseReductionAmount", 0.9}, {"inputLuminanceNoiseReductionAmount", 0.8},
                                 {"inputNoiseReductionSharpnessAmount", 0.0}, {"inputLocalToneMapAmount", 0.0},
                                 {"inputBoost", 0.0},                     {"inputBoostShadowAmount", 0.0}};
    return d;
}

// The same with every detail step off: what the demosaic alone makes.
Dictionary plainOptions() {
    Dictionary d = deepOptions();
    d["inputNoiseReductionAmount"] = 0.0;
    return d;
}

// Rows top down, as the scene is written.
struct Picture {
    LinearPixels pixels;
    Colour at(int x, int y) const {
        const float* p = pixels.at(x, pixels.height - 1 - y);
        return {p[0], p[1], p[2]};
    }
};

Picture develop(const Bytes& dng, const Dictionary& options) {
    std::string why;
    auto f = RawFilter::make(dng, options, &why);
    EXPECT_TRUE(f) << why;
    if (!f) return {};
    auto img = f->outputImage();
    EXPECT_TRUE(img) << f->lastError();
    if (!img) return {};
    auto p = test::renderLinear(*img, img->extent());
    EXPECT_TRUE(p);
    return {p ? *p : LinearPixels{}};
}

// Colour as the eye weighs it: the two differences of the sRGB-encoded channels from green
// (a dark pixel's colour counts as much as a light one's), and brightness as encoded luminance.
float encoded(float v) { return float(v <= 0 ? 12.92 * v : px::srgbEncode(v)); }
std::array<float, 2> chroma(const Colour& c) { return {encoded(c[0]) - encoded(c[1]), encoded(c[2]) - encoded(c[1])}; }
float lightness(const Colour& c) { return encoded(px::luma(c[0], c[1], c[2])); }

// Mean and spread (standard deviation of the vector) of a per-pixel measure over a set of pixels.
struct Stats {
    std::array<double, 2> mean{};
    double spread = 0;
};

template <class Pixels>
Stats stats(const Picture& p, const Pixels& pixels, const std::function<std::array<float, 2>(const Colour&)>& measure) {
    std::array<double, 2> sum{}, sq{};
    int n = 0;
    pixels([&](int x, int y) {
        const auto m = measure(p.at(x, y));
        for (std::size_t k = 0; k < 2; ++k) sum[k] += m[k], sq[k] += double(m[k]) * m[k];
        ++n;
    });
    Stats s;
    double var = 0;
    for (std::size_t k = 0; k < 2; ++k) {
        s.mean[k] = sum[k] / n;
        var += std::max(0.0, sq[k] / n - s.mean[k] * s.mean[k]);
    }
    s.spread = std::sqrt(var);
    return s;
}

// A square patch on a ground, both flat, with sensor noise that grows with the signal.
struct PatchScene {
    int size = 192, x0 = 64, x1 = 128;  // the patch covers [x0, x1) in both directions
    Colour ground, patch;

    Bytes dng() const {
        test::DngScene s;
        s.width = s.height = size;
        s.noise = 0.004f;
        s.shotNoise = 0.002f;
        const PatchScene copy = *this;
        s.colour = [copy](int x, int y) {
            const bool inside = x >= copy.x0 && x < copy.x1 && y >= copy.x0 && y < copy.x1;
            return inside ? copy.patch : copy.ground;
        };
        return test::writeTestDng(s);
    }
    // The pixels d outside the patch along its four sides (the middle 80 % of each side).
    auto ring(int d) const {
        return [this, d](const std::function<void(int, int)>& visit) {
            const int margin = (x1 - x0) / 10;
            for (int t = x0 + margin; t < x1 - margin; ++t) {
                visit(x0 - d, t), visit(x1 - 1 + d, t), visit(t, x0 - d), visit(t, x1 - 1 + d);
            }
        };
    }
    // Ground at least 24 pixels from the patch and 8 from the picture's border.
    auto farGround() const {
        return [this](const std::function<void(int, int)>& visit) {
            for (int y = 8; y < size - 8; ++y)
                for (int x = 8; x < size - 8; ++x)
                    if (x < x0 - 24 || x >= x1 + 24 || y < x0 - 24 || y >= x1 + 24) visit(x, y);
        };
    }
};

// A saturated patch on a dark ground: the colour that strays across the edge must, beyond two
// pixels, be lost in the ground's own noise (a colour noise reduction that blurs the colour
// differences regardless of edges paints a glow of the patch's colour into the ground).
TEST(ImageRawDetail, ColourStaysInsideSaturatedEdges) {
    for (const Colour& patch : {Colour{0.75f, 0.25f, 0.02f}, Colour{0.7f, 0.6f, 0.03f}, Colour{0.04f, 0.05f, 0.4f}}) {
        PatchScene scene;
        scene.ground = {0.02f, 0.02f, 0.02f};
        scene.patch = patch;
        const Picture p = develop(scene.dng(), deepOptions());
        ASSERT_EQ(p.pixels.width, scene.size);
        const Stats ground = stats(p, scene.farGround(), chroma);
        for (int d = 3; d <= 10; ++d) {
            const Stats ring = stats(p, scene.ring(d), chroma);
            const double leak = std::hypot(ring.mean[0] - ground.mean[0], ring.mean[1] - ground.mean[1]);
            EXPECT_LT(leak, ground.spread) << "patch " << patch[0] << " " << patch[1] << " " << patch[2] << ", " << d
                                           << " pixels outside";
        }
    }
}

// The luminance step, likewise: the ground next to a bright patch is neither lifted nor
// darkened beyond two pixels.
TEST(ImageRawDetail, BrightnessStaysInsideEdges) {
    PatchScene scene;
    scene.ground = {0.02f, 0.02f, 0.02f};
    scene.patch = {0.6f, 0.6f, 0.6f};
    const Picture p = develop(scene.dng(), deepOptions());
    auto light = [](const Colour& c) { return std::array<float, 2>{lightness(c), 0.0f}; };
    const Stats ground = stats(p, scene.farGround(), light);
    for (int d = 3; d <= 10; ++d) {
        const double shift = stats(p, scene.ring(d), light).mean[0] - ground.mean[0];
        EXPECT_LT(std::fabs(shift), ground.spread) << d << " pixels outside";
    }
}

// The local tone map lightens a dark surround and darkens a bright one; near the edge between
// them it must not leave a band of the other's correction (a dark ring beside a bright patch).
TEST(ImageRawDetail, LocalToneMapLeavesNoHalo) {
    PatchScene scene;
    scene.size = 576, scene.x0 = 192, scene.x1 = 384;
    scene.ground = {0.03f, 0.03f, 0.03f};
    scene.patch = {0.6f, 0.6f, 0.6f};
    Dictionary options = plainOptions();
    options["inputLocalToneMapAmount"] = 1.0;
    const Bytes dng = scene.dng();
    const Picture mapped = develop(dng, options), plain = develop(dng, plainOptions());
    auto light = [](const Colour& c) { return std::array<float, 2>{px::luma(c[0], c[1], c[2]), 0.0f}; };
    auto gain = [&](const auto& pixels) {
        return stats(mapped, pixels, light).mean[0] / stats(plain, pixels, light).mean[0];
    };
    const double groundGain = gain(scene.farGround());
    const double patchGain = mapped.at(288, 288)[1] / plain.at(288, 288)[1];
    EXPECT_GT(groundGain, 1.1) << "the dark ground is lightened";
    EXPECT_LT(patchGain, groundGain * 0.8) << "the bright patch less so";
    for (int d : {3, 6, 12, 24, 48}) {
        EXPECT_NEAR(gain(scene.ring(d)), groundGain, 0.03 * groundGain) << d << " pixels outside";
    }
}

// Flat patches of known noise lose most of their colour noise, at every brightness, and keep
// their colour. The factor is the smallest the quality benchmark measures on the rig's chart
// (4.0 at ISO 800 and 3200, bench/image/raw/RESULTS.md).
TEST(ImageRawDetail, FlatPatchesLoseTheirColourNoise) {
    constexpr double kFactor = 4.0;
    for (const Colour& colour : {Colour{0.18f, 0.18f, 0.18f}, Colour{0.03f, 0.03f, 0.03f}, Colour{0.5f, 0.12f, 0.08f},
                                 Colour{0.06f, 0.12f, 0.4f}, Colour{0.6f, 0.55f, 0.5f}}) {
        PatchScene scene;
        scene.size = 128;
        scene.ground = scene.patch = colour;
        const Bytes dng = scene.dng();
        const Picture plain = develop(dng, plainOptions()), deep = develop(dng, deepOptions());
        auto middle = [](const std::function<void(int, int)>& visit) {
            for (int y = 16; y < 112; ++y)
                for (int x = 16; x < 112; ++x) visit(x, y);
        };
        const Stats before = stats(plain, middle, chroma), after = stats(deep, middle, chroma);
        EXPECT_GT(before.spread / after.spread, kFactor)
            << "colour " << colour[0] << " " << colour[1] << " " << colour[2];
        EXPECT_NEAR(after.mean[0], before.mean[0], 0.2 * before.spread);
        EXPECT_NEAR(after.mean[1], before.mean[1], 0.2 * before.spread);
    }
}

// A coloured line one pixel wide is detail, not noise: it keeps its colour against the ground.
TEST(ImageRawDetail, OnePixelColourLineKeepsItsColour) {
    test::DngScene s;
    s.width = s.height = 128;
    s.noise = 0.004f;
    s.shotNoise = 0.002f;
    const Colour ground{0.2f, 0.2f, 0.2f}, red{0.6f, 0.08f, 0.08f}, blue{0.08f, 0.1f, 0.5f};
    s.colour = [&](int x, int y) { return x == 40 ? red : y == 81 ? blue : ground; };
    const Bytes dng = test::writeTestDng(s);
    const Picture plain = develop(dng, plainOptions()), deep = develop(dng, deepOptions());
    auto column = [](const std::function<void(int, int)>& visit) {
        for (int y = 16; y < 112; ++y)
            if (std::abs(y - 81) > 3) visit(40, y);
    };
    auto row = [](const std::function<void(int, int)>& visit) {
        for (int x = 16; x < 112; ++x)
            if (std::abs(x - 40) > 3) visit(x, 81);
    };
    auto away = [](const std::function<void(int, int)>& visit) {
        for (int y = 16; y < 112; ++y)
            for (int x = 60; x < 112; ++x)
                if (std::abs(y - 81) > 8) visit(x, y);
    };
    using Pixels = std::function<void(const std::function<void(int, int)>&)>;
    for (auto [line, name] : {std::pair{Pixels(column), "red column"}, std::pair{Pixels(row), "blue row"}}) {
        auto contrast = [&](const Picture& p) {
            const Stats l = stats(p, line, chroma), g = stats(p, away, chroma);
            return std::hypot(l.mean[0] - g.mean[0], l.mean[1] - g.mean[1]);
        };
        const double before = contrast(plain), after = contrast(deep);
        EXPECT_GT(before, 0.1) << name << ": the demosaic shows the line";
        EXPECT_GT(after, 0.8 * before) << name;
    }
}

// The demosaic's gradient correction must not ring at a sharp edge: two pixels from it, on
// either side, the picture is as flat as far away (a ring there would be the first thing the
// noise reduction carries further, and a coloured fringe in its own right).
TEST(ImageRawDetail, SharpEdgesDoNotRing) {
    test::DngScene s;
    s.width = 128, s.height = 64;
    const Colour dark{0.05f, 0.05f, 0.05f}, bright{0.6f, 0.3f, 0.1f};
    s.colour = [&](int x, int) { return x < 64 ? dark : bright; };
    const Picture p = develop(test::writeTestDng(s), plainOptions());
    ASSERT_EQ(p.pixels.width, 128);
    for (int y = 8; y < 56; ++y)
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(p.at(62, y)[std::size_t(c)], p.at(40, y)[std::size_t(c)], 0.01f * bright[std::size_t(c)])
                << "dark side, row " << y << ", channel " << c;
            EXPECT_NEAR(p.at(65, y)[std::size_t(c)], p.at(90, y)[std::size_t(c)], 0.01f * bright[std::size_t(c)])
                << "bright side, row " << y << ", channel " << c;
        }
}

}  // namespace
}  // namespace sorvel::image
