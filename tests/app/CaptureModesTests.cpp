// Live Photo and deep-mode presses end to end on the virtual rig.

#include <cmath>
#include <set>

#include "AppHarness.h"
#include "platform/capture/virtual/RigProfile.h"
#include "platform/capture/virtual/PhotoPipeline.h"
#include "app/RAWCaptureDelegate.h"
#include "platform/capture/CaptureDevice.h"
#include "platform/capture/virtual/VirtualRig.h"
#include "platform/image/ImageSource.h"
#include "platform/image/RenderContext.h"
#include "platform/image/raw/RawFilter.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/foundation/Localization.h"
#include "platform/ui/Alert.h"

using namespace sorvel;
using namespace sorvel::testing;

namespace {

// Means of a cols x rows grid of an image's red channel (8-bit sRGB), divided by the mean of
// them all, so two captures of the same scene compare alike even when their exposures differ a
// little. Rows from the bottom, as extents are.
std::vector<double> gridProfile(const image::Image& picture, int cols, int rows) {
    const image::Rect e = picture.extent();
    image::Image small = picture.transformed(image::AffineTransform::scale(cols * 8 / e.width, rows * 8 / e.height));
    image::Rect s = small.extent().integral();
    auto bitmap = image::RenderContext().render(small, s, image::PixelFormat::RGBA8, image::ColorSpace::SRGB);
    std::vector<double> grid(std::size_t(cols) * std::size_t(rows), 0.0);
    if (!bitmap) return {};
    const int W = bitmap->width(), H = bitmap->height();
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int gx = std::min(cols - 1, x * cols / W), gy = std::min(rows - 1, (H - 1 - y) * rows / H);
            grid[std::size_t(gy) * std::size_t(cols) + std::size_t(gx)] += bitmap->row(y)[x * 4];
        }
    double total = 0;
    for (double v : grid) total += v;
    for (double& v : grid) v /= total / double(grid.size());
    return grid;
}

std::vector<double> mirroredGrid(const std::vector<double>& grid, int cols, int rows) {
    std::vector<double> out(grid.size());
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            out[std::size_t(y) * std::size_t(cols) + std::size_t(x)] = grid[std::size_t(y) * std::size_t(cols) + std::size_t(cols - 1 - x)];
    return out;
}

double meanDifference(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size() || a.empty()) return 1e9;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += std::fabs(a[i] - b[i]);
    return sum / double(a.size());
}

class CaptureModes : public AppHarness {
protected:
    void SetUp() override {
        AppHarness::SetUp();
        env->settings().registerSeeds({{"quality_setting", 0.5}, {"quality_setting_2", 0.5}, {"normal_resolution_scale", 0.25},
                                       {"heic_resolution_scale", 0.25}, {"setting_4", false}});
    }
    std::vector<PhotoAsset> assets() const { return PhotoLibrary::shared().assets(); }
    bool idle(ViewController& vc) const {
        return !vc.isProcessingPhoto && !vc.isCapturingLivePhoto.load() && vc.rawCaptureDelegateCount() == 0;
    }
    bool pressAndWait(ViewController& vc, std::size_t assetsExpected) {
        vc.按下拍照按钮();
        return pumpUntil([&] { return assets().size() >= assetsExpected && idle(vc); }, 900);
    }
    std::string typeOf(const PhotoAsset& asset, std::size_t resource = 0) {
        auto bytes = PhotoLibrary::shared().resourceData(asset.localIdentifier, resource);
        auto source = bytes ? image::ImageSource::make(*bytes) : std::nullopt;
        return source ? source->type() : "?";
    }
};

}  // namespace

// A Live Photo is one asset with the still and the movie, the press-time location, and its
// movie gone from the temporary folder.
TEST_F(CaptureModes, LivePhotoSavesStillAndMovieAsOneAssetWithLocation) {
    env->settings().setBool(true, "setting_2");
    auto& vc = startCamera();
    vc.locationManagerDidUpdateLocations(*vc.locationManager, {Location{22.54, 114.06, 12, Date{1796579000}}});
    ASSERT_TRUE(pressAndWait(vc, 1)) << ::testing::PrintToString(console->lines());
    auto movieLines = consoleLinesStartingWith("实况照片电影文件URL: ");
    ASSERT_EQ(movieLines.size(), 1u);
    std::filesystem::path temporary = movieLines[0].substr(std::string("实况照片电影文件URL: ").size());
    EXPECT_FALSE(std::filesystem::exists(temporary)) << "the movie was moved into the library";
    EXPECT_TRUE(console->contains("实况照片保存成功。"));

    auto saved = assets();
    ASSERT_EQ(saved.size(), 1u);
    ASSERT_EQ(saved[0].resources.size(), 2u);
    EXPECT_EQ(saved[0].resources[0].type, AssetResourceType::Photo);
    EXPECT_EQ(saved[0].resources[1].type, AssetResourceType::PairedVideo);
    EXPECT_TRUE(saved[0].mediaSubtypes & AssetMediaSubtype::PhotoLive);
    ASSERT_TRUE(saved[0].location);
    EXPECT_NEAR(saved[0].location->latitude, 22.54, 1e-9);
    EXPECT_FALSE(vc.isCapturingLivePhoto.load());
}

// With a filter on, one Live Photo press gives two assets: the pair and a filtered still.
TEST_F(CaptureModes, LivePhotoWithFilterAlsoSavesFilteredStill) {
    env->settings().setBool(true, "setting_2");
    auto& vc = startCamera();
    ASSERT_FALSE(vc.filters.empty()) << "the presets are imported at the first start";
    vc.setSelectedFilter(vc.filters[0]);
    vc.setFilterEnabled(true);
    ASSERT_TRUE(pressAndWait(vc, 2));
    EXPECT_TRUE(console->contains("滤镜静态照片已成功保存到相册（HEIC格式）。"));
    EXPECT_EQ(assets().size(), 2u);
}

// The movie failing after the still arrived would lose the shot; the still is saved alone.
TEST_F(CaptureModes, LivePhotoMovieFailureStillSavesTheStill) {
    env->settings().setBool(true, "setting_2");
    auto& vc = startCamera();
    VirtualRig::shared().injectNextCaptureFault(CaptureFault::MovieError);
    ASSERT_TRUE(pressAndWait(vc, 1)) << ::testing::PrintToString(console->lines());
    EXPECT_FALSE(consoleLinesStartingWith("捕捉实况照片电影文件时出错: ").empty());
    auto saved = assets();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].resources.size(), 1u);
    EXPECT_EQ(typeOf(saved[0]), "public.heic");
}

// The movie failing before the still arrives, and a movie written empty: each press keeps its
// shot as the processed still alone, previewed, with the movie's line; nothing left behind.
TEST_F(CaptureModes, LivePhotoMovieFailingFirstOrEmptyKeepsTheStillAlone) {
    env->settings().setBool(true, "setting_2");
    auto& vc = startCamera();
    std::size_t expected = 0;
    for (CaptureFault fault : {CaptureFault::MovieErrorBeforeStill, CaptureFault::EmptyMovie}) {
        SCOPED_TRACE(captureFaultName(fault));
        console->clear();
        VirtualRig::shared().injectNextCaptureFault(fault);
        ASSERT_TRUE(pressAndWait(vc, ++expected)) << ::testing::PrintToString(console->lines());
        runUntilIdle();
        auto lines = console->lines();
        int movieLine = -1, stillLine = -1;
        for (int i = 0; i < int(lines.size()); ++i) {
            if (movieLine < 0 && lines[i].rfind("捕捉实况照片电影文件时出错: ", 0) == 0) movieLine = i;
            if (stillLine < 0 && lines[i] == "成功捕捉到静态图像数据。") stillLine = i;
        }
        ASSERT_GE(movieLine, 0);
        ASSERT_GE(stillLine, 0);
        if (fault == CaptureFault::MovieErrorBeforeStill) {
            EXPECT_LT(movieLine, stillLine) << "the rig did not fail the movie first";
        }
        EXPECT_TRUE(console->contains("滤镜静态照片已成功保存到相册（HEIC格式）。"));
        auto saved = assets();
        ASSERT_EQ(saved.size(), expected);
        EXPECT_EQ(saved.front().resources.size(), 1u);
        EXPECT_EQ(typeOf(saved.front()), "public.heic");
        EXPECT_FALSE(vc.isCapturingLivePhoto.load());
        EXPECT_TRUE(std::filesystem::is_empty(env->home() / "journal"));
    }
}

// The deep development's option table through the real delegate: deep mode without the
// exposure search develops at -0.6 with the fixed noise reduction, boosts colour when asked and
// clamps the scale (0 to 0.01, 1.5 to 1); extreme mode leaves the exposure at the developer's
// default, turns noise reduction off, scales by 0.341333, never boosts and encodes at 0.3.
TEST_F(CaptureModes, DeepDevelopmentUsesTheOptionTableOfItsMode) {
    auto& vc = startCamera();
    StillJob job;
    job.camera = RigProfile::builtIn().cameras[2];
    job.raster = VirtualRig::shared().scene()->rasterFor(job.camera);
    job.exposure.duration = 1.0 / 500;
    job.exposure.iso = 50;
    job.raw = true;
    job.make = RigProfile::builtIn().make;
    job.model = RigProfile::builtIn().model;
    auto taken = takeStill(job);
    ASSERT_TRUE(std::holds_alternative<CapturedPhoto>(taken));
    const Bytes dng = *std::get<CapturedPhoto>(taken).fileData;
    auto develop = [&](std::initializer_list<std::pair<const char*, Value>> settings) {
        for (const auto& [key, value] : settings) env->settings().setObject(value, key);
        auto delegate = std::make_shared<RAWCaptureDelegate>();
        delegate->entry = vc.journalPress(CaptureKind::Deep);
        delegate->rawData = dng;
        EXPECT_TRUE(delegate->develop()) << ::testing::PrintToString(console->lines());
        runUntilIdle();
        return delegate->development;
    };
    auto deep = develop({{"save_format", "HEIC"}, {"setting_4", false}, {"setting_11", true}, {"quality_setting", 0.5},
                         {"heic_resolution_scale", 0.0}});
    EXPECT_EQ(deep.options, (std::map<std::string, double>{{"inputEV", double(-0.6f)}, {"inputEnableSharpening", 0},
                                                           {"inputNoiseReductionAmount", 1}, {"inputColorNoiseReductionAmount", 0.9},
                                                           {"inputLuminanceNoiseReductionAmount", 0.8},
                                                           {"inputNoiseReductionSharpnessAmount", 0},
                                                           {"inputScaleFactor", double(0.01f)}, {"inputLocalToneMapAmount", 0},
                                                           {"inputBoost", 0}, {"inputBoostShadowAmount", 0}}));
    EXPECT_TRUE(deep.colourBoosted);
    EXPECT_DOUBLE_EQ(deep.quality, 0.5);
    ASSERT_EQ(assets().size(), 1u);
    auto small = PhotoLibrary::shared().resourceData(assets()[0].localIdentifier, 0);
    auto smallSource = small ? image::ImageSource::make(*small) : std::nullopt;
    ASSERT_TRUE(smallSource);
    EXPECT_LE(std::max(smallSource->width(), smallSource->height()), 41);

    EXPECT_DOUBLE_EQ(develop({{"heic_resolution_scale", 1.5}, {"setting_11", false}}).options.at("inputScaleFactor"), 1.0);

    auto extreme = develop({{"innovative_extreme_mode", true}, {"setting_11", true}, {"setting_4", true}});
    EXPECT_EQ(extreme.options.count("inputEV"), 0u);
    EXPECT_EQ(extreme.options.at("inputNoiseReductionAmount"), 0);
    EXPECT_EQ(extreme.options.at("inputColorNoiseReductionAmount"), 0);
    EXPECT_EQ(extreme.options.at("inputLuminanceNoiseReductionAmount"), 0);
    EXPECT_DOUBLE_EQ(extreme.options.at("inputScaleFactor"), 0.341333);
    EXPECT_FALSE(extreme.colourBoosted);
    EXPECT_DOUBLE_EQ(extreme.quality, 0.3);
    EXPECT_TRUE(consoleLinesStartingWith("迭代 ").empty()) << "extreme mode ran the exposure search";
}

// A deep HEIC carries no "{GPS}" of its own: the place is on the library asset.
TEST_F(CaptureModes, DeepHeicHasNoGpsButTheAssetHasThePlace) {
    env->settings().setBool(true, "setting_0");
    env->settings().setObject(Value("HEIC"), "save_format");
    auto& vc = startCamera();
    vc.locationManagerDidUpdateLocations(*vc.locationManager, {Location{-33.86, 151.21, 58, Date{1796579000}}});
    ASSERT_TRUE(pressAndWait(vc, 1));
    auto saved = assets();
    ASSERT_EQ(saved.size(), 1u);
    ASSERT_TRUE(saved[0].location);
    EXPECT_DOUBLE_EQ(saved[0].location->latitude, -33.86);
    auto bytes = PhotoLibrary::shared().resourceData(saved[0].localIdentifier, 0);
    auto source = bytes ? image::ImageSource::make(*bytes) : std::nullopt;
    ASSERT_TRUE(source);
    EXPECT_EQ(source->properties().count("{GPS}"), 0u);
    EXPECT_EQ(source->properties().count("{Exif}"), 1u);
}

// Save formats: "RAW" keeps only the DNG, "HEIC" only the developed picture, and both an absent
// and an unknown value keep both (an unknown one would otherwise save nothing).
TEST_F(CaptureModes, DeepSaveFormats) {
    env->settings().setBool(true, "setting_0");
    auto& vc = startCamera();
    struct Case {
        std::optional<std::string> format;
        std::vector<std::string> types;
    };
    std::vector<Case> cases = {{"RAW", {"com.adobe.raw-image"}},
                               {"HEIC", {"public.heic"}},
                               {std::nullopt, {"com.adobe.raw-image", "public.heic"}},
                               {"RAW + HEIC?", {"com.adobe.raw-image", "public.heic"}}};
    std::size_t total = 0;
    for (const auto& c : cases) {
        if (c.format) env->settings().setObject(Value(*c.format), "save_format");
        else env->settings().removeObjectForKey("save_format");
        total += c.types.size();
        ASSERT_TRUE(pressAndWait(vc, total)) << (c.format ? *c.format : "absent");
        auto saved = assets();
        ASSERT_EQ(saved.size(), total) << (c.format ? *c.format : "absent");
        std::multiset<std::string> got, want(c.types.begin(), c.types.end());
        for (std::size_t i = 0; i < c.types.size(); ++i) got.insert(typeOf(saved[i]));
        EXPECT_EQ(got, want) << (c.format ? *c.format : "absent");
    }
    EXPECT_TRUE(console->contains("结束拍摄raw"));
    EXPECT_FALSE(vc.isProcessingPhoto);
}

// Extreme mode forces a HEIC at reduced size even when RAW is asked for, and never sets the
// searched exposure.
TEST_F(CaptureModes, ExtremeModeForcesReducedHeic) {
    env->settings().setBool(true, "innovative_extreme_mode");
    env->settings().setObject(Value("RAW"), "save_format");
    env->settings().setBool(true, "setting_4");
    auto& vc = startCamera();
    ASSERT_TRUE(pressAndWait(vc, 1));
    auto saved = assets();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(typeOf(saved[0]), "public.heic");
    auto bytes = PhotoLibrary::shared().resourceData(saved[0].localIdentifier, 0);
    auto source = image::ImageSource::make(*bytes);
    EXPECT_NEAR(std::max(source->width(), source->height()), 4032 * 0.341333, 8);
    EXPECT_TRUE(consoleLinesStartingWith("迭代 ").empty());
}

// A camera without a Bayer format: the alert, the busy state ends, no delegate left behind.
TEST_F(CaptureModes, NoBayerFormatAlertsAndEndsBusyState) {
    env->settings().setBool(true, "setting_0");
    auto& vc = startCamera();
    VirtualRig::shared().injectFault(vc.currentVideoDeviceInput->device()->uniqueID(), CaptureFault::NoBayerRaw);
    vc.按下拍照按钮();
    runUntilIdle();
    EXPECT_TRUE(console->contains("没有找到可用的Bayer RAW格式。"));
    EXPECT_FALSE(vc.isProcessingPhoto);
    EXPECT_EQ(vc.rawCaptureDelegateCount(), 0u);
    auto alerts = Alert::presented();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]->title().toStdString(), "当前的摄像头无法使用深度Sorvel模式");
    Alert::dismissAll();

    // Its three texts go through the localisation lookup, with the literal as the key.
    ScopedLocalizationEntries translated({{"当前的摄像头无法使用深度Sorvel模式", "This camera cannot use deep mode"},
                                          {"可尝试其他摄像头", "Try another camera"},
                                          {"确定", "OK"}});
    vc.按下拍照按钮();
    runUntilIdle();
    alerts = Alert::presented();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]->title().toStdString(), "This camera cannot use deep mode");
    EXPECT_EQ(alerts[0]->message().toStdString(), "Try another camera");
    ASSERT_EQ(alerts[0]->actions().size(), 1u);
    EXPECT_EQ(alerts[0]->actions()[0].title.toStdString(), "OK");
}

// A capture error must still end the busy state and drop the delegate.
TEST_F(CaptureModes, DeepCaptureErrorEndsBusyState) {
    env->settings().setBool(true, "setting_0");
    auto& vc = startCamera();
    VirtualRig::shared().injectNextCaptureFault(CaptureFault::CaptureError);
    vc.按下拍照按钮();
    ASSERT_TRUE(pumpUntil([&] { return idle(vc); }, 200));
    EXPECT_FALSE(consoleLinesStartingWith("捕捉照片时出错: ").empty());
    EXPECT_TRUE(assets().empty());
}

// A selfie with mirroring on: the developed HEIC is mirrored (its pixels, not a flag) and says
// so, while the DNG keeps the sensor's view. Compared with a capture of the same scene with
// mirroring off, whose HEIC must match the mirrored one only after flipping it back.
TEST_F(CaptureModes, DeepSelfieMirrorsTheHeicButNotTheDng) {
    env->settings().setBool(true, "setting_0");
    env->settings().setObject(Value("RAW+HEIC"), "save_format");
    env->settings().setBool(true, "setting_5");
    auto& vc = startCamera();
    auto front = CaptureDevice::defaultDevice(DeviceType::BuiltInWideAngleCamera, MediaType::Video, DevicePosition::Front);
    ASSERT_TRUE(front);
    vc.switchToCamera(front);
    runUntilIdle();
    ASSERT_TRUE(env->settings().boolForKey("is_selfie_camera"));
    ASSERT_TRUE(pumpUntil([&] { return console->contains("切换到摄像头: " + front->localizedName()); }, 50));

    std::set<std::string> seen;
    auto takePair = [&](std::size_t total) {
        EXPECT_TRUE(pressAndWait(vc, total)) << ::testing::PrintToString(console->lines());
        std::optional<Bytes> dng, heic;
        for (const PhotoAsset& asset : assets()) {
            if (!seen.insert(asset.localIdentifier).second) continue;
            auto bytes = PhotoLibrary::shared().resourceData(asset.localIdentifier, 0);
            if (bytes) (typeOf(asset) == "public.heic" ? heic : dng) = *bytes;
        }
        return std::make_pair(dng, heic);
    };
    auto [mirroredDng, mirroredHeic] = takePair(2);
    ASSERT_TRUE(mirroredDng && mirroredHeic);
    EXPECT_TRUE(console->contains("自拍照片已镜像"));

    console->clear();
    env->settings().setBool(false, "setting_5");
    auto [plainDng, plainHeic] = takePair(4);
    ASSERT_TRUE(plainDng && plainHeic);
    EXPECT_FALSE(console->contains("自拍照片已镜像"));

    constexpr int cols = 16, rows = 12;
    auto developed = [](const Bytes& dng) {
        auto f = image::RawFilter::make(dng, {{"inputScaleFactor", 0.125}});
        auto out = f ? f->outputImage() : std::nullopt;
        return out ? gridProfile(*out, cols, rows) : std::vector<double>{};
    };
    const auto heicMirrored = gridProfile(*image::Image::fromBytes(*mirroredHeic), cols, rows);
    const auto heicPlain = gridProfile(*image::Image::fromBytes(*plainHeic), cols, rows);
    const auto dngMirrored = developed(*mirroredDng), dngPlain = developed(*plainDng);
    ASSERT_EQ(heicMirrored.size(), std::size_t(cols * rows));
    ASSERT_EQ(dngMirrored.size(), std::size_t(cols * rows));

    // The scene is not symmetric: a flip changes the profile a lot.
    const double asymmetry = meanDifference(heicPlain, mirroredGrid(heicPlain, cols, rows));
    ASSERT_GT(asymmetry, 0.05);
    EXPECT_LT(meanDifference(heicMirrored, mirroredGrid(heicPlain, cols, rows)), asymmetry / 4) << "the HEIC is mirrored";
    EXPECT_LT(meanDifference(dngMirrored, dngPlain), asymmetry / 4) << "the DNG is not";
    EXPECT_GT(meanDifference(dngMirrored, mirroredGrid(dngPlain, cols, rows)), asymmetry / 2);
}
