#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

#include "CaptureTestSupport.h"

namespace sorvel::testing {
namespace {

struct MovieInfo {
    int decodedFrames = 0;
    int width = 0, height = 0;
    std::string codec;
    std::string identifier;
    double rotation = 0;  // counterclockwise, as FFmpeg reports it
};

// Opens the file with the FFmpeg libraries and decodes every frame.
std::optional<MovieInfo> decodeMovie(const std::filesystem::path& path) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return std::nullopt;
    MovieInfo info;
    if (auto* tag = av_dict_get(format->metadata, kQuickTimeContentIdentifierKey, nullptr, 0)) info.identifier = tag->value;
    if (avformat_find_stream_info(format, nullptr) < 0) {
        avformat_close_input(&format);
        return std::nullopt;
    }
    int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0) {
        avformat_close_input(&format);
        return std::nullopt;
    }
    if (auto* matrix = reinterpret_cast<const int32_t*>(
            av_stream_get_side_data(format->streams[stream], AV_PKT_DATA_DISPLAYMATRIX, nullptr)))
        info.rotation = av_display_rotation_get(matrix);
    const AVCodec* codec = avcodec_find_decoder(format->streams[stream]->codecpar->codec_id);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(ctx, format->streams[stream]->codecpar);
    info.codec = codec ? codec->name : "";
    if (!codec || avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        avformat_close_input(&format);
        return std::nullopt;
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto receive = [&] {
        while (avcodec_receive_frame(ctx, frame) == 0) {
            ++info.decodedFrames;
            info.width = frame->width, info.height = frame->height;
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == stream && avcodec_send_packet(ctx, packet) == 0) receive();
        av_packet_unref(packet);
    }
    avcodec_send_packet(ctx, nullptr);
    receive();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
    avformat_close_input(&format);
    return info;
}

class CaptureLivePhoto : public CaptureFixture {
protected:
    void SetUp() override {
        CaptureFixture::SetUp();
        startSession();
        ASSERT_TRUE(photo->isLivePhotoCaptureSupported());
        photo->setLivePhotoCaptureEnabled(true);
        ASSERT_TRUE(photo->isLivePhotoCaptureEnabled());
    }
    PhotoSettings liveSettings() {
        auto s = PhotoSettings::withFormat(VideoCodec::Hevc);
        s.livePhotoMovieFileURL = tempDir / "live.mov";
        return s;
    }
};

// The Live Photo processor saves the still when the movie arrives: the movie callbacks must
// come after the still and before the end, and the movie must really cover the press.
TEST_F(CaptureLivePhoto, CallbackOrderAndAPlayableMovieWithTheStillsIdentifier) {
    pump(60);  // more than 1.5 s of frames before the press
    photo->connection(MediaType::Video)->setVideoOrientation(VideoOrientation::Portrait);
    auto settings = liveSettings();
    auto delegate = std::make_shared<RecordingDelegate>();
    photo->capturePhoto(settings, delegate);
    pump(1);
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"willBegin", "photo"}));
    EXPECT_EQ(delegate->began.livePhotoMovieDimensions, (Dimensions{640, 480}));
    pump(VirtualRig::kLivePhotoHalfFrames);
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"willBegin", "photo", "movieRecorded", "movie", "finish"}));
    EXPECT_FALSE(delegate->overlapped());
    EXPECT_EQ(delegate->threads().size(), 1u);
    ASSERT_FALSE(delegate->movieError.has_value()) << delegate->movieError->description;
    EXPECT_FALSE(delegate->finishError.has_value());
    EXPECT_EQ(delegate->movieFile, *settings.livePhotoMovieFileURL);
    ASSERT_TRUE(std::filesystem::exists(delegate->movieFile));
    EXPECT_NEAR(delegate->duration, 3.0, 0.1);
    EXPECT_NEAR(delegate->displayTime, 1.5, 0.05);

    auto movie = decodeMovie(delegate->movieFile);
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->decodedFrames, 90);
    EXPECT_EQ(movie->width, 640);
    EXPECT_EQ(movie->height, 480);
    // Portrait: players turn the landscape frames a quarter clockwise.
    EXPECT_NEAR(movie->rotation, -90, 0.5);
    ASSERT_TRUE(delegate->photo);
    std::string stillIdentifier = delegate->photo->metadata[kLivePhotoContentIdentifierKey].toString().value_or("");
    EXPECT_FALSE(stillIdentifier.empty());
    EXPECT_EQ(movie->identifier, stillIdentifier);
}

// Right after the session starts there is less than 1.5 s to look back on; the movie must
// still be written from what there is.
TEST_F(CaptureLivePhoto, PressRightAfterStartGivesAShorterMovie) {
    pump(5);
    auto delegate = capture(liveSettings());
    ASSERT_FALSE(delegate->movieError.has_value());
    auto movie = decodeMovie(delegate->movieFile);
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->decodedFrames, 6 + VirtualRig::kLivePhotoHalfFrames);
    EXPECT_NEAR(delegate->displayTime, 6 / 30.0, 1e-9);
}

// Stopping the session mid-movie must end the capture with a movie error, not leave the app
// waiting for callbacks that never come.
TEST_F(CaptureLivePhoto, StoppingDuringTheMovieEndsItWithAnError) {
    pump(10);
    auto delegate = std::make_shared<RecordingDelegate>();
    photo->capturePhoto(liveSettings(), delegate);
    pump(10);
    session->stopRunning();
    pump(1);
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"willBegin", "photo", "movieRecorded", "movie", "finish"}));
    ASSERT_TRUE(delegate->movieError.has_value());
    EXPECT_EQ(delegate->movieError->code, CaptureErrorCode::MovieFailed);
    EXPECT_FALSE(delegate->photoError.has_value());
}

// A movie URL without Live Photo enabled is a request the output cannot honour.
TEST_F(CaptureLivePhoto, MovieRequestedWithoutLivePhotoEnabledIsRefused) {
    photo->setLivePhotoCaptureEnabled(false);
    auto delegate = capture(liveSettings());
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"photo", "finish"}));
    ASSERT_TRUE(delegate->photoError.has_value());
    EXPECT_EQ(delegate->photoError->code, CaptureErrorCode::UnsupportedSettings);
}

}  // namespace
}  // namespace sorvel::testing
