// The plain logic of the GStreamer backend: which modes serve the preview, the still and RAW;
// which cameras are listed and where they face; how pictures are turned to sensor orientation.

#include <gtest/gtest.h>

#include "platform/capture/gstreamer/CameraCatalogue.h"
#include "platform/capture/gstreamer/CameraModes.h"
#include "platform/capture/gstreamer/SensorFrames.h"

using namespace sorvel;

namespace {
CameraMode raw(const char* f, int w, int h, int fps) { return {FrameKind::Raw, f, w, h, fps, 1}; }
CameraMode jpeg(int w, int h, int fps) { return {FrameKind::Jpeg, "", w, h, fps, 1}; }
CameraMode bayer(const char* f, int w, int h) { return {FrameKind::Bayer, f, w, h, 30, 1}; }
}  // namespace

// A webcam as UVC ones are: uncompressed is slow at large sizes, MJPEG keeps 30 fps.
TEST(GstCameraModes, PreviewAtFullRateInTheStillsShapeAndStillsAtTheLargest) {
    std::vector<CameraMode> offered{raw("YUY2", 640, 480, 30), raw("YUY2", 1280, 720, 10), raw("YUY2", 1920, 1080, 5),
                                    jpeg(1280, 720, 30), jpeg(1920, 1080, 30), jpeg(3840, 2160, 30)};
    auto choice = chooseModes(offered);
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->still, jpeg(3840, 2160, 30));
    // 1920 x 1080 MJPEG fits and keeps the 16:9 framing of the still; 640 x 480 would crop it.
    EXPECT_EQ(choice->preview, jpeg(1920, 1080, 30));
    EXPECT_FALSE(choice->raw);
    EXPECT_EQ(previewFrameSize(choice->preview), (Dimensions{1280, 720}));

    // At equal size, uncompressed wins the still.
    offered.push_back(raw("NV12", 3840, 2160, 2));
    EXPECT_EQ(chooseModes(offered)->still, raw("NV12", 3840, 2160, 2));

    // Nothing fits the preview limits: the smallest mode, scaled down.
    auto big = chooseModes({raw("BGRx", 1600, 1200, 30)});
    EXPECT_EQ(big->preview, raw("BGRx", 1600, 1200, 30));
    EXPECT_EQ(previewFrameSize(big->preview), (Dimensions{1280, 960}));

    // Bayer frames give RAW (the largest); a Bayer-only camera is debayered for the rest.
    auto sensor = chooseModes({bayer("rggb", 640, 480), bayer("rggb", 2592, 1944)});
    ASSERT_TRUE(sensor && sensor->raw);
    EXPECT_EQ(*sensor->raw, bayer("rggb", 2592, 1944));
    EXPECT_EQ(sensor->preview, bayer("rggb", 640, 480));
    EXPECT_EQ(sensor->still.kind, FrameKind::Bayer);

    // 10-bit Bayer (which GStreamer's debayer cannot read) and empty lists give nothing.
    EXPECT_FALSE(chooseModes({bayer("rggb10le", 640, 480)}));
    EXPECT_FALSE(chooseModes({}));
    EXPECT_EQ(raw("YUY2", 1280, 720, 30).caps(), "video/x-raw,format=YUY2,width=1280,height=720,framerate=30/1");
    EXPECT_EQ(jpeg(640, 480, 15).text(), "640 x 480 MJPEG at 15 fps");
}

// Face-login infrared nodes and the second entry PipeWire makes of one camera are left out;
// two cameras of one model are both kept.
TEST(GstCameraCatalogue, InfraredAndDuplicateEntriesAreLeftOut) {
    auto camera = [](std::string id, std::string name, std::string path, std::string bus, std::vector<CameraMode> modes) {
        FoundCamera c;
        c.id = id, c.displayName = name, c.devicePath = path, c.physicalKey = bus, c.modes = modes;
        c.provider = "pipewire";
        return c;
    };
    std::vector<CameraMode> colour{raw("YUY2", 640, 480, 30)};
    std::vector<FoundCamera> found{
        camera("a", "Integrated Camera", "", "", colour),  // through libcamera: no V4L2 node
        camera("b", "Integrated Camera (V4L2)", "/dev/video0", "usb-0000:00:14.0-8", colour),
        camera("c", "Integrated IR Camera (V4L2)", "/dev/video2", "usb-0000:00:14.0-8b", {raw("GRAY8", 640, 360, 30)}),
        camera("d", "USB Webcam (V4L2)", "/dev/video4", "usb-0000:00:14.0-1", colour),
        camera("e", "USB Webcam (V4L2)", "/dev/video6", "usb-0000:00:14.0-2", colour),
        camera("f", "Hello Camera", "/dev/video8", "", colour),
    };
    found[5].displayName = "Windows Hello Infrared";
    auto kept = usableCameras(found);
    std::vector<std::string> ids;
    for (auto& c : kept) ids.push_back(c.id);
    // The libcamera twin gives way to the V4L2 one, whose controls can be reached.
    EXPECT_EQ(ids, (std::vector<std::string>{"b", "d", "e"}));

    FoundCamera webcam = camera("w", "C920", "/dev/video0", "", colour);
    webcam.driver = "uvcvideo";
    EXPECT_EQ(positionOf(webcam), DevicePosition::Front);
    webcam.facesUser = false;  // a sensor the driver marks as facing away
    EXPECT_EQ(positionOf(webcam), DevicePosition::Back);
    FoundCamera source = camera("s", "Video test source", "", "", colour);
    EXPECT_EQ(positionOf(source), DevicePosition::Back);
    EXPECT_EQ(localizedCameraName(source, DevicePosition::Back), "后置相机 Video test source");
}

// Upright pictures are turned a quarter anticlockwise, so that the app's quarter turn
// clockwise shows them upright again; a Bayer pattern turns with its mosaic.
TEST(GstSensorFrames, PicturesAreTurnedToSensorOrientation) {
    // 3 x 2 picture, pixel value = 10 x row + column.
    std::vector<std::uint8_t> upright(3 * 2 * 4 + 8);  // rows padded to 16 bytes
    const int stride = 16;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) upright[y * stride + 4 * x] = std::uint8_t(10 * y + x);
    PixelBuffer s = turnToSensor(upright.data(), 3, 2, stride);
    ASSERT_EQ(s.width, 2);
    ASSERT_EQ(s.height, 3);
    auto at = [&](int x, int y) { return s.bgra[y * s.bytesPerRow + 4 * x]; };
    EXPECT_EQ(at(0, 0), 2);   // top right corner at the top left
    EXPECT_EQ(at(1, 0), 12);
    EXPECT_EQ(at(0, 2), 0);   // top left corner at the bottom left
    EXPECT_EQ(at(1, 2), 10);
    EXPECT_EQ(s.bgra[3], 255);

    // A mosaic's colours stay where they were: each turned sample keeps its own colour.
    for (const char* format : {"rggb", "bggr", "grbg", "gbrg"}) {
        auto pattern = *bayerPattern(format);
        const int w = 6, h = 4;
        std::vector<std::uint8_t> mosaic(w * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) mosaic[y * w + x] = pattern[2 * (y % 2) + x % 2];  // sample = its colour
        auto turned = pattern;
        BayerImage b = turnMosaicToSensor(mosaic.data(), w, h, w, turned);
        ASSERT_EQ(b.width, h);
        ASSERT_EQ(b.height, w);
        for (int y = 0; y < b.height; ++y)
            for (int x = 0; x < b.width; ++x)
                ASSERT_EQ(b.samples[y * b.width + x], turned[2 * (y % 2) + x % 2]) << format << " " << x << "," << y;
    }
    EXPECT_FALSE(bayerPattern("rggb16le"));
}
