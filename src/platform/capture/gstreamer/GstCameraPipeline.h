#pragma once
// One camera streaming: the source in one mode, then a tee into
//   the preview branch   (decode, zoom crop, convert and scale to BGRx at the preview size),
//   the still branch     (decode, zoom crop, convert to RGBx at the mode's full size), shut by a
//                         valve until a photo wants one frame,
//   the RAW branch       (the Bayer frames as they come, Bayer modes only), shut the same way.
// Every branch holds at most one frame: its queue and its appsink drop the older one, so a
// slow consumer makes frames late, never a backlog.
//
// Threads: frames and errors are reported on GStreamer's streaming threads; start, stop,
// setZoom and grab are called from one worker thread at a time.

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

#include "platform/capture/gstreamer/CameraModes.h"
#include "platform/capture/gstreamer/GstSupport.h"

namespace sorvel {

struct SampleUnref {
    void operator()(GstSample* s) const {
        if (s) gst_sample_unref(s);
    }
};
using SampleRef = std::unique_ptr<GstSample, SampleUnref>;

struct PipelineSpec {
    std::function<GstElement*()> makeSource;  // a new source element (or bin with one src pad)
    CameraMode mode;
    Dimensions previewSize;  // upright, as delivered by the preview branch
};

struct PipelineFailure {
    std::string message;
    bool busy = false;      // the device is in use elsewhere
    bool ended = false;     // the source ended its stream
};

class GstCameraPipeline {
public:
    enum class Branch { Still, Raw };
    // A preview frame, with the pipeline clock's running time when it reached us and the
    // frame's own time stamp (when the source made it), in nanoseconds.
    using FrameHandler = std::function<void(GstSample* sample, GstClockTime arrival, GstClockTime pts)>;
    using FailureHandler = std::function<void(const PipelineFailure& failure)>;

    static std::variant<std::unique_ptr<GstCameraPipeline>, std::string> build(const PipelineSpec& spec,
                                                                               FrameHandler onFrame,
                                                                               FailureHandler onFailure);
    ~GstCameraPipeline();
    GstCameraPipeline(const GstCameraPipeline&) = delete;
    GstCameraPipeline& operator=(const GstCameraPipeline&) = delete;

    // Plays and waits for the first preview frame, or the failure that came instead.
    std::optional<PipelineFailure> start(double timeoutSeconds);
    // Stops every streaming thread; no handler runs after it returns.
    void stop();
    bool failed() const { return failed_.load(); }

    const CameraMode& mode() const { return spec_.mode; }
    // Centre crop of both picture branches (1 shows the whole frame).
    void setZoom(double factor);
    // Lets one frame through the branch: after `skip` frames (a camera that just changed mode
    // sends a few while its exposure settles), within `timeoutSeconds`.
    std::variant<SampleRef, std::string> grab(Branch branch, int skip, double timeoutSeconds);

    // The pipeline clock's running time now, in nanoseconds (GST_CLOCK_TIME_NONE before play).
    GstClockTime runningTime() const;

private:
    GstCameraPipeline() = default;
    static GstFlowReturn onPreviewSample(GstAppSink* sink, gpointer self);
    static GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer self);
    void fail(PipelineFailure failure);

    PipelineSpec spec_;
    GstElement* pipeline_ = nullptr;
    GstElement* previewSink_ = nullptr;
    GstElement* stillSink_ = nullptr;
    GstElement* rawSink_ = nullptr;
    GstElement* stillValve_ = nullptr;
    GstElement* rawValve_ = nullptr;
    GstElement* previewCrop_ = nullptr;
    GstElement* stillCrop_ = nullptr;
    FrameHandler onFrame_;
    FailureHandler onFailure_;
    std::atomic<bool> failed_{false};
    std::atomic<bool> stopping_{false};
    std::mutex startMutex_;
    std::condition_variable started_;
    bool firstFrame_ = false;
    std::optional<PipelineFailure> startFailure_;
};

}  // namespace sorvel
