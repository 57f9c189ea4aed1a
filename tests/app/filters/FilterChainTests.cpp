#include <gtest/gtest.h>

#include <cmath>

#include "app/filters/FilterChain.h"
#include "app/filters/FilterOperation.h"
#include "app/filters/FilterParameter.h"
#include "platform/foundation/Console.h"
#include "platform/image/FilterKit.h"
#include "platform/image/RenderContext.h"

namespace sorvel {
namespace {

using image::Image;
using image::Rect;

struct Ready {
    std::string name;
    const image::Filter* filter;  // valid only inside the callback
};

// Records what the chain asks for and, for each filter about to run, the inputs a test reads.
class Recorder : public FilterChainObserver {
public:
    void filterRequested(std::string_view name) override { requested.emplace_back(name); }
    void filterReady(const image::Filter& filter) override {
        ready.push_back(filter.name());
        Snapshot s;
        for (const char* key : {"inputContrast", "inputSaturation", "inputRadius", "inputIntensity", "inputAngle"})
            if (auto* v = filter.value(key); v && v->number()) s.numbers[key] = *v->number();
        for (const char* key : {"inputNeutral", "inputAVector", "inputRVector"})
            if (auto* v = filter.value(key); v && v->vector()) s.vectors[key] = *v->vector();
        for (const char* key : {"inputImage", "inputBackgroundImage", "inputMaskImage"})
            if (auto* v = filter.value(key); v && v->image()) s.images[key] = *v->image();
        snapshots.push_back(s);
    }
    struct Snapshot {
        std::map<std::string, double> numbers;
        std::map<std::string, image::Vector> vectors;
        std::map<std::string, Image> images;
    };
    std::vector<std::string> requested;
    std::vector<std::string> ready;
    std::vector<Snapshot> snapshots;
};

Image testPicture(int width = 64, int height = 48) {
    auto bitmap = image::Bitmap::make(width, height, image::PixelFormat::RGBA8, image::ColorSpace::SRGB);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = bitmap->mutableRow(y) + 4 * x;
            p[0] = std::uint8_t(x * 4), p[1] = std::uint8_t(y * 5), p[2] = std::uint8_t(200 - x), p[3] = 255;
        }
    return Image(*bitmap);
}

ParameterMap defaults() { return defaultParameterMap(); }

ParameterMap with(std::initializer_list<std::pair<const char*, float>> changes) {
    ParameterMap map = defaults();
    for (const auto& [id, v] : changes) map[id] = v;
    return map;
}

// A neutral filter must cost nothing: same recipe object back, no filter made, no segmentation.
TEST(FilterChain, AllDefaultsReturnTheSameImageAndCreateNothing) {
    Image picture = testPicture();
    Recorder recorder;
    Image out = applyFilters(picture, defaults(), &recorder);
    EXPECT_EQ(out.node(), picture.node());
    EXPECT_TRUE(recorder.requested.empty());
    EXPECT_EQ(applyFilters(picture, defaults()).node(), picture.node());
}

// Contrast and saturation are one platform filter but must run as two passes, contrast first,
// each leaving the other input at its default.
TEST(FilterChain, ContrastThenSaturationAreTwoPasses) {
    Image picture = testPicture();
    Recorder recorder;
    applyFilters(picture, with({{"2", 1.5f}, {"3", 0.5f}}), &recorder);
    ASSERT_EQ(recorder.ready, (std::vector<std::string>{"CIColorControls", "CIColorControls"}));
    EXPECT_EQ(recorder.snapshots[0].numbers["inputContrast"], 1.5);
    EXPECT_EQ(recorder.snapshots[0].numbers["inputSaturation"], 1.0);
    EXPECT_EQ(recorder.snapshots[1].numbers["inputContrast"], 1.0);
    EXPECT_EQ(recorder.snapshots[1].numbers["inputSaturation"], 0.5);
    EXPECT_EQ(recorder.snapshots[0].images["inputImage"].node(), picture.node());
}

// The bloom's glow margin is ceil(3 r) wide; cropping by r or round(3 r) would leave a frame
// of glow or eat into the picture.
TEST(FilterChain, BloomIsCroppedByCeilOfThreeRadii) {
    Image picture = testPicture();
    Recorder recorder;
    Image out = applyFilters(picture, with({{"9", 0.5f}, {"10", 8.2f}}), &recorder);
    ASSERT_EQ(recorder.ready, std::vector<std::string>{"CIBloom"});
    EXPECT_FLOAT_EQ(recorder.snapshots[0].numbers["inputRadius"], 8.2f);
    EXPECT_FLOAT_EQ(recorder.snapshots[0].numbers["inputIntensity"], 0.5f);
    auto direct = picture.applyingFilter("CIBloom", {{"inputRadius", 8.2f}, {"inputIntensity", 0.5f}});
    ASSERT_TRUE(direct);
    EXPECT_EQ(out.extent(), direct->extent().insetBy(25, 25));
    EXPECT_EQ(out.extent(), picture.extent());

    // Radius or intensity below 0.00001 skips the row after the filter is made.
    for (ParameterMap skipped : {with({{"9", 0.5f}, {"10", 0.0f}}), with({{"9", 0.000001f}}), with({{"9", 0.5f}})}) {
        Recorder r;
        Image same = applyFilters(picture, skipped, &r);
        EXPECT_TRUE(r.ready.empty());
        EXPECT_EQ(same.node(), picture.node());
    }
}

// Box blur grows by floor(r); the crop must match it exactly.
TEST(FilterChain, BoxBlurIsCroppedByFloorOfRadius) {
    Image picture = testPicture();
    Image out = applyFilters(picture, with({{"24", 12.7f}}));
    auto direct = picture.applyingFilter("CIBoxBlur", {{"inputRadius", 12.7f}});
    ASSERT_TRUE(direct);
    EXPECT_EQ(out.extent(), direct->extent().insetBy(12, 12));
    EXPECT_EQ(out.extent(), picture.extent());
}

// A blend amount of 0.4 must fade the look to 40 % over the unfiltered picture.
TEST(FilterChain, BlendMixesTheLookAtItsAmount) {
    Image picture = testPicture(8, 6);
    Recorder recorder;
    Image out = applyFilters(picture, with({{"13", 0.4f}}), &recorder);
    ASSERT_EQ(recorder.ready,
              (std::vector<std::string>{"CIPhotoEffectFade", "CIColorMatrix", "CISourceOverCompositing"}));
    EXPECT_EQ(recorder.snapshots[1].vectors["inputAVector"], (image::Vector{0, 0, 0, double(0.4f)}));
    EXPECT_EQ(recorder.snapshots[1].vectors["inputRVector"], (image::Vector{1, 0, 0, 0}));
    EXPECT_EQ(recorder.snapshots[2].images["inputBackgroundImage"].node(), picture.node());

    auto look = picture.applyingFilter("CIPhotoEffectFade");
    ASSERT_TRUE(look);
    image::RenderContext context;
    auto render = [&](const Image& i) {
        return context.render(i, picture.extent(), image::PixelFormat::RGBAFloat, image::ColorSpace::LinearSRGB);
    };
    auto mixed = render(out), original = render(picture), effect = render(*look);
    ASSERT_TRUE(mixed && original && effect);
    for (std::size_t i = 0; i < mixed->byteCount() / sizeof(float); ++i) {
        float m = reinterpret_cast<const float*>(mixed->data())[i];
        float o = reinterpret_cast<const float*>(original->data())[i];
        float e = reinterpret_cast<const float*>(effect->data())[i];
        ASSERT_NEAR(m, 0.6f * o + 0.4f * e, 1e-4) << "float " << i;
    }
}

// Input conversions: degrees to radians, temperature as a neutral vector, edges at intensity 10.
TEST(FilterChain, InputsAreConvertedAsTheFiltersExpect) {
    Image picture = testPicture();
    Recorder recorder;
    applyFilters(picture, with({{"7", 35.0f}, {"8", 6500.0f}, {"25", 0.3f}}), &recorder);
    ASSERT_EQ(recorder.ready, (std::vector<std::string>{"CIHueAdjust", "CITemperatureAndTint", "CIEdges", "CIColorMatrix",
                                                        "CISourceOverCompositing"}));
    EXPECT_NEAR(recorder.snapshots[0].numbers["inputAngle"], 0.6109, 1e-4);
    EXPECT_EQ(recorder.snapshots[1].vectors["inputNeutral"], (image::Vector{6500, 0}));
    EXPECT_EQ(recorder.snapshots[2].numbers["inputIntensity"], 10);
    EXPECT_EQ(allFilterOperations().size(), 21u);
}

// Unknown or failing steps are no-ops; values from a damaged store must not crash the chain.
TEST(FilterChain, BadValuesAndMissingSegmentationLeaveThePicture) {
    Image picture = testPicture();
    ParameterMap damaged = with({{"10", NAN}, {"9", 0.5f}, {"24", INFINITY}});
    Image out = applyFilters(picture, damaged);
    EXPECT_EQ(out.node(), picture.node());

    // A platform without segmentation: the pre-pass asks for it, says so once and changes nothing.
    ParameterMap map = defaults();
    map.erase("22");
    {
        ScopedFilterMaker noSegmentation([](std::string_view name) -> std::unique_ptr<image::Filter> {
            if (name == "CIPersonSegmentation") return nullptr;
            return image::Filter::make(name);
        });
        ConsoleCapture console;
        Recorder recorder;
        EXPECT_EQ(applyFilters(picture, map, &recorder).node(), picture.node());
        EXPECT_EQ(recorder.requested, std::vector<std::string>{"CIPersonSegmentation"});
        EXPECT_EQ(console.lines(), std::vector<std::string>{"无法创建人物分割滤镜"});
    }
    // Segmentation that finds no mask: its own line, the picture unchanged.
    image::registerFilter({"TestNoMask", "yields nothing", {}, [](const image::Filter&) -> std::optional<Image> {
                               return std::nullopt;
                           }});
    {
        ScopedFilterMaker noMask([](std::string_view name) {
            return image::Filter::make(name == "CIPersonSegmentation" ? std::string_view("TestNoMask") : name);
        });
        ConsoleCapture console;
        EXPECT_EQ(applyFilters(picture, map).node(), picture.node());
        EXPECT_EQ(console.lines(), std::vector<std::string>{"无法生成分割后的图像"});
    }
}

// The pre-pass: mask aligned to the picture (also when the picture does not start at y = 0),
// people saturated through the mask, then the surroundings through its inverse.
TEST(FilterChain, SegmentationPassSaturatesPeopleAndSurroundingsSeparately) {
    image::Filter::make("CIColorControls");  // built-in filters registered before the stand-in
    // Stand-in segmentation: a half-size mask at the origin, white in its left half.
    image::registerFilter({"CIPersonSegmentation", "test mask", {}, [](const image::Filter& f) -> std::optional<Image> {
                               const Image* in = image::inputImage(f);
                               if (!in) return std::nullopt;
                               Rect e = in->extent();
                               return Image::constantColor(image::Color::white())
                                   .cropped({0, 0, e.width / 4, e.height / 2})
                                   .composited(Image::constantColor(image::Color::black()))
                                   .cropped({0, 0, e.width / 2, e.height / 2});
                           }});
    Image picture = testPicture().transformed(image::AffineTransform::translation(0, 10));
    Recorder recorder;
    Image out = applyFilters(picture, with({{"22", 1.6f}, {"23", 0.0f}}), &recorder);
    ASSERT_EQ(recorder.ready, (std::vector<std::string>{"CIPersonSegmentation", "CIColorMatrix", "CIColorInvert",
                                                        "CIColorControls", "CIBlendWithMask", "CIColorControls",
                                                        "CIBlendWithMask"}));
    EXPECT_EQ(recorder.snapshots[1].images["inputImage"].extent(), picture.extent()) << "mask not aligned";
    EXPECT_EQ(recorder.snapshots[1].vectors["inputRVector"], (image::Vector{1.4655, 0, 0, 0}));
    EXPECT_EQ(recorder.snapshots[3].numbers["inputSaturation"], double(1.6f));
    EXPECT_EQ(recorder.snapshots[3].images["inputImage"].node(), picture.node());
    EXPECT_EQ(recorder.snapshots[4].images["inputBackgroundImage"].node(), picture.node());
    EXPECT_EQ(recorder.snapshots[5].numbers["inputSaturation"], 0.0);

    // Left half (the person) keeps colour, right half (surroundings) turns grey.
    image::RenderContext context;
    auto bitmap = context.render(out, picture.extent(), image::PixelFormat::RGBA8, image::ColorSpace::SRGB);
    ASSERT_TRUE(bitmap);
    const std::uint8_t* left = bitmap->row(20) + 4 * 5;
    const std::uint8_t* right = bitmap->row(20) + 4 * 50;
    EXPECT_GT(std::abs(int(left[0]) - int(left[2])), 40) << "person lost its colour";
    EXPECT_LE(std::abs(int(right[0]) - int(right[2])), 2) << "surroundings kept colour";
    EXPECT_LE(std::abs(int(right[1]) - int(right[2])), 2);
}

}  // namespace
}  // namespace sorvel

// The catalogue as the product defines it, row by row: a changed bound, default or type would
// change what every saved filter and share code means.
TEST(FilterCatalogue, TheTwentyFiveRowsAreTheDefinedOnes) {
    struct Row {
        std::int64_t id;
        const char* name;
        float min, max, defaultValue;
        std::int64_t type;
    };
    const Row rows[] = {
        {1, "曝光", -4, 4, 0, 0},           {2, "对比度", 0, 2, 1, 0},         {3, "饱和度", 0, 2, 1, 0},
        {4, "亮度", -1, 1, 0, 0},           {5, "饱和度保持肤色", -1, 1, 0, 0}, {6, "伽马", 0.5f, 2, 1, 0},
        {7, "色相", -35, 35, 0, 0},         {8, "色温", 3000, 9000, 5500, 1},  {9, "泛光强度", 0, 1, 0, 0},
        {10, "泛光半径", 0, 100, 0, 0},     {11, "添加噪点", 0, 1, 0, 0},      {12, "高饱和胶片", 0, 1, 0, 0},
        {13, "中饱和胶片", 0, 1, 0, 0},     {14, "低饱和胶片", 0, 1, 0, 0},    {15, "低对比黑白", 0, 1, 0, 0},
        {16, "中对比黑白", 0, 1, 0, 0},     {17, "高饱和黑白", 0, 1, 0, 0},    {18, "暖色胶片", 0, 1, 0, 0},
        {19, "暗角强度", 0, 4, 0, 0},       {20, "高光", 0, 1, 1, 0},          {21, "阴影", 0, 1, 0, 0},
        {22, "人物饱和度", 0, 2, 1, 0},     {23, "环境饱和度", 0, 2, 1, 0},    {24, "模糊", 0, 30, 0, 0},
        {25, "边缘检测", 0, 1, 0, 0},
    };
    auto catalogue = sorvel::initializeFilterParameters();
    ASSERT_EQ(catalogue.size(), std::size(rows));
    for (std::size_t i = 0; i < catalogue.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(catalogue[i].id, rows[i].id);
        EXPECT_EQ(catalogue[i].name, rows[i].name);
        EXPECT_EQ(catalogue[i].min, rows[i].min);
        EXPECT_EQ(catalogue[i].max, rows[i].max);
        EXPECT_EQ(catalogue[i].defaultValue, rows[i].defaultValue);
        EXPECT_EQ(catalogue[i].type, rows[i].type);
    }
}
