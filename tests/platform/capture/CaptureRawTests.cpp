#include <gtest/gtest.h>

#include <cmath>

#include "CaptureTestSupport.h"
#include "RawDecoding.h"
#include "platform/capture/virtual/SensorModel.h"

namespace sorvel::testing {
namespace {

using Rgb3 = std::array<double, 3>;

Rgb3 toLab(const Rgb3& rgb) {
    double X = 0.4124564 * rgb[0] + 0.3575761 * rgb[1] + 0.1804375 * rgb[2];
    double Y = 0.2126729 * rgb[0] + 0.7151522 * rgb[1] + 0.0721750 * rgb[2];
    double Z = 0.0193339 * rgb[0] + 0.1191920 * rgb[1] + 0.9503041 * rgb[2];
    auto f = [](double t) { return t > 216.0 / 24389 ? std::cbrt(t) : (24389.0 / 27 * t + 16) / 116; };
    double fx = f(X / 0.95047), fy = f(Y), fz = f(Z / 1.08883);
    return {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
}

double deltaE(const Rgb3& a, const Rgb3& b) {
    auto la = toLab(a), lb = toLab(b);
    return std::sqrt((la[0] - lb[0]) * (la[0] - lb[0]) + (la[1] - lb[1]) * (la[1] - lb[1]) +
                     (la[2] - lb[2]) * (la[2] - lb[2]));
}

// Pixel box around a chart patch's centre, in sensor pixels of a full-size picture.
struct Box {
    int x0, y0, x1, y1;
};
Box patchBox(const DeviceDescription& camera, int patch, int width, int height) {
    auto c = Scene::chartPatchCentre(patch);
    auto p = Scene::sensorPointFor(camera, 1.0, c[0], c[1]);
    int cx = static_cast<int>(p[0] * width), cy = static_cast<int>(p[1] * height);
    int half = width / 100;
    return {cx - half, cy - half, cx + half, cy + half};
}

struct PatchStats {
    double mean = 0, deviation = 0;
};
// Mean and standard deviation of one Bayer colour (0 R, 1 G on R rows, 3 B) in a box.
PatchStats bayerStats(const RawMosaic& m, const Box& b, int colour) {
    int dy = colour >= 2 ? 1 : 0, dx = colour == 1 || colour == 3 ? 1 : 0;
    double sum = 0, sum2 = 0;
    int n = 0;
    for (int y = (b.y0 & ~1) + dy; y < b.y1; y += 2)
        for (int x = (b.x0 & ~1) + dx; x < b.x1; x += 2) {
            double v = double(m.samples[std::size_t(y) * m.width + x]) - m.black;
            sum += v, sum2 += v * v, ++n;
        }
    double mean = sum / n;
    return {mean, std::sqrt(std::max(0.0, sum2 / n - mean * mean))};
}

class CaptureRaw : public CaptureFixture {
protected:
    void SetUp() override {
        CaptureFixture::SetUp();
        startSession();
        // Focused on the chart, so the patches are sharp.
        configure([](CaptureDevice& d) { d.setFocusModeLocked(float(d.description().minFocusDistance / Scene::kChartDepth), nullptr); });
        pump(40);
    }
    RawMosaic rawWith(double duration, double iso) {
        configure([&](CaptureDevice& d) { d.setExposureModeCustom(duration, iso, nullptr); });
        pump(1);
        auto delegate = captureRaw();
        EXPECT_FALSE(delegate->photoError.has_value());
        auto mosaic = readMosaic(delegate->photo->fileData.value_or(Bytes{}));
        EXPECT_TRUE(mosaic.has_value());
        return mosaic.value_or(RawMosaic{});
    }
};

// A DNG whose matrix, neutral or levels are wrong develops with a colour cast or wrong
// contrast: the chart is the check, patch by patch, against its known colours.
TEST_F(CaptureRaw, DngDevelopsWithLibRawToTheChartColours) {
    auto delegate = captureRaw();
    ASSERT_FALSE(delegate->photoError.has_value());
    ASSERT_TRUE(delegate->photo && delegate->photo->fileData);
    EXPECT_TRUE(delegate->photo->isRawPhoto);
    auto developed = develop(*delegate->photo->fileData);
    ASSERT_TRUE(developed);
    ASSERT_EQ(developed->width, 4032);
    ASSERT_EQ(developed->height, 3024);
    const auto& desc = camera().description();
    std::array<Rgb3, 24> measured{};
    for (int i = 0; i < 24; ++i) {
        Box b = patchBox(desc, i, developed->width, developed->height);
        Rgb3 sum{};
        int n = 0;
        for (int y = b.y0; y < b.y1; ++y)
            for (int x = b.x0; x < b.x1; ++x, ++n)
                for (int c = 0; c < 3; ++c) sum[c] += developed->rgb[(std::size_t(y) * developed->width + x) * 3 + c];
        for (int c = 0; c < 3; ++c) measured[i][c] = sum[c] / n / 65535.0;
    }
    // Exposure is the photographer's choice: scale so that the middle grey patch matches.
    const auto& reference = Scene::chartReflectances();
    double scale = reference[21][1] / measured[21][1];
    double total = 0, worst = 0;
    for (int i = 0; i < 24; ++i) {
        Rgb3 m{measured[i][0] * scale, measured[i][1] * scale, measured[i][2] * scale};
        double e = deltaE(m, reference[i]);
        total += e;
        worst = std::max(worst, e);
        EXPECT_LT(e, 6.0) << "patch " << i;
    }
    RecordProperty("meanDeltaE", std::to_string(total / 24));
    std::printf("chart after LibRaw development: mean dE76 %.2f, worst %.2f\n", total / 24, worst);
    EXPECT_LT(total / 24, 3.0);
}

// The DNG's levels, CFA layout, orientation and Exif must read back as written.
TEST_F(CaptureRaw, DngCarriesLevelsOrientationAndExposure) {
    configure([](CaptureDevice& d) { d.setExposureModeCustom(1.0 / 500, 200, nullptr); });
    pump(1);
    photo->connection(MediaType::Video)->setVideoOrientation(VideoOrientation::Portrait);
    auto delegate = captureRaw();
    auto m = readMosaic(delegate->photo->fileData.value());
    ASSERT_TRUE(m);
    EXPECT_EQ(m->width, 4032);
    EXPECT_EQ(m->height, 3024);
    EXPECT_EQ(m->black, unsigned(SensorModel::kBlackLevel));
    EXPECT_EQ(m->maximum, unsigned(SensorModel::kWhiteLevel));
    EXPECT_EQ(m->flip, 6);  // LibRaw's code for "turn 90 degrees clockwise"
    EXPECT_EQ(m->make, "Sorvel");
    EXPECT_NEAR(m->shutter, 1.0 / 500, 1e-6);
    EXPECT_NEAR(m->isoSpeed, 200, 0.5);
    EXPECT_NEAR(m->aperture, camera().description().fNumber, 0.01);
    EXPECT_EQ(delegate->finished.rawPhotoDimensions, (Dimensions{4032, 3024}));
    EXPECT_EQ(delegate->finished.photoDimensions, (Dimensions{}));
}

// The sensor must be linear: twice the light, twice the signal (black level subtracted).
TEST_F(CaptureRaw, DoublingTheExposureTimeDoublesTheLinearSignal) {
    const auto& desc = camera().description();
    RawMosaic a = rawWith(1.0 / 2000, 100), b = rawWith(1.0 / 1000, 100);
    for (int patch : {19, 21, 23, 0}) {
        Box box = patchBox(desc, patch, a.width, a.height);
        for (int colour : {0, 1, 3}) {
            double ratio = bayerStats(b, box, colour).mean / bayerStats(a, box, colour).mean;
            EXPECT_NEAR(ratio, 2.0, 0.06) << "patch " << patch << " colour " << colour;
        }
    }
}

// Noise must grow with the ISO gain at the same signal level, or the manual ISO slider and
// deep mode's exposure search have nothing to trade.
TEST_F(CaptureRaw, NoiseGrowsWithIso) {
    const auto& desc = camera().description();
    double previous = 0, previousSignal = 0;
    for (double iso : {100.0, 400.0, 1600.0}) {
        RawMosaic m = rawWith(1.0 / 250 * 100 / iso, iso);
        PatchStats s = bayerStats(m, patchBox(desc, 21, m.width, m.height), 1);
        if (previous > 0) {
            // Photon noise dominates: four times the gain, about twice the noise.
            EXPECT_GT(s.deviation, previous * 1.5) << "ISO " << iso;
            EXPECT_NEAR(s.mean, previousSignal, previousSignal * 0.05) << "same exposure, ISO " << iso;
        }
        previous = s.deviation, previousSignal = s.mean;
    }
}

// Step mode promises repeatable pictures: the same frames and settings must give the same
// noise, whatever else ran before.
TEST_F(CaptureRaw, StepModeCapturesAreRepeatable) {
    auto shoot = [&] {
        session->stopRunning();
        session.reset();
        rig().reset(RigMode::Step);
        startSession();
        configure([](CaptureDevice& d) { d.setExposureModeCustom(1.0 / 1000, 400, nullptr); });
        pump(3);
        return readMosaic(captureRaw()->photo->fileData.value());
    };
    auto a = shoot(), b = shoot();
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(a->samples == b->samples);
}

// The quality benchmark measures RAW developers against the rig's own truth: the same capture
// without noise must be noise-free (flat where the scene is flat, identical whatever the seed)
// and carry the noisy capture's signal, and the star must lie where Scene says it does.
TEST(CaptureTruth, NoiseFreeMosaicIsTheNoisyOnesSignal) {
    DeviceDescription camera;
    camera.uniqueID = "test.truth";
    camera.sensor = {1008, 756};
    auto raster = Scene::builtIn()->rasterFor(camera);
    ExposureSettings e;
    e.duration = 6e-5, e.iso = 800;  // a white card at about half the white level
    e.lensPosition = SensorModel::lensPositionFor(camera, 1.0 / Scene::kChartDepth);
    const BayerImage noisy = SensorModel::renderBayer(*raster, camera, e, true);
    const BayerImage clean = SensorModel::renderBayer(*raster, camera, e, false);
    e.seed = 99;
    EXPECT_EQ(SensorModel::renderBayer(*raster, camera, e, false).samples, clean.samples) << "no noise, no seed";
    EXPECT_NE(SensorModel::renderBayer(*raster, camera, e, true).samples, noisy.samples);

    // A grey patch: one value per Bayer colour without noise, the noisy capture's mean with it.
    const auto p = Scene::sensorPointFor(camera, 1.0, Scene::chartPatchCentre(21)[0], Scene::chartPatchCentre(21)[1]);
    const int cx = int(p[0] * clean.width) & ~1, cy = int(p[1] * clean.height) & ~1;
    for (int colour = 0; colour < 4; ++colour) {
        const int dy = colour / 2, dx = colour % 2;
        const std::uint16_t first = clean.samples[std::size_t(cy + dy) * clean.width + std::size_t(cx + dx)];
        double sum = 0;
        int n = 0;
        for (int y = cy - 8 + dy; y < cy + 8; y += 2)
            for (int x = cx - 8 + dx; x < cx + 8; x += 2, ++n) {
                EXPECT_EQ(clean.samples[std::size_t(y) * clean.width + std::size_t(x)], first);
                sum += noisy.samples[std::size_t(y) * noisy.width + std::size_t(x)];
            }
        EXPECT_NEAR(sum / n, first, 0.03 * (first - SensorModel::kBlackLevel)) << "colour " << colour;
    }

    // Along a circle of half the star's radius, the clean capture's green changes between card
    // and spoke twice per spoke.
    const auto centre = Scene::starCentre();
    int changes = 0;
    bool lastBright = false;
    for (int i = 0; i <= 3600; ++i) {
        const double a = 2 * M_PI * i / 3600;
        const auto s = Scene::sensorPointFor(camera, 1.0, centre[0] + 0.5 * Scene::kStarRadius * std::cos(a),
                                             centre[1] + 0.5 * Scene::kStarRadius * std::sin(a));
        const int x = int(s[0] * clean.width) | 1, y = int(s[1] * clean.height) & ~1;  // a green sample
        const bool bright = clean.samples[std::size_t(y) * clean.width + std::size_t(x)] > 1000;
        if (i > 0 && bright != lastBright) ++changes;
        lastBright = bright;
    }
    EXPECT_EQ(changes, 2 * Scene::kStarSpokes);
}

}  // namespace
}  // namespace sorvel::testing
