#include "platform/capture/gstreamer/GstCameraPipeline.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace sorvel {

namespace {

std::string decoderFor(FrameKind kind) {
    switch (kind) {
    case FrameKind::Jpeg: return "jpegdec ! ";
    case FrameKind::Bayer: return "bayer2rgb ! ";
    case FrameKind::Raw: return "";
    }
    return "";
}

// One frame at most, the newest: the older is dropped when a new one comes.
constexpr const char* kLeakyQueue = "queue leaky=downstream max-size-buffers=1 max-size-bytes=0 max-size-time=0";
// Not async: a sink behind a shut valve never prerolls, and must not hold the pipeline back.
constexpr const char* kNewestSink = "max-buffers=1 drop=true sync=false async=false enable-last-sample=false";

}  // namespace

std::variant<std::unique_ptr<GstCameraPipeline>, std::string> GstCameraPipeline::build(const PipelineSpec& spec,
                                                                                       FrameHandler onFrame,
                                                                                       FailureHandler onFailure) {
    if (auto error = ensureGStreamer()) return *error;
    std::unique_ptr<GstCameraPipeline> p(new GstCameraPipeline);
    p->spec_ = spec;
    p->onFrame_ = std::move(onFrame);
    p->onFailure_ = std::move(onFailure);

    GstElement* source = spec.makeSource ? spec.makeSource() : nullptr;
    if (!source) return std::string("the camera's source element could not be made");
    const CameraMode& m = spec.mode;
    std::string decode = decoderFor(m.kind);
    std::string branches = "capsfilter name=mode caps=\"" + m.caps() + "\" ! tee name=t ";
    branches += std::string("t. ! ") + kLeakyQueue + " ! " + decode + "videocrop name=previewcrop ! videoconvertscale ! " +
                "video/x-raw,format=BGRx,width=" + std::to_string(spec.previewSize.width) +
                ",height=" + std::to_string(spec.previewSize.height) + " ! appsink name=preview " + kNewestSink + " ";
    branches += std::string("t. ! ") + kLeakyQueue +
                " ! valve name=stillvalve drop=true drop-mode=forward-sticky-events ! " + decode +
                "videocrop name=stillcrop ! videoconvertscale ! video/x-raw,format=RGBx,width=" + std::to_string(m.width) +
                ",height=" + std::to_string(m.height) + " ! appsink name=still " + kNewestSink + " ";
    if (m.kind == FrameKind::Bayer)
        branches += std::string("t. ! ") + kLeakyQueue +
                    " ! valve name=rawvalve drop=true drop-mode=forward-sticky-events ! appsink name=raw " + kNewestSink;

    GError* error = nullptr;
    GstElement* bin = gst_parse_bin_from_description(branches.c_str(), TRUE, &error);
    if (!bin) {
        std::string why = error ? error->message : "unknown reason";
        if (error) g_error_free(error);
        gst_object_unref(gst_object_ref_sink(source));
        return "the camera pipeline could not be built: " + why;
    }
    if (error) g_error_free(error);
    p->pipeline_ = gst_pipeline_new("sorvel-camera");
    gst_bin_add_many(GST_BIN(p->pipeline_), source, bin, nullptr);
    if (!gst_element_link(source, bin)) return std::string("the camera's source cannot feed the pipeline");

    auto named = [&](const char* name) { return gst_bin_get_by_name(GST_BIN(bin), name); };
    p->previewSink_ = named("preview");
    p->stillSink_ = named("still");
    p->rawSink_ = named("raw");
    p->stillValve_ = named("stillvalve");
    p->rawValve_ = named("rawvalve");
    p->previewCrop_ = named("previewcrop");
    p->stillCrop_ = named("stillcrop");

    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &GstCameraPipeline::onPreviewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(p->previewSink_), &callbacks, p.get(), nullptr);
    GstBus* bus = gst_element_get_bus(p->pipeline_);
    gst_bus_set_sync_handler(bus, &GstCameraPipeline::onBusMessage, p.get(), nullptr);
    gst_object_unref(bus);
    return p;
}

GstCameraPipeline::~GstCameraPipeline() {
    stop();
    for (GstElement* e : {previewSink_, stillSink_, rawSink_, stillValve_, rawValve_, previewCrop_, stillCrop_})
        if (e) gst_object_unref(e);
    if (pipeline_) {
        GstBus* bus = gst_element_get_bus(pipeline_);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_object_unref(pipeline_);
    }
}

GstFlowReturn GstCameraPipeline::onPreviewSample(GstAppSink* sink, gpointer data) {
    auto* self = static_cast<GstCameraPipeline*>(data);
    SampleRef sample(gst_app_sink_pull_sample(sink));
    if (!sample || self->stopping_) return GST_FLOW_OK;
    GstClockTime arrival = self->runningTime();
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    GstClockTime pts = buffer ? GST_BUFFER_PTS(buffer) : GST_CLOCK_TIME_NONE;
    {
        std::lock_guard lock(self->startMutex_);
        if (!self->firstFrame_) {
            self->firstFrame_ = true;
            self->started_.notify_all();
        }
    }
    if (self->onFrame_) self->onFrame_(sample.get(), arrival, pts);
    return GST_FLOW_OK;
}

GstBusSyncReply GstCameraPipeline::onBusMessage(GstBus*, GstMessage* message, gpointer data) {
    auto* self = static_cast<GstCameraPipeline*>(data);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        bool busy = error && error->domain == GST_RESOURCE_ERROR && error->code == GST_RESOURCE_ERROR_BUSY;
        if (error) g_error_free(error);
        self->fail({gstMessageText(message), busy, false});
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
        self->fail({"the camera stopped sending pictures", false, true});
    }
    return GST_BUS_DROP;
}

void GstCameraPipeline::fail(PipelineFailure failure) {
    if (stopping_ || failed_.exchange(true)) return;
    {
        std::lock_guard lock(startMutex_);
        if (!firstFrame_) {
            startFailure_ = failure;
            started_.notify_all();
            return;  // start() reports it
        }
    }
    if (onFailure_) onFailure_(failure);
}

std::optional<PipelineFailure> GstCameraPipeline::start(double timeoutSeconds) {
    GstStateChangeReturn r = gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    std::unique_lock lock(startMutex_);
    if (r == GST_STATE_CHANGE_FAILURE && !startFailure_)
        started_.wait_for(lock, std::chrono::milliseconds(200), [&] { return startFailure_.has_value(); });
    if (r == GST_STATE_CHANGE_FAILURE)
        return startFailure_ ? *startFailure_ : PipelineFailure{"the camera pipeline refused to play"};
    bool done = started_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                                  [&] { return firstFrame_ || startFailure_.has_value(); });
    if (startFailure_) return *startFailure_;
    if (!done) {
        char text[64];
        std::snprintf(text, sizeof text, "no picture came within %g s", timeoutSeconds);
        failed_ = true;
        return PipelineFailure{text};
    }
    return std::nullopt;
}

void GstCameraPipeline::stop() {
    if (!pipeline_ || stopping_.exchange(true)) return;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
}

GstClockTime GstCameraPipeline::runningTime() const {
    GstClock* clock = gst_element_get_clock(pipeline_);
    if (!clock) return GST_CLOCK_TIME_NONE;
    GstClockTime now = gst_clock_get_time(clock);
    gst_object_unref(clock);
    GstClockTime base = gst_element_get_base_time(pipeline_);
    return now >= base ? now - base : 0;
}

void GstCameraPipeline::setZoom(double factor) {
    if (!std::isfinite(factor) || factor < 1) factor = 1;
    int w = spec_.mode.width, h = spec_.mode.height;
    // Even margins keep the crop on whole chroma samples.
    int x = static_cast<int>(std::lround((w - w / factor) / 4)) * 2;
    int y = static_cast<int>(std::lround((h - h / factor) / 4)) * 2;
    for (GstElement* crop : {previewCrop_, stillCrop_})
        if (crop) g_object_set(crop, "left", x, "right", x, "top", y, "bottom", y, nullptr);
}

std::variant<SampleRef, std::string> GstCameraPipeline::grab(Branch branch, int skip, double timeoutSeconds) {
    GstElement* sink = branch == Branch::Still ? stillSink_ : rawSink_;
    GstElement* valve = branch == Branch::Still ? stillValve_ : rawValve_;
    if (!sink || !valve) return std::string("this mode has no such picture");
    while (GstSample* stale = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 0)) gst_sample_unref(stale);
    g_object_set(valve, "drop", FALSE, nullptr);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    SampleRef got;
    int seen = 0;
    while (!failed_ && std::chrono::steady_clock::now() < deadline) {
        SampleRef s(gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 50 * GST_MSECOND));
        if (!s) continue;
        if (seen++ < skip) continue;
        got = std::move(s);
        break;
    }
    g_object_set(valve, "drop", TRUE, nullptr);
    if (got) return got;
    if (failed_) return std::string("the camera stopped while the photo was taken");
    char text[64];
    std::snprintf(text, sizeof text, "no full-size picture came within %g s", timeoutSeconds);
    return std::string(text);
}

}  // namespace sorvel
