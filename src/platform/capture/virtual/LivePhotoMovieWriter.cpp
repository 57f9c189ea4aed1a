#include "platform/capture/virtual/LivePhotoMovieWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstring>

namespace sorvel {

std::shared_ptr<const YuvFrame> downscaleToYuv(const PixelBuffer& in, double time) {
    auto f = std::make_shared<YuvFrame>();
    f->width = (in.width / 2) & ~1;
    f->height = (in.height / 2) & ~1;
    f->time = time;
    if (f->width <= 0 || f->height <= 0) return f;
    f->y.resize(static_cast<std::size_t>(f->width) * f->height);
    f->u.resize(static_cast<std::size_t>(f->width / 2) * (f->height / 2));
    f->v.resize(f->u.size());
    // Each output pixel averages a 2x2 block; each chroma sample a 4x4 block.
    for (int y = 0; y < f->height; ++y) {
        const std::uint8_t* r0 = in.bgra.data() + static_cast<std::size_t>(2 * y) * in.bytesPerRow;
        const std::uint8_t* r1 = r0 + in.bytesPerRow;
        for (int x = 0; x < f->width; ++x) {
            int b = r0[8 * x] + r0[8 * x + 4] + r1[8 * x] + r1[8 * x + 4];
            int g = r0[8 * x + 1] + r0[8 * x + 5] + r1[8 * x + 1] + r1[8 * x + 5];
            int r = r0[8 * x + 2] + r0[8 * x + 6] + r1[8 * x + 2] + r1[8 * x + 6];
            f->y[static_cast<std::size_t>(y) * f->width + x] =
                static_cast<std::uint8_t>(16 + ((66 * r + 129 * g + 25 * b) / 4 + 128) / 256);
            if ((x | y) & 1) continue;
            int cu = std::clamp(128 + ((-38 * r - 74 * g + 112 * b) / 4 + 128) / 256, 16, 240);
            int cv = std::clamp(128 + ((112 * r - 94 * g - 18 * b) / 4 + 128) / 256, 16, 240);
            std::size_t ci = static_cast<std::size_t>(y / 2) * (f->width / 2) + x / 2;
            f->u[ci] = static_cast<std::uint8_t>(cu);
            f->v[ci] = static_cast<std::uint8_t>(cv);
        }
    }
    return f;
}

namespace {

CaptureError movieError(const std::string& step, int code = 0) {
    std::string text = "Live Photo movie: " + step;
    if (code < 0) {
        char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(code, buffer, sizeof buffer);
        text += " (" + std::string(buffer) + ")";
    }
    return {CaptureErrorCode::MovieFailed, text};
}

struct Encoder {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    AVStream* stream = nullptr;
    bool opened = false;
    ~Encoder() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
        if (format) {
            if (opened) avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }
    int drain() {
        for (;;) {
            int rc = avcodec_receive_packet(codec, packet);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return 0;
            if (rc < 0) return rc;
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            rc = av_interleaved_write_frame(format, packet);
            if (rc < 0) return rc;
        }
    }
};

}  // namespace

CaptureStatus writeLivePhotoMovie(const std::filesystem::path& path,
                                  const std::vector<std::shared_ptr<const YuvFrame>>& frames,
                                  const MovieDescription& d) {
    if (frames.empty() || frames.front()->width <= 0) return movieError("no frames to write");
    // The encoder's banner and statistics are not for the console.
    av_log_set_level(AV_LOG_ERROR);
    int width = frames.front()->width, height = frames.front()->height;
    Encoder e;
    std::string file = path.string();
    int rc = avformat_alloc_output_context2(&e.format, nullptr, "mov", file.c_str());
    if (rc < 0 || !e.format) return movieError("no QuickTime muxer", rc);
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) codec = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (!codec) codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!codec) return movieError("no video encoder");
    e.stream = avformat_new_stream(e.format, nullptr);
    e.codec = avcodec_alloc_context3(codec);
    if (!e.stream || !e.codec) return movieError("out of memory");
    int fps = static_cast<int>(std::lround(d.framesPerSecond));
    e.codec->width = width;
    e.codec->height = height;
    e.codec->time_base = AVRational{1, fps};
    e.codec->framerate = AVRational{fps, 1};
    e.codec->pix_fmt = AV_PIX_FMT_YUV420P;
    e.codec->gop_size = fps;
    e.codec->max_b_frames = 0;
    if (e.format->oformat->flags & AVFMT_GLOBALHEADER) e.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // A phone's hardware encoder is fast; the fastest x264 preset stands in for it.
    av_opt_set(e.codec->priv_data, "preset", "ultrafast", 0);
    av_opt_set(e.codec->priv_data, "crf", "23", 0);
    if ((rc = avcodec_open2(e.codec, codec, nullptr)) < 0) return movieError("cannot open the encoder", rc);
    if ((rc = avcodec_parameters_from_context(e.stream->codecpar, e.codec)) < 0)
        return movieError("codec parameters", rc);
    e.stream->time_base = e.codec->time_base;
    if (d.rotationDegrees % 360 != 0) {
        auto* matrix = reinterpret_cast<int32_t*>(
            av_stream_new_side_data(e.stream, AV_PKT_DATA_DISPLAYMATRIX, sizeof(int32_t) * 9));
        if (matrix) av_display_rotation_set(matrix, d.rotationDegrees);
    }
    av_dict_set(&e.format->metadata, kQuickTimeContentIdentifierKey, d.contentIdentifier.c_str(), 0);
    if ((rc = avio_open(&e.format->pb, file.c_str(), AVIO_FLAG_WRITE)) < 0)
        return movieError("cannot create " + file, rc);
    e.opened = true;
    AVDictionary* options = nullptr;
    // Keys in the "mdta" form, as players look for the content identifier.
    av_dict_set(&options, "movflags", "use_metadata_tags", 0);
    rc = avformat_write_header(e.format, &options);
    av_dict_free(&options);
    if (rc < 0) return movieError("cannot write the header", rc);

    e.frame = av_frame_alloc();
    e.packet = av_packet_alloc();
    if (!e.frame || !e.packet) return movieError("out of memory");
    e.frame->format = AV_PIX_FMT_YUV420P;
    e.frame->width = width;
    e.frame->height = height;
    if ((rc = av_frame_get_buffer(e.frame, 0)) < 0) return movieError("frame buffer", rc);
    std::int64_t pts = 0;
    for (const auto& f : frames) {
        if (f->width != width || f->height != height) continue;
        if ((rc = av_frame_make_writable(e.frame)) < 0) return movieError("frame buffer", rc);
        for (int y = 0; y < height; ++y)
            std::memcpy(e.frame->data[0] + y * e.frame->linesize[0], &f->y[static_cast<std::size_t>(y) * width], width);
        for (int y = 0; y < height / 2; ++y) {
            std::memcpy(e.frame->data[1] + y * e.frame->linesize[1], &f->u[static_cast<std::size_t>(y) * (width / 2)],
                        width / 2);
            std::memcpy(e.frame->data[2] + y * e.frame->linesize[2], &f->v[static_cast<std::size_t>(y) * (width / 2)],
                        width / 2);
        }
        e.frame->pts = pts++;
        if ((rc = avcodec_send_frame(e.codec, e.frame)) < 0) return movieError("encoding", rc);
        if ((rc = e.drain()) < 0) return movieError("writing", rc);
    }
    if ((rc = avcodec_send_frame(e.codec, nullptr)) < 0) return movieError("encoding", rc);
    if ((rc = e.drain()) < 0) return movieError("writing", rc);
    if ((rc = av_write_trailer(e.format)) < 0) return movieError("cannot finish the file", rc);
    return std::nullopt;
}

}  // namespace sorvel
