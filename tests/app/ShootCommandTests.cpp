// `sorvel-camera shoot` as a person runs it: a new process, a fresh home and library.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <QImage>
#include <fstream>

#include "AppHarness.h"
#include "platform/foundation/Files.h"
#include "platform/image/ImageSource.h"

using namespace sorvel::testing;

namespace {

struct ProcessRun {
    int code;
    std::string out;
};

ProcessRun shoot(const std::string& args) {
    // The virtual rig, whatever cameras the machine has.
    std::string cmd = "SORVEL_CAMERA_BACKEND=virtual " + std::string(SORVEL_BINARY_DIR) + "/src/sorvel-camera " + args + " 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    std::array<char, 512> buf;
    while (p && fgets(buf.data(), buf.size(), p)) out += buf.data();
    int status = p ? pclose(p) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

// Three presses in a fresh home must give three HEIC photos, listed in one JSON document on
// standard output (console lines must not leak into it), and exit 0.
TEST(ShootCommand, ThreeStillsInAFreshHome) {
    TempFolder dir("sorvel-shoot");
    std::string where = "--home " + (dir.path() / "home").string() + " --library " + (dir.path() / "lib").string();
    ProcessRun r = shoot(where + " shoot --count 3 --json --set setting_2=false --set normal_resolution_scale=0.25");
    EXPECT_EQ(r.code, 0) << r.out;
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(r.out.front(), '{') << r.out;
    EXPECT_EQ(count(r.out, "\"kind\": \"photo\""), 3u) << r.out;
    EXPECT_EQ(count(r.out, ".HEIC"), 3u) << r.out;
    EXPECT_NE(r.out.find("\"failures\": 0"), std::string::npos);
    for (const char* name : {"IMG_0001.HEIC", "IMG_0002.HEIC", "IMG_0003.HEIC"})
        EXPECT_TRUE(std::filesystem::exists(dir.path() / "lib" / name)) << name;
}

// Skipping the welcome on a fresh home stands for a home that was welcomed, with the defaults
// the welcome registers: the still is saved at the camera's full size (3024 x 4032 upright),
// not at the resolution scale 0 of a store that never had one. A value given with --set stays.
TEST(ShootCommand, SkippingTheWelcomeKeepsTheWelcomesDefaults) {
    for (const std::string& scale : {std::string(), std::string(" --set normal_resolution_scale=0.25")}) {
        SCOPED_TRACE(scale);
        TempFolder dir("sorvel-shoot");
        std::string where = "--home " + (dir.path() / "home").string() + " --library " + (dir.path() / "lib").string();
        ProcessRun r = shoot(where + " shoot --set isFirstLaunch=true --set setting_2=false" + scale);
        ASSERT_EQ(r.code, 0) << r.out;
        auto bytes = sorvel::readFile(dir.path() / "lib" / "IMG_0001.HEIC");
        ASSERT_TRUE(bytes);
        auto source = sorvel::image::ImageSource::make(*bytes);
        ASSERT_TRUE(source);
        // The normal still rounds its sides to multiples of 16.
        const int expectedShortSide = scale.empty() ? 3024 : 756;
        EXPECT_NEAR(std::min(source->width(), source->height()), expectedShortSide, 16);
    }
}

// With camera access refused nothing is captured, the exit code says so, and the reason is given.
TEST(ShootCommand, DeniedCameraFailsAndSaysWhy) {
    TempFolder dir("sorvel-shoot");
    std::filesystem::create_directories(dir.path() / "home");
    std::ofstream(dir.path() / "home" / "permissions.conf") << "camera = denied\n";
    std::string where = "--home " + (dir.path() / "home").string() + " --library " + (dir.path() / "lib").string();
    ProcessRun r = shoot(where + " shoot --json");
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.out.find("permissions_explanation"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"assets\": []"), std::string::npos) << r.out;

    // A bad option exits 2 before anything is captured.
    EXPECT_EQ(shoot(where + " shoot --set setting_2=perhaps").code, 2);
}

// The screenshot tool is how the interface is looked at without a display: it must write the
// whole window with the live preview in it, and refuse a missing file name before starting.
TEST(ScreenshotCommand, WritesTheWindowWithALivePreview) {
    TempFolder dir("sorvel-screenshot");
    std::string where = "--home " + (dir.path() / "home").string() + " --library " + (dir.path() / "lib").string();
    std::filesystem::path png = dir.path() / "screen.png";
    ProcessRun r = shoot(where + " screenshot " + png.string() + " --after 0.8 --set setting_0=true --set isFirstLaunch=true");
    ASSERT_EQ(r.code, 0) << r.out;
    QImage shot(QString::fromStdString(png.string()));
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), QSize(390, 844));
    // The preview area shows the rig's scene (not black), the strip above it is the black
    // background, and the shutter ring is drawn in the text colour.
    QColor centre = shot.pixelColor(195, 362);
    EXPECT_GT(centre.red() + centre.green() + centre.blue(), 60);
    EXPECT_EQ(shot.pixelColor(20, 20), QColor(Qt::black));
    EXPECT_EQ(shot.pixelColor(195, 844 - 140 + 2), QColor(Qt::white));
    EXPECT_EQ(shoot(where + " screenshot").code, 2);
}

// The story and guide cards are looked at through the screenshot tool: a fresh home shows the
// welcome alert, --story a given story's card in its colours, --guide a guide; an index outside
// the catalogue or an unknown guide is refused before anything starts.
TEST(ScreenshotCommand, ShowsTheWelcomeAStoryAndAGuide) {
    TempFolder dir("sorvel-screenshot");
    std::string where = "--home " + (dir.path() / "home").string() + " --library " + (dir.path() / "lib").string();
    std::filesystem::path welcome = dir.path() / "welcome.png", story = dir.path() / "story.png",
                          guide = dir.path() / "guide.png";
    ASSERT_EQ(shoot(where + " screenshot " + welcome.string() + " --after 0.5").code, 0);
    // The story "没有拍下的那张" is black on white; its card fills the middle of the screen.
    ASSERT_EQ(shoot(where + " screenshot " + story.string() + " --after 1 --story 11").code, 0);
    ASSERT_EQ(shoot(where + " screenshot " + guide.string() + " --after 1 --guide pro").code, 0);
    QImage w(QString::fromStdString(welcome.string())), s(QString::fromStdString(story.string())),
        g(QString::fromStdString(guide.string()));
    ASSERT_FALSE(w.isNull() || s.isNull() || g.isNull());
    // The alert's dark card lies over the preview's centre; the story and guide cards are white
    // beside their text column.
    QColor alert = w.pixelColor(195, 422);
    EXPECT_LT(alert.red() + alert.green() + alert.blue(), 200);
    EXPECT_EQ(s.pixelColor(48, 300), QColor(Qt::white));
    EXPECT_EQ(g.pixelColor(48, 300), QColor(Qt::white));
    EXPECT_EQ(shoot(where + " screenshot " + story.string() + " --story 22").code, 2);
    EXPECT_EQ(shoot(where + " screenshot " + story.string() + " --guide fancy").code, 2);
}

// Pro-mode values from the command line go through the sliders to the camera: the photo says
// 1/250 s at ISO 400 in its Exif; with a countdown the press is the timer panel's button and
// the photo still lands. Bad values exit 2 before any capture.
TEST(ShootCommand, ProValuesAndACountdownReachThePhoto) {
    TempFolder dir("sorvel-shoot");
    std::string where = "--home " + (dir.path() / "home").string() + " --library " + (dir.path() / "lib").string();
    ProcessRun r = shoot(where + " shoot --set setting_2=false --set normal_resolution_scale=0.25 "
                                 "--pro shutter=1/250,iso=400,focus=0.3,wb=4500 --countdown 1");
    ASSERT_EQ(r.code, 0) << r.out;
    auto bytes = sorvel::readFile(dir.path() / "lib" / "IMG_0001.HEIC");
    ASSERT_TRUE(bytes);
    auto source = sorvel::image::ImageSource::make(*bytes);
    ASSERT_TRUE(source);
    const sorvel::Value exif = sorvel::Value(source->properties())["{Exif}"];
    EXPECT_NEAR(exif["ExposureTime"].toReal(), 1.0 / 250, 1e-7);
    const sorvel::Array* iso = exif["ISOSpeedRatings"].arrayValue();
    ASSERT_TRUE(iso && !iso->empty());
    EXPECT_EQ((*iso)[0].toInteger(), 400);

    for (const char* bad : {"--pro iso=abc", "--pro shutter=1/0", "--pro focus=2", "--pro wb=9000", "--pro speed=3",
                            "--pro", "--countdown 5"})
        EXPECT_EQ(shoot(where + " shoot " + bad).code, 2) << bad;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "lib" / "IMG_0002.HEIC"));
}
