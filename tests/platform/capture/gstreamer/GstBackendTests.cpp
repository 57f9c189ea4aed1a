// The GStreamer backend driven through the real capture session by GStreamer's test sources:
// preview frames, stills, RAW, Live Photo movies and a source that fails, in real time.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "../CaptureTestSupport.h"
#include "../RawDecoding.h"
#include "platform/capture/PreviewSink.h"
#include "platform/capture/gstreamer/GStreamerBackend.h"
#include "platform/foundation/Console.h"
#include "platform/image/ImageSource.h"
#include "platform/image/RenderContext.h"

using namespace sorvel;
using namespace sorvel::testing;

namespace {

// The seven top bars of GStreamer's SMPTE pattern in RGB: white, yellow, cyan, green, magenta,
// red, blue.
const int kBars[7][3] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0}, {255, 0, 255}, {255, 0, 0}, {0, 0, 255}};

class RecordingFrames : public VideoFrameDelegate {
public:
    void captureOutput(VideoDataOutput&, const SampleBuffer& b, CaptureConnection&) override {
        std::lock_guard lock(mutex);
        frames.push_back(b);
    }
    std::vector<SampleBuffer> taken() {
        std::lock_guard lock(mutex);
        return frames;
    }
    std::mutex mutex;
    std::vector<SampleBuffer> frames;
};

template <typename Condition>
bool waitFor(Condition done, double seconds = 20) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A pixel of the upright picture, read from a buffer in sensor orientation (turned a quarter
// anticlockwise): upright (x, y) is stored at (y, width - 1 - x).
template <typename Row>
std::array<int, 3> upright(Row row, int sensorWidth, int sensorHeight, int channels, double u, double v) {
    int uprightWidth = sensorHeight, uprightHeight = sensorWidth;
    int x = std::clamp(int(u * uprightWidth), 0, uprightWidth - 1), y = std::clamp(int(v * uprightHeight), 0, uprightHeight - 1);
    auto* p = row(uprightWidth - 1 - x) + channels * y;
    return {int(p[0]), int(p[1]), int(p[2])};
}

class GstBackend : public ::testing::Test {
protected:
    void TearDown() override {
        if (session) session->stopRunning();
        preview.setSession(nullptr);
        session.reset();
        CaptureBackend::install(nullptr);
        backend.reset();
    }

    void use(const std::string& description) {
        auto made = GStreamerBackend::make(description);
        ASSERT_TRUE(std::holds_alternative<std::unique_ptr<GStreamerBackend>>(made)) << std::get<std::string>(made);
        backend = std::move(std::get<std::unique_ptr<GStreamerBackend>>(made));
        CaptureBackend::install(backend.get());
    }
    CaptureDevice& camera() { return *input->device(); }

    // The app's configuration: camera, microphone, photo output, video data output.
    void start(const std::string& description) {
        use(description);
        session = std::make_unique<CaptureSession>();
        photo = std::make_shared<PhotoOutput>();
        video = std::make_shared<VideoDataOutput>();
        session->beginConfiguration();
        auto device = CaptureDevice::defaultDevice(MediaType::Video);
        ASSERT_TRUE(device);
        auto made = DeviceInput::make(device);
        ASSERT_TRUE(std::holds_alternative<std::shared_ptr<DeviceInput>>(made));
        input = std::get<std::shared_ptr<DeviceInput>>(made);
        session->addInput(input);
        auto mic = DeviceInput::make(CaptureDevice::defaultDevice(MediaType::Audio));
        ASSERT_TRUE(std::holds_alternative<std::shared_ptr<DeviceInput>>(mic));
        session->addInput(std::get<std::shared_ptr<DeviceInput>>(mic));
        session->setSessionPreset(SessionPreset::Photo);
        session->addOutput(photo);
        session->addOutput(video);
        video->setSampleBufferDelegate(frames, DispatchQueue::makeSerial("VideoDataOutputQueue"));
        session->commitConfiguration();
        photo->setHighResolutionCaptureEnabled(true);
        photo->setLivePhotoCaptureEnabled(photo->isLivePhotoCaptureSupported());
        preview.setSession(session.get());
        session->startRunning();
    }

    std::shared_ptr<RecordingDelegate> capture(const PhotoSettings& settings) {
        auto d = std::make_shared<RecordingDelegate>();
        photo->capturePhoto(settings, d);
        EXPECT_TRUE(waitFor([&] { auto e = d->events(); return !e.empty() && e.back() == "finish"; }, 30));
        return d;
    }

    std::optional<image::Bitmap> decode(const Bytes& heic) {
        auto source = image::ImageSource::make(heic);
        if (!source) return std::nullopt;
        auto picture = source->image();
        if (!picture) return std::nullopt;
        return image::RenderContext().render(*picture, picture->extent(), image::PixelFormat::RGBA8, image::ColorSpace::SRGB);
    }

    void expectBars(const std::function<std::array<int, 3>(double u, double v)>& pixel, int tolerance, const char* what) {
        for (int bar = 0; bar < 7; ++bar) {
            auto p = pixel((bar + 0.5) / 7, 0.3);
            for (int ch = 0; ch < 3; ++ch) EXPECT_NEAR(p[ch], kBars[bar][ch], tolerance) << what << " bar " << bar << " channel " << ch;
        }
    }

    std::unique_ptr<GStreamerBackend> backend;
    std::unique_ptr<CaptureSession> session;
    std::shared_ptr<PhotoOutput> photo;
    std::shared_ptr<VideoDataOutput> video;
    std::shared_ptr<RecordingFrames> frames = std::make_shared<RecordingFrames>();
    std::shared_ptr<DeviceInput> input;
    PreviewSink preview;
};

}  // namespace

// Frames come at the source's rate with rising time stamps, turned to sensor orientation,
// and the preview shows the bars upright where the pattern has them.
TEST_F(GstBackend, PreviewFramesArriveAtTheRateUprightInThePreview) {
    start("videotestsrc pattern=smpte is-live=true ! video/x-raw,format=YUY2,width=1280,height=720,framerate=30/1");
    EXPECT_TRUE(session->isRunning());
    EXPECT_EQ(camera().position(), DevicePosition::Back);
    EXPECT_EQ(camera().description().sensor, (Dimensions{720, 1280}));
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    auto got = frames->taken();
    ASSERT_GE(got.size(), 15u);
    for (std::size_t i = 1; i < got.size(); ++i) {
        EXPECT_GT(got[i].presentationTime, got[i - 1].presentationTime);
        EXPECT_GT(got[i].frameNumber, got[i - 1].frameNumber);
    }
    // The time stamps are the source's: 1/30 s apart, or a whole number of that where a loaded
    // machine made a frame late and it was dropped.
    std::vector<double> deltas;
    for (std::size_t i = 1; i < got.size(); ++i) {
        double d = (got[i].presentationTime - got[i - 1].presentationTime) * 30;
        deltas.push_back(d);
        EXPECT_NEAR(d, std::max(1.0, std::round(d)), 0.15) << "frame " << i;
    }
    // Most frames come through (every other one on a machine as loaded as a sanitizer build
    // running beside other tests makes it).
    std::nth_element(deltas.begin(), deltas.begin() + deltas.size() / 2, deltas.end());
    EXPECT_LE(deltas[deltas.size() / 2], 2.1);
    const PixelBuffer& f = *got.back().imageBuffer;
    ASSERT_EQ(f.width, 720);
    ASSERT_EQ(f.height, 1280);
    expectBars(
        [&](double u, double v) {
            auto bgr = upright([&](int y) { return &f.bgra[std::size_t(y) * f.bytesPerRow]; }, 720, 1280, 4, u, v);
            return std::array<int, 3>{bgr[2], bgr[1], bgr[0]};
        },
        8, "preview frame");
    // The preview sink turns the frame for the portrait connection: the bars stand upright.
    auto shown = preview.currentFrame();
    ASSERT_TRUE(shown);
    ASSERT_EQ(shown->width, 1280);
    for (int bar = 0; bar < 7; ++bar) {
        const std::uint8_t* p = &shown->bgra[std::size_t(200) * shown->bytesPerRow + 4 * int((bar + 0.5) / 7 * 1280)];
        EXPECT_NEAR(p[2], kBars[bar][0], 8) << bar;
        EXPECT_NEAR(p[1], kBars[bar][1], 8) << bar;
        EXPECT_NEAR(p[0], kBars[bar][2], 8) << bar;
    }
}

// A still has the camera's full size, comes with its callbacks in order, and shows the
// pattern's colours where the pattern has them; zoom crops the centre.
TEST_F(GstBackend, StillIsFullSizeWithTheBarsInPlace) {
    start("videotestsrc pattern=smpte is-live=true ! video/x-raw,width=1600,height=1200,framerate=30/1");
    // The app turns the connection to portrait before each still.
    ASSERT_TRUE(photo->connection(MediaType::Video));
    photo->connection(MediaType::Video)->setVideoOrientation(VideoOrientation::Portrait);
    auto d = capture(PhotoSettings::withFormat(VideoCodec::Hevc));
    EXPECT_EQ(d->events(), (std::vector<std::string>{"willBegin", "photo", "finish"}));
    EXPECT_FALSE(d->overlapped());
    EXPECT_FALSE(d->photoError) << d->photoError->description;
    EXPECT_EQ(d->began.photoDimensions, (Dimensions{1200, 1600}));
    ASSERT_TRUE(d->photo && d->photo->fileData);
    auto bitmap = decode(*d->photo->fileData);
    ASSERT_TRUE(bitmap);
    ASSERT_EQ(bitmap->width(), 1200);
    ASSERT_EQ(bitmap->height(), 1600);
    EXPECT_EQ(d->photo->metadata.at("Orientation").toInteger(), 6);
    const Dictionary* exif = d->photo->metadata.at("{Exif}").dictionaryValue();
    ASSERT_TRUE(exif);
    EXPECT_TRUE(exif->count("DateTimeOriginal"));
    EXPECT_FALSE(exif->count("ExposureTime"));  // a test source reports no exposure
    auto rows = [&](int y) { return bitmap->row(y); };
    expectBars([&](double u, double v) { return upright(rows, 1200, 1600, 4, u, v); }, 10, "still");

    // Zoom 2 shows the middle half: yellow at the left edge, green in the middle.
    ASSERT_FALSE(camera().lockForConfiguration());
    camera().setVideoZoomFactor(2);
    camera().unlockForConfiguration();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto zoomed = capture(PhotoSettings::withFormat(VideoCodec::Hevc));
    ASSERT_TRUE(zoomed->photo && zoomed->photo->fileData);
    auto z = decode(*zoomed->photo->fileData);
    ASSERT_TRUE(z);
    EXPECT_EQ(z->width(), 1200);
    auto zrows = [&](int y) { return z->row(y); };
    auto left = upright(zrows, 1200, 1600, 4, 0.02, 0.3), middle = upright(zrows, 1200, 1600, 4, 0.5, 0.3);
    EXPECT_NEAR(left[0], 255, 12);
    EXPECT_NEAR(left[2], 0, 12);
    EXPECT_NEAR(middle[0], 0, 12);
    EXPECT_NEAR(middle[1], 255, 12);
}

// The preview runs at a preview size while stills come from the largest mode: the source is
// switched to it for the photo and back, and the preview goes on afterwards.
TEST_F(GstBackend, StillFromALargerModeThanThePreview) {
    start("videotestsrc pattern=smpte is-live=true");  // any size: preview 1280 x 960, stills 4032 x 3024
    auto d = capture(PhotoSettings::withFormat(VideoCodec::Hevc));
    ASSERT_TRUE(d->photo && d->photo->fileData) << (d->photoError ? d->photoError->description : "");
    auto bitmap = decode(*d->photo->fileData);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->width(), 3024);
    EXPECT_EQ(bitmap->height(), 4032);
    auto rows = [&](int y) { return bitmap->row(y); };
    expectBars([&](double u, double v) { return upright(rows, 3024, 4032, 4, u, v); }, 10, "full-size still");
    std::size_t before = frames->taken().size();
    EXPECT_TRUE(waitFor([&] { return frames->taken().size() > before + 5; }, 5));
    EXPECT_EQ(frames->taken().back().imageBuffer->width, 960);
}

// A Bayer source offers RAW; its DNG develops (LibRaw) to the pattern, and its processed
// still comes through the debayer. A source without Bayer frames offers none.
TEST_F(GstBackend, BayerSourceGivesADngOfThePattern) {
    start("videotestsrc pattern=smpte is-live=true ! video/x-bayer,format=bggr,width=640,height=480,framerate=30/1");
    auto formats = photo->availableRawPhotoPixelFormatTypes();
    ASSERT_TRUE(std::any_of(formats.begin(), formats.end(), PhotoOutput::isBayerRawPixelFormat));
    auto d = capture(PhotoSettings::withRawPixelFormat(kPixelFormatBayerRGGB12));
    EXPECT_EQ(d->events(), (std::vector<std::string>{"willBegin", "photo", "finish"}));
    ASSERT_TRUE(d->photo && d->photo->fileData) << (d->photoError ? d->photoError->description : "");
    EXPECT_TRUE(d->photo->isRawPhoto);
    auto developed = develop(*d->photo->fileData);
    ASSERT_TRUE(developed);
    ASSERT_EQ(developed->width, 480);
    ASSERT_EQ(developed->height, 640);
    // Developed linear: full bars come out near full scale, zero stays near zero.
    for (int bar = 0; bar < 7; ++bar) {
        auto p = upright([&](int y) { return &developed->rgb[std::size_t(y) * developed->width * 3]; }, 480, 640, 3,
                         (bar + 0.5) / 7, 0.3);
        for (int ch = 0; ch < 3; ++ch) {
            double expected = kBars[bar][ch] / 255.0 * 65535;
            EXPECT_NEAR(p[ch], expected, 65535 * 0.12) << "bar " << bar << " channel " << ch;
        }
    }
    auto still = capture(PhotoSettings::withFormat(VideoCodec::Hevc));
    ASSERT_TRUE(still->photo && still->photo->fileData);
    auto bitmap = decode(*still->photo->fileData);
    ASSERT_TRUE(bitmap);
    auto rows = [&](int y) { return bitmap->row(y); };
    expectBars([&](double u, double v) { return upright(rows, 480, 640, 4, u, v); }, 14, "debayered still");
}

TEST_F(GstBackend, NoBayerFramesNoRaw) {
    start("videotestsrc is-live=true ! video/x-raw,format=I420,width=320,height=240,framerate=30/1");
    auto formats = photo->availableRawPhotoPixelFormatTypes();
    EXPECT_FALSE(std::any_of(formats.begin(), formats.end(), PhotoOutput::isBayerRawPixelFormat));
    EXPECT_FALSE(camera().isExposureModeSupported(ExposureMode::Custom));
}

// A Live Photo: the still, then the movie of 1.5 s either side of the press, in the order
// the delegate protocol gives, and a movie file that is really there.
TEST_F(GstBackend, LivePhotoMovieFromThePreviewStream) {
    start("videotestsrc pattern=ball is-live=true ! video/x-raw,width=640,height=480,framerate=30/1");
    ASSERT_TRUE(photo->isLivePhotoCaptureEnabled());
    std::this_thread::sleep_for(std::chrono::milliseconds(1600));  // fills the 1.5 s before the press
    auto settings = PhotoSettings::withFormat(VideoCodec::Hevc);
    auto movie = std::filesystem::temp_directory_path() / ("sorvel-gst-live-" + std::to_string(::getpid()) + ".mov");
    settings.livePhotoMovieFileURL = movie;
    auto d = capture(settings);
    EXPECT_EQ(d->events(), (std::vector<std::string>{"willBegin", "photo", "movieRecorded", "movie", "finish"}));
    EXPECT_FALSE(d->movieError) << d->movieError->description;
    EXPECT_GT(d->began.livePhotoMovieDimensions.width, 0);
    EXPECT_NEAR(d->duration, 3.0, 0.1);
    EXPECT_NEAR(d->displayTime, 1.5, 0.1);
    ASSERT_TRUE(std::filesystem::exists(movie));
    EXPECT_GT(std::filesystem::file_size(movie), 1000u);
    ASSERT_TRUE(d->photo && d->photo->metadata.count(kLivePhotoContentIdentifierKey));
    std::filesystem::remove(movie);
}

// A source that fails mid-stream: one console line, the camera's pipeline stops, a press
// after it gets an error at once, and stopping the session does not hang.
TEST_F(GstBackend, SourceFailingMidStreamEndsTheCameraWithItsLine) {
    ConsoleCapture console;
    start("videotestsrc is-live=true ! video/x-raw,width=320,height=240,framerate=30/1 ! identity error-after=20");
    EXPECT_TRUE(session->isRunning());
    auto stoppedLine = [&] {
        for (const auto& l : console.lines())
            if (l.rfind("Camera: ", 0) == 0 && l.find(" stopped: ") != std::string::npos) return true;
        return false;
    };
    ASSERT_TRUE(waitFor(stoppedLine, 10));
    std::size_t count = frames->taken().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(frames->taken().size(), count);
    auto d = capture(PhotoSettings::withFormat(VideoCodec::Hevc));
    EXPECT_EQ(d->events(), (std::vector<std::string>{"photo", "finish"}));
    EXPECT_TRUE(d->photoError);
    auto t0 = std::chrono::steady_clock::now();
    session->stopRunning();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
}

// A pipeline that cannot start and a format the app cannot use: one line each, and the
// session's start returns.
TEST_F(GstBackend, SourcesThatCannotStartSayWhy) {
    {
        ConsoleCapture console;
        start("v4l2src device=/dev/video-none-here");
        bool said = false;
        for (const auto& l : console.lines()) said |= l.rfind("Camera: ", 0) == 0 && l.find("could not start") != std::string::npos;
        EXPECT_TRUE(said);
        auto d = capture(PhotoSettings::withFormat(VideoCodec::Hevc));
        EXPECT_TRUE(d->photoError);
        TearDown();
    }
    ConsoleCapture console;
    start("videotestsrc is-live=true ! video/x-raw,width=64,height=48 ! pngenc ! image/png");
    bool said = false;
    for (const auto& l : console.lines())
        said |= l.rfind("Camera: ", 0) == 0 && l.find("offers no picture format this app can use") != std::string::npos;
    EXPECT_TRUE(said);
    // A description that does not parse is refused before anything starts.
    EXPECT_TRUE(std::holds_alternative<std::string>(GStreamerBackend::make("videotestsrc ! no-such-element")));
}

// After a camera failed, switching cameras (here: away and back, the way the app swaps inputs)
// starts the stream again; without a camera input nothing streams.
TEST_F(GstBackend, ACameraSwitchAfterAFailureStartsTheStreamAgain) {
    ConsoleCapture console;
    start("videotestsrc is-live=true ! video/x-raw,width=320,height=240,framerate=30/1 ! identity error-after=15");
    ASSERT_TRUE(waitFor([&] {
        for (const auto& l : console.lines())
            if (l.find(" stopped: ") != std::string::npos) return true;
        return false;
    }, 10));
    session->beginConfiguration();
    session->removeInput(*input);
    session->commitConfiguration();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::size_t before = frames->taken().size();
    session->beginConfiguration();
    ASSERT_TRUE(session->canAddInput(*input));
    session->addInput(input);
    session->commitConfiguration();
    EXPECT_TRUE(waitFor([&] { return frames->taken().size() >= before + 5; }, 5));
}
