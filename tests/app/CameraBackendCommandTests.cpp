// The camera backend options as a person uses them: `shoot` on GStreamer's test sources, and
// `auto` on a machine without a camera.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>

#include "AppHarness.h"
#include "platform/foundation/Files.h"
#include "platform/image/ImageSource.h"
#include "platform/image/RenderContext.h"

using namespace sorvel;
using namespace sorvel::testing;

namespace {

struct CommandRun {
    int code;
    std::string out;  // standard output and standard error together
};

CommandRun camera(const std::string& environment, const std::string& args) {
    std::string cmd = environment + " " + std::string(SORVEL_BINARY_DIR) + "/src/sorvel-camera " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    std::array<char, 512> buf;
    while (p && fgets(buf.data(), buf.size(), p)) out += buf.data();
    int status = p ? pclose(p) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string where(const TempFolder& dir) {
    return "--home " + (dir.path() / "home").string() + " --library " + (dir.path() / "lib").string();
}

}  // namespace

// SMPTE bars through the whole app: the saved HEIC shows them upright, left to right.
TEST(CameraBackendCommand, ShootOnAGStreamerTestSourceSavesTheBarsUpright) {
    TempFolder dir("sorvel-gst-shoot");
    CommandRun r = camera("", where(dir) + " shoot --camera-backend gstreamer --gst-source \"videotestsrc pattern=smpte is-live=true "
                               "! video/x-raw,width=1280,height=960,framerate=30/1\" --set setting_2=false");
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("Camera: using GStreamer (a pipeline source): 后置相机 Video test source"), std::string::npos) << r.out;
    auto bytes = readFile(dir.path() / "lib" / "IMG_0001.HEIC");
    ASSERT_TRUE(bytes);
    auto source = image::ImageSource::make(*bytes);
    ASSERT_TRUE(source);
    // The app turned the picture upright itself: the file needs no turning to be shown.
    EXPECT_EQ(source->orientation(), 1);
    auto picture = source->image();
    ASSERT_TRUE(picture);
    auto bitmap = image::RenderContext().render(*picture, picture->extent(), image::PixelFormat::RGBA8, image::ColorSpace::SRGB);
    ASSERT_TRUE(bitmap);
    ASSERT_GT(bitmap->width(), bitmap->height());  // landscape, as the source sends it
    // White, yellow, cyan, green, magenta, red, blue from the left, in the top two thirds.
    const bool bars[7][3] = {{1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {0, 1, 0}, {1, 0, 1}, {1, 0, 0}, {0, 0, 1}};
    for (int bar = 0; bar < 7; ++bar) {
        int x = int((bar + 0.5) / 7 * bitmap->width()), y = bitmap->height() / 3;
        const std::uint8_t* p = bitmap->row(y) + 4 * x;
        for (int ch = 0; ch < 3; ++ch) {
            if (bars[bar][ch]) EXPECT_GT(p[ch], 170) << "bar " << bar << " channel " << ch;
            else EXPECT_LT(p[ch], 60) << "bar " << bar << " channel " << ch;
        }
    }
}

// Deep mode on a Bayer source: the DNG and the developed HEIC.
TEST(CameraBackendCommand, DeepModeOnABayerSourceSavesDngAndHeic) {
    TempFolder dir("sorvel-gst-deep");
    CommandRun r = camera("", where(dir) + " shoot --json --camera-backend gstreamer --gst-source \"videotestsrc pattern=smpte is-live=true "
                               "! video/x-bayer,format=rggb,width=1280,height=960,framerate=30/1\" "
                               "--set setting_0=true --set save_format=RAW+HEIC");
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("\"kind\": \"raw\""), std::string::npos) << r.out;
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "lib" / "IMG_0001.DNG")) << r.out;
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "lib" / "IMG_0002.HEIC")) << r.out;
    EXPECT_GT(std::filesystem::file_size(dir.path() / "lib" / "IMG_0001.DNG"), 1280u * 960u);
}

// With no camera on this machine, auto takes the virtual rig and says so in one line; the
// environment variable chooses as the option does, and a wrong value stops before starting.
TEST(CameraBackendCommand, AutoTakesTheVirtualRigWithoutACamera) {
    TempFolder dir("sorvel-gst-auto");
    // No PipeWire daemon of the desktop's, and no V4L2 camera, in the test's world.
    std::string noDaemon = "XDG_RUNTIME_DIR=" + (dir.path() / "run").string();
    std::filesystem::create_directories(dir.path() / "run");
    CommandRun r = camera(noDaemon, where(dir) + " shoot --set setting_2=false --set normal_resolution_scale=0.25");
    ASSERT_EQ(r.code, 0) << r.out;
    std::size_t lines = 0;
    for (std::size_t at = r.out.find("Camera: "); at != std::string::npos; at = r.out.find("Camera: ", at + 1)) ++lines;
    EXPECT_EQ(lines, 1u) << r.out;
    EXPECT_NE(r.out.find("Camera: no camera found through GStreamer (V4L2), using the virtual camera rig"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("切换到摄像头: 后置广角相机"), std::string::npos) << r.out;

    CommandRun env = camera(noDaemon + " SORVEL_CAMERA_BACKEND=gstreamer SORVEL_GST_SOURCE='videotestsrc is-live=true'",
                     where(dir) + " screenshot " + (dir.path() / "s.png").string() + " --after 0");
    EXPECT_EQ(env.code, 0) << env.out;
    EXPECT_NE(env.out.find("Camera: using GStreamer (a pipeline source)"), std::string::npos) << env.out;

    EXPECT_EQ(camera("", where(dir) + " shoot --camera-backend webcam").code, 2);
    EXPECT_EQ(camera("SORVEL_CAMERA_BACKEND=webcam", where(dir) + " shoot").code, 2);
    CommandRun bad = camera("", where(dir) + " shoot --camera-backend virtual --gst-source videotestsrc");
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.out.find("--gst-source needs the GStreamer camera backend"), std::string::npos) << bad.out;
}
