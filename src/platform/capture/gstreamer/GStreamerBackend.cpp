#include "platform/capture/gstreamer/GStreamerBackend.h"

#include <gst/video/video.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <utility>

#include "platform/capture/CaptureSession.h"
#include "platform/capture/FrameOrientation.h"
#include "platform/capture/PhotoOutput.h"
#include "platform/capture/PreviewSink.h"
#include "platform/capture/VideoDataOutput.h"
#include "platform/capture/WhiteBalanceModel.h"
#include "platform/capture/gstreamer/GstCameraPipeline.h"
#include "platform/capture/gstreamer/GstStillPhoto.h"
#include "platform/capture/gstreamer/SensorFrames.h"
#include "platform/capture/gstreamer/V4l2ControlMap.h"
#include "platform/capture/gstreamer/V4l2DeviceControls.h"
#include "platform/capture/virtual/LivePhotoMovieWriter.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/Uuid.h"

namespace sorvel {

struct GStreamerBackend::Camera {
    FoundCamera found;
    std::shared_ptr<CaptureDevice> device;
    std::optional<ModeChoice> modes;
    std::shared_ptr<V4l2ControlMap> controls;  // null without V4L2 controls
    std::function<GstElement*()> makeSource;
    std::string make;
    std::string openFailure;  // why the source would not even open, when it would not

    const std::string& name() const { return device->localizedName(); }
};

struct GStreamerBackend::LiveCapture {
    std::shared_ptr<PhotoOutput> output;
    std::shared_ptr<PhotoCaptureDelegate> delegate;
    std::filesystem::path url;
    ResolvedPhotoSettings resolved;
    MovieDescription movie;
    std::mutex mutex;
    std::vector<std::shared_ptr<const YuvFrame>> frames;
    int preRollFrames = 0;
    int postFrames = 0;
    bool framesDone = false;
    bool stillPosted = false;
    bool finished = false;
    std::string error;
};

struct GStreamerBackend::Run {
    CaptureSession* session = nullptr;
    std::shared_ptr<DispatchQueue> worker;
    std::atomic<bool> stopped{false};

    // Worker only.
    std::unique_ptr<GstCameraPipeline> pipeline;
    std::shared_ptr<Camera> camera;
    std::uint64_t pipelines = 0;

    // Frames of the pipeline with this number are the session's; others are late ones.
    std::atomic<std::uint64_t> currentPipeline{0};

    // Under mutex (frame thread and worker).
    std::mutex mutex;
    std::deque<std::shared_ptr<const YuvFrame>> ring;
    std::vector<std::shared_ptr<LiveCapture>> live;
    std::uint64_t frameNumber = 0;
    bool controlsQueued = false;
    bool controlsSent = false;
    DeviceControlState sentControls;
    std::vector<DeviceSettingsCompletion> completions;
    int framesSinceControls = 0;
    std::uint64_t clockPipeline = 0;  // the pipeline whose time stamps clockOffset maps
    double clockOffset = 0;           // app clock seconds minus the pipeline's running time
    double lastTime = 0;

    // Frame thread only.
    double lastThreadCpu = -1;
};

namespace {

using SharedSample = std::shared_ptr<GstSample>;

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

bool sameControls(const DeviceControlState& a, const DeviceControlState& b) {
    return a.zoomFactor == b.zoomFactor && a.focusMode == b.focusMode && a.lensPosition == b.lensPosition &&
           a.exposureMode == b.exposureMode && a.targetBias == b.targetBias &&
           a.exposureDuration == b.exposureDuration && a.iso == b.iso && a.whiteBalanceMode == b.whiteBalanceMode &&
           a.gains.redGain == b.gains.redGain && a.gains.greenGain == b.gains.greenGain &&
           a.gains.blueGain == b.gains.blueGain && a.torchMode == b.torchMode;
}

void answerWithError(const std::shared_ptr<PhotoOutput>& output, const std::shared_ptr<PhotoCaptureDelegate>& delegate,
                     std::int64_t uniqueID, CaptureError error) {
    ResolvedPhotoSettings resolved;
    resolved.uniqueID = uniqueID;
    output->callbackQueue().async([output, delegate, resolved, error] {
        CapturedPhoto photo;
        photo.resolvedSettings = resolved;
        delegate->didFinishProcessingPhoto(*output, photo, error);
        delegate->didFinishCapture(*output, resolved, error);
    });
}

int movieRotationFor(int orientation) {
    return orientation == 6 || orientation == 5 ? 90 : orientation == 8 || orientation == 7 ? 270 : orientation == 3 ? 180 : 0;
}

// The pipeline description's source: its first source element's name and V4L2 node.
void describeSourceBin(GstElement* bin, FoundCamera& found) {
    GstIterator* it = gst_bin_iterate_sources(GST_BIN(bin));
    GValue item = G_VALUE_INIT;
    if (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto* element = GST_ELEMENT(g_value_get_object(&item));
        if (GstElementFactory* f = gst_element_get_factory(element))
            found.displayName = gst_element_factory_get_metadata(f, GST_ELEMENT_METADATA_LONGNAME);
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), "device")) {
            gchar* device = nullptr;
            g_object_get(element, "device", &device, nullptr);
            if (device && g_str_has_prefix(device, "/dev/video")) found.devicePath = device;
            g_free(device);
        }
        g_value_unset(&item);
    }
    gst_iterator_free(it);
}

std::variant<GstElement*, std::string> parseSource(const std::string& given) {
    // A description may end in caps ("videotestsrc ! video/x-bayer,format=rggb"), which the
    // parser only takes between two elements.
    std::string description = given;
    std::string last = description.substr(description.rfind('!') == std::string::npos ? 0 : description.rfind('!') + 1);
    last.erase(0, last.find_first_not_of(' '));
    if (description.find('!') != std::string::npos && (last.rfind("video/", 0) == 0 || last.rfind("image/", 0) == 0))
        description += " ! identity";
    GError* error = nullptr;
    GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, &error);
    if (!bin || error) {
        std::string why = error ? error->message : "it does not describe a pipeline";
        if (error) g_error_free(error);
        if (bin) gst_object_unref(gst_object_ref_sink(bin));
        return why;
    }
    GstPad* pad = gst_element_get_static_pad(bin, "src");
    if (!pad) {
        gst_object_unref(gst_object_ref_sink(bin));
        return std::string("it must end in a source with one free output");
    }
    gst_object_unref(pad);
    return bin;
}

// What the description's source can send: asked in the READY state, where V4L2 and test
// sources answer with their real formats.
std::vector<CameraMode> probeModes(GstElement* bin, std::string& failure) {
    GstElement* pipeline = gst_pipeline_new("sorvel-probe");
    gst_bin_add(GST_BIN(pipeline), bin);
    std::vector<CameraMode> modes;
    if (gst_element_set_state(pipeline, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE) {
        GstPad* pad = gst_element_get_static_pad(bin, "src");
        CapsRef caps(gst_pad_query_caps(pad, nullptr));
        gst_object_unref(pad);
        modes = modesFromCaps(caps.get());
    } else {
        // The source cannot even open (a device that is not there): its error says why.
        GstBus* bus = gst_element_get_bus(pipeline);
        GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
        failure = message ? gstMessageText(message) : "the source does not open";
        if (message) gst_message_unref(message);
        gst_object_unref(bus);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return modes;
}

}  // namespace

std::variant<std::unique_ptr<GStreamerBackend>, std::string> GStreamerBackend::make(const std::string& description) {
    if (auto error = ensureGStreamer()) return *error;
    std::unique_ptr<GStreamerBackend> backend(new GStreamerBackend);
    backend->sourceDescription_ = description;
    DeviceDescription mic;
    mic.uniqueID = "gst.microphone";
    mic.localizedName = localized("默认麦克风");
    mic.type = DeviceType::BuiltInMicrophone;
    mic.position = DevicePosition::Unspecified;
    backend->microphone_ = std::make_shared<CaptureDevice>(mic);

    if (!description.empty()) {
        auto parsed = parseSource(description);
        if (auto* why = std::get_if<std::string>(&parsed)) return "the source pipeline \"" + description + "\" cannot be used: " + *why;
        GstElement* bin = std::get<GstElement*>(parsed);
        FoundCamera found;
        found.id = "gst.source";
        found.provider = "pipeline";
        describeSourceBin(bin, found);
        std::string failure;
        found.modes = probeModes(bin, failure);
        auto camera = backend->makeCamera(found, [description]() -> GstElement* {
            auto made = parseSource(description);
            return std::holds_alternative<GstElement*>(made) ? std::get<GstElement*>(made) : nullptr;
        });
        camera->openFailure = failure;
        backend->cameras_.push_back(camera);
        return backend;
    }
    backend->discovery_ = std::make_unique<GstDeviceDiscovery>();
    if (auto error = backend->discovery_->start()) return *error;
    backend->refreshCameras();
    backend->discovery_->setChangeHandler([b = backend.get()] { b->refreshCameras(); });
    return backend;
}

GStreamerBackend::~GStreamerBackend() {
    if (discovery_) discovery_->setChangeHandler(nullptr);
    std::map<CaptureSession*, std::shared_ptr<Run>> runs;
    {
        std::lock_guard lock(mutex_);
        runs = std::exchange(runs_, {});
    }
    for (auto& [session, run] : runs) {
        run->stopped = true;
        run->worker->sync([&] { stopCamera(*run); });
    }
    if (discovery_) discovery_->stop();
}

std::size_t GStreamerBackend::cameraCount() const {
    std::lock_guard lock(mutex_);
    return cameras_.size();
}

std::string GStreamerBackend::sourceKind() const {
    if (!sourceDescription_.empty()) return "pipeline";
    return discovery_ ? discovery_->providerName() : "";
}

void GStreamerBackend::setFrameObserver(std::function<void(const FrameTiming&)> observer) {
    std::lock_guard lock(mutex_);
    frameObserver_ = std::move(observer);
}

std::shared_ptr<GStreamerBackend::Camera> GStreamerBackend::makeCamera(const FoundCamera& foundIn,
                                                                      std::function<GstElement*()> makeSource) {
    auto camera = std::make_shared<Camera>();
    camera->found = foundIn;
    camera->makeSource = std::move(makeSource);
    FoundCamera& found = camera->found;
    if (!found.devicePath.empty())
        if (auto table = V4l2DeviceControls::open(found.devicePath))
            camera->controls = std::make_shared<V4l2ControlMap>(table);
    if (!found.facesUser && camera->controls) found.facesUser = camera->controls->facesUser();
    camera->make = found.provider == "pipewire" ? "PipeWire" : found.provider == "v4l2" ? "V4L2" : "GStreamer";
    camera->modes = chooseModes(found.modes);

    DeviceDescription d;
    d.uniqueID = found.id;
    d.position = positionOf(found);
    d.localizedName = localizedCameraName(found, d.position);
    d.type = DeviceType::BuiltInWideAngleCamera;
    if (camera->modes) d.sensor = {camera->modes->still.height, camera->modes->still.width};
    // Zoom is a crop of the picture unless the driver zooms.
    d.minZoom = 1;
    d.maxZoom = 4;
    // Without V4L2 controls the camera runs its own automatic modes and offers no manual ones.
    d.supportsAutoFocus = d.supportsLockedFocus = d.supportsCustomExposure = false;
    d.supportsLockedWhiteBalance = d.supportsPointsOfInterest = false;
    d.minISO = d.maxISO = 100;
    d.minExposureDuration = d.maxExposureDuration = 1.0 / 30;
    d.minBias = d.maxBias = 0;
    if (camera->controls) camera->controls->describe(d);
    d.hasFlash = d.hasTorch;
    d.supportsBayerRaw = camera->modes && camera->modes->raw.has_value();
    d.supportsLivePhoto = true;
    d.lensModel.clear();
    d.focalLength = 0;
    d.fNumber = 0;
    // The DNG's colour matrix: the pictures are taken as sRGB already.
    for (int i = 0; i < 3; ++i) d.channelSensitivity[i] = 1;
    for (int i = 0; i < 9; ++i) d.crosstalk[i] = i % 4 == 0 ? 1 : 0;
    camera->device = std::make_shared<CaptureDevice>(d);
    return camera;
}

void GStreamerBackend::refreshCameras() {
    std::vector<FoundCamera> found = discovery_->cameras();
    std::vector<std::shared_ptr<Camera>> kept, returned;
    {
        std::lock_guard lock(mutex_);
        for (const auto& f : found) {
            auto it = std::find_if(cameras_.begin(), cameras_.end(), [&](auto& c) { return c->found.id == f.id; });
            if (it != cameras_.end()) kept.push_back(*it);
        }
    }
    for (const auto& f : found) {
        bool known = std::any_of(kept.begin(), kept.end(), [&](auto& c) { return c->found.id == f.id; });
        if (known) continue;
        GstDeviceDiscovery* discovery = discovery_.get();
        auto camera = makeCamera(f, [discovery, id = f.id] { return discovery->makeSource(id); });
        std::lock_guard lock(mutex_);
        // A camera plugged back in is the same device to the app, whose input still holds it.
        if (auto it = departed_.find(f.id); it != departed_.end()) {
            camera->device = it->second;
            departed_.erase(it);
            returned.push_back(camera);
        }
        kept.push_back(camera);
    }
    // In the provider's order.
    std::sort(kept.begin(), kept.end(), [&](auto& a, auto& b) {
        auto index = [&](auto& c) {
            return std::find_if(found.begin(), found.end(), [&](auto& f) { return f.id == c->found.id; }) - found.begin();
        };
        return index(a) < index(b);
    });
    std::vector<std::shared_ptr<Run>> runs;
    {
        std::lock_guard lock(mutex_);
        for (auto& c : cameras_)
            if (std::find(kept.begin(), kept.end(), c) == kept.end()) departed_[c->found.id] = c->device;
        cameras_ = std::move(kept);
        for (auto& [session, run] : runs_) runs.push_back(run);
    }
    // A session left without a picture when its camera went takes it up again.
    for (auto& camera : returned)
        for (auto& run : runs)
            if (run->session->videoDevice() == camera->device)
                run->worker->async([this, run, camera] {
                    if (run->stopped || run->pipeline) return;
                    consolePrint("Camera: " + camera->name() + " is connected again");
                    startCamera(run, camera);
                });
}

std::vector<std::shared_ptr<CaptureDevice>> GStreamerBackend::devices() {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<CaptureDevice>> all;
    for (auto& c : cameras_) all.push_back(c->device);
    all.push_back(microphone_);
    return all;
}

std::shared_ptr<GStreamerBackend::Camera> GStreamerBackend::cameraFor(const CaptureDevice* device) const {
    if (!device) return nullptr;
    std::lock_guard lock(mutex_);
    for (auto& c : cameras_)
        if (c->device.get() == device) return c;
    return nullptr;
}

std::shared_ptr<GStreamerBackend::Run> GStreamerBackend::runFor(CaptureSession& session) const {
    std::lock_guard lock(mutex_);
    auto it = runs_.find(&session);
    return it == runs_.end() ? nullptr : it->second;
}

CaptureStatus GStreamerBackend::openDevice(const CaptureDevice& device) {
    if (&device == microphone_.get()) return std::nullopt;
    if (!cameraFor(&device))
        return CaptureError{CaptureErrorCode::DeviceNotAvailable,
                            "Cannot use " + device.localizedName() + ": the camera is no longer connected"};
    return std::nullopt;
}

void GStreamerBackend::sessionStarted(CaptureSession& session) {
    auto run = std::make_shared<Run>();
    run->session = &session;
    run->worker = DispatchQueue::makeSerial("com.sorvel.gst.session");
    {
        std::lock_guard lock(mutex_);
        runs_[&session] = run;
    }
    // Blocks until the first frame (or the failure), as a start blocks while the sensor powers up.
    run->worker->sync([&] {
        auto device = session.videoDevice();
        if (auto camera = cameraFor(device.get())) startCamera(run, camera);
    });
}

void GStreamerBackend::sessionStopped(CaptureSession& session) {
    std::shared_ptr<Run> run;
    {
        std::lock_guard lock(mutex_);
        auto it = runs_.find(&session);
        if (it == runs_.end()) return;
        run = it->second;
        runs_.erase(it);
    }
    run->stopped = true;
    run->worker->sync([&] { stopCamera(*run); });
}

void GStreamerBackend::sessionConfigurationChanged(CaptureSession& session) {
    auto run = runFor(session);
    if (!run) return;
    run->worker->async([this, run] {
        if (run->stopped) return;
        auto camera = cameraFor(run->session->videoDevice().get());
        if (camera == run->camera) return;
        stopCamera(*run);
        run->camera = nullptr;
        if (camera) startCamera(run, camera);
    });
}

void GStreamerBackend::startCamera(const std::shared_ptr<Run>& run, std::shared_ptr<Camera> camera) {
    run->camera = camera;
    if (!camera->openFailure.empty()) {
        consolePrint("Camera: " + camera->name() + " could not start: " + camera->openFailure);
        return;
    }
    if (!camera->modes) {
        std::string offered;
        for (const auto& m : camera->found.modes) offered += (offered.empty() ? "" : ", ") + m.text();
        consolePrint("Camera: " + camera->name() + " offers no picture format this app can use" +
                     (offered.empty() ? std::string(" (only encoded video or nothing it could say)") : " (" + offered + ")"));
        return;
    }
    if (playMode(run, camera->modes->preview, false)) applyControls(run);
}

bool GStreamerBackend::playMode(const std::shared_ptr<Run>& run, const CameraMode& mode, bool quietFailure) {
    if (run->pipeline) run->pipeline->stop();
    run->pipeline.reset();
    const std::shared_ptr<Camera>& camera = run->camera;
    std::uint64_t number = ++run->pipelines;
    run->currentPipeline = number;
    PipelineSpec spec{camera->makeSource, mode, previewFrameSize(camera->modes->preview)};
    std::weak_ptr<Run> weak = run;
    auto built = GstCameraPipeline::build(
        spec,
        [this, weak, number](GstSample* sample, GstClockTime arrival, GstClockTime pts) {
            if (auto r = weak.lock()) previewFrame(r, number, sample, arrival, pts);
        },
        [this, weak, number](const PipelineFailure& failure) {
            if (auto r = weak.lock())
                r->worker->async([this, r, number, failure] { cameraFailed(r, number, failure.message, failure.busy); });
        });
    if (auto* why = std::get_if<std::string>(&built)) {
        if (!quietFailure) consolePrint("Camera: " + camera->name() + " could not start: " + *why);
        return false;
    }
    run->pipeline = std::move(std::get<std::unique_ptr<GstCameraPipeline>>(built));
    if (auto failure = run->pipeline->start(kStartTimeoutSeconds)) {
        run->pipeline->stop();
        run->pipeline.reset();
        if (!quietFailure) {
            if (failure->busy)
                consolePrint("Camera: " + camera->name() + " is in use by another application (" + failure->message + ")");
            else
                consolePrint("Camera: " + camera->name() + " could not start in " + mode.text() + ": " + failure->message);
        }
        return false;
    }
    if (!camera->controls || !camera->controls->hasOpticalZoom()) run->pipeline->setZoom(camera->device->videoZoomFactor());
    return true;
}

void GStreamerBackend::stopCamera(Run& run) {
    if (run.pipeline) run.pipeline->stop();
    run.pipeline.reset();
    run.currentPipeline = 0;
    std::vector<std::shared_ptr<LiveCapture>> live;
    {
        std::lock_guard lock(run.mutex);
        live = std::exchange(run.live, {});
        run.ring.clear();
        run.completions.clear();
        run.controlsQueued = false;
        run.controlsSent = false;
    }
    for (auto& c : live) finishMovieIfDone(c, "The camera stopped while the Live Photo movie was recording");
}

void GStreamerBackend::cameraFailed(const std::shared_ptr<Run>& run, std::uint64_t number, const std::string& message,
                                    bool busy) {
    if (number != run->currentPipeline || !run->pipeline || !run->camera) return;
    std::string name = run->camera->name();
    stopCamera(*run);
    if (busy) consolePrint("Camera: " + name + " is in use by another application (" + message + ")");
    else consolePrint("Camera: " + name + " stopped: " + message + "; choose another camera to go on");
}

void GStreamerBackend::applyControls(const std::shared_ptr<Run>& run) {
    const auto& camera = run->camera;
    if (!camera) return;
    CaptureDevice& device = *camera->device;
    DeviceControlState wanted = device.controlState();
    if (camera->controls) {
        for (const auto& refusal : camera->controls->apply(wanted, device.description()))
            consolePrint("Camera: " + camera->name() + " refused " + refusal);
        // What the driver's automatic modes chose, for the app to read.
        auto duration = wanted.exposureMode == ExposureMode::Custom ? std::nullopt : camera->controls->exposureDuration();
        auto iso = wanted.exposureMode == ExposureMode::Custom ? std::nullopt : camera->controls->iso();
        auto lens = wanted.focusMode == FocusMode::Locked ? std::nullopt : camera->controls->lensPosition();
        if (duration || iso || lens)
            device.updateAutomaticState([&](DeviceControlState& s) {
                if (duration) s.exposureDuration = *duration;
                if (iso) s.iso = *iso;
                if (lens) s.lensPosition = *lens;
            });
    }
    if (run->pipeline && (!camera->controls || !camera->controls->hasOpticalZoom()))
        run->pipeline->setZoom(wanted.zoomFactor);
    std::lock_guard lock(run->mutex);
    run->sentControls = device.controlState();
    run->controlsSent = true;
    run->controlsQueued = false;
    run->framesSinceControls = 0;
}

void GStreamerBackend::previewFrame(const std::shared_ptr<Run>& run, std::uint64_t number, GstSample* sample,
                                    std::uint64_t arrival, std::uint64_t pts) {
    auto entered = std::chrono::steady_clock::now();
    if (run->stopped || number != run->currentPipeline) return;
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstVideoInfo info;
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps)) return;
    GstVideoFrame mapped;
    if (!gst_video_frame_map(&mapped, &info, buffer, GST_MAP_READ)) return;
    auto frame = std::make_shared<PixelBuffer>();
    turnToSensor(static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped, 0)), GST_VIDEO_FRAME_WIDTH(&mapped),
                 GST_VIDEO_FRAME_HEIGHT(&mapped), GST_VIDEO_FRAME_PLANE_STRIDE(&mapped, 0), *frame);
    gst_video_frame_unmap(&mapped);

    CaptureSession& session = *run->session;
    std::shared_ptr<Camera> camera = cameraFor(session.videoDevice().get());
    std::uint64_t frameNumber;
    double time;
    {
        std::lock_guard lock(run->mutex);
        frameNumber = ++run->frameNumber;
        // The frame's time on the app's clock, from the source's own time stamp: the pipeline's
        // first frame ties the pipeline's running time to the app's clock, so the times keep
        // the source's spacing (and lie before now by how long ago the source made the frame).
        bool stamped = GST_CLOCK_TIME_IS_VALID(pts) && GST_CLOCK_TIME_IS_VALID(arrival) && arrival >= pts;
        if (stamped && run->clockPipeline != number) {
            run->clockPipeline = number;
            double sinceArrival = std::chrono::duration<double>(std::chrono::steady_clock::now() - entered).count();
            run->clockOffset = Clock::current().now() - sinceArrival - arrival * 1e-9;
        }
        time = stamped ? pts * 1e-9 + run->clockOffset : Clock::current().now();
        time = std::max(time, run->lastTime + 1e-6);
        run->lastTime = time;
    }
    SampleBuffer delivered{frame, time, frameNumber};

    bool liveEnabled = false;
    for (auto& output : session.outputs()) {
        if (auto* video = dynamic_cast<VideoDataOutput*>(output.get())) video->deliver(delivered);
        if (auto* photo = dynamic_cast<PhotoOutput*>(output.get())) liveEnabled |= photo->isLivePhotoCaptureEnabled();
    }
    for (PreviewSink* preview : session.previews()) preview->present(delivered);
    auto presented = std::chrono::steady_clock::now();

    // Settings the app changed are sent from the worker; their completions wait for the
    // frame after that.
    bool queueControls = false;
    std::vector<DeviceSettingsCompletion> due;
    if (camera) {
        DeviceControlState state = camera->device->controlState();
        auto taken = camera->device->takePendingCompletions();
        std::lock_guard lock(run->mutex);
        for (auto& c : taken) run->completions.push_back(std::move(c));
        bool changed = !run->controlsSent || !sameControls(state, run->sentControls);
        // The driver's automatic values are read back now and then.
        if (!run->controlsQueued && (changed || ++run->framesSinceControls >= 30)) run->controlsQueued = queueControls = true;
        if (!run->controlsQueued && !changed) due = std::exchange(run->completions, {});
    }
    if (queueControls) run->worker->async([this, run] { if (!run->stopped) applyControls(run); });
    for (auto& c : due) c(delivered.presentationTime);

    std::vector<std::shared_ptr<LiveCapture>> moviesDone;
    {
        std::unique_lock lock(run->mutex);
        bool wanted = liveEnabled || !run->live.empty();
        lock.unlock();
        auto yuv = wanted ? downscaleToYuv(*frame, delivered.presentationTime) : nullptr;
        lock.lock();
        if (!yuv) {
            run->ring.clear();
        } else {
            run->ring.push_back(yuv);
            while (run->ring.size() > static_cast<std::size_t>(kLivePhotoHalfFrames)) run->ring.pop_front();
            for (auto it = run->live.begin(); it != run->live.end();) {
                std::lock_guard capture((*it)->mutex);
                (*it)->frames.push_back(yuv);
                if (++(*it)->postFrames >= kLivePhotoHalfFrames) {
                    (*it)->framesDone = true;
                    moviesDone.push_back(*it);
                    it = run->live.erase(it);
                } else {
                    ++it;
                }
            }
        }
    }
    for (auto& c : moviesDone) finishMovieIfDone(c, "");

    std::function<void(const FrameTiming&)> observer;
    {
        std::lock_guard lock(mutex_);
        observer = frameObserver_;
    }
    if (observer) {
        double cpu = threadCpuSeconds();
        FrameTiming t;
        t.pts = pts;
        t.arrival = arrival;
        t.presented = arrival + std::chrono::duration_cast<std::chrono::nanoseconds>(presented - entered).count();
        // The preview branch's thread did nothing but this frame since the last one ended:
        // decoding, converting and scaling it, and this handler.
        t.cpuSeconds = run->lastThreadCpu < 0 ? 0 : cpu - run->lastThreadCpu;
        run->lastThreadCpu = cpu;
        observer(t);
    }
}

void GStreamerBackend::finishMovieIfDone(const std::shared_ptr<LiveCapture>& c, const std::string& movieError) {
    std::vector<std::shared_ptr<const YuvFrame>> frames;
    std::string error;
    {
        std::lock_guard lock(c->mutex);
        if (!movieError.empty() && c->error.empty() && !c->framesDone) c->error = movieError;
        if (!movieError.empty()) c->framesDone = true;
        if (!c->framesDone || !c->stillPosted || c->finished) return;
        c->finished = true;
        frames = std::move(c->frames);
        error = c->error;
    }
    auto output = c->output;
    auto delegate = c->delegate;
    auto url = c->url;
    auto resolved = c->resolved;
    auto movie = c->movie;
    double displayTime = c->preRollFrames / 30.0;
    output->callbackQueue().async([=, frames = std::move(frames)] {
        delegate->didFinishRecordingLivePhotoMovie(*output, url, resolved);
        CaptureStatus status;
        if (!error.empty()) status = CaptureError{CaptureErrorCode::MovieFailed, error};
        else if (frames.empty()) status = CaptureError{CaptureErrorCode::MovieFailed, "The Live Photo movie has no frames"};
        else status = writeLivePhotoMovie(url, frames, movie);
        delegate->didFinishProcessingLivePhotoMovie(*output, url, frames.size() / movie.framesPerSecond, displayTime,
                                                    resolved, status);
        delegate->didFinishCapture(*output, resolved, status);
    });
}

void GStreamerBackend::capturePhoto(CaptureSession& session, PhotoOutput& output, const PhotoSettings& settings,
                                    std::shared_ptr<PhotoCaptureDelegate> delegate) {
    auto out = std::static_pointer_cast<PhotoOutput>(output.shared_from_this());
    auto run = runFor(session);
    if (!run) {
        answerWithError(out, delegate, settings.uniqueID(),
                        {CaptureErrorCode::SessionNotRunning, "The capture session is not running"});
        return;
    }
    run->worker->async([this, run, out, settings, delegate] { takePhoto(run, out, settings, delegate); });
}

void GStreamerBackend::takePhoto(const std::shared_ptr<Run>& run, std::shared_ptr<PhotoOutput> output,
                                 PhotoSettings settings, std::shared_ptr<PhotoCaptureDelegate> delegate) {
    if (run->stopped)
        return answerWithError(output, delegate, settings.uniqueID(),
                               {CaptureErrorCode::SessionNotRunning, "The capture session stopped before the capture"});
    std::shared_ptr<Camera> camera = run->camera;
    if (!camera || !run->pipeline || run->pipeline->failed())
        return answerWithError(output, delegate, settings.uniqueID(),
                               {CaptureErrorCode::CaptureFailed, "The camera is not delivering pictures"});
    bool raw = settings.rawPhotoPixelFormatType().has_value();
    std::optional<CameraMode> mode = raw ? camera->modes->raw : std::optional(camera->modes->still);
    if (!mode)
        return answerWithError(output, delegate, settings.uniqueID(),
                               {CaptureErrorCode::UnsupportedSettings, "The camera sends no Bayer frames"});

    CaptureDevice& device = *camera->device;
    DeviceControlState state = device.controlState();
    CaptureConnection* connection = output->connection(MediaType::Video);
    StillFacts facts;
    facts.camera = device.description();
    facts.make = camera->make;
    facts.orientation = connection ? exifOrientationFor(connection->videoOrientation(), connection->isVideoMirrored()) : 1;
    facts.zoom = state.zoomFactor;
    facts.flashMode = settings.flashMode;
    // Without a light meter an automatic flash cannot tell the scene is dark: only "on" fires.
    facts.flashFired = device.hasTorch() && settings.flashMode == FlashMode::On;
    facts.autoWhiteBalance = state.whiteBalanceMode != WhiteBalanceMode::Locked;
    facts.gains = state.whiteBalanceMode == WhiteBalanceMode::Locked ? state.gains : neutralGains(facts.camera, daylightTemperature());
    facts.settingsMetadata = settings.metadata;
    if (state.exposureMode == ExposureMode::Custom) {
        facts.exposureDuration = state.exposureDuration;
        facts.iso = state.iso;
    } else if (camera->controls) {
        facts.exposureDuration = camera->controls->exposureDuration();
        facts.iso = camera->controls->iso();
    }
    if (facts.camera.maxBias > facts.camera.minBias) facts.exposureBias = state.targetBias;

    ResolvedPhotoSettings& r = facts.resolved;
    r.uniqueID = settings.uniqueID();
    Dimensions sensor{mode->height, mode->width};
    if (raw) r.rawPhotoDimensions = sensor;
    else r.photoDimensions = sensor;
    bool live = settings.livePhotoMovieFileURL.has_value();
    Dimensions preview = previewFrameSize(camera->modes->preview);
    if (live) r.livePhotoMovieDimensions = {(preview.height / 2) & ~1, (preview.width / 2) & ~1};
    r.isFlashEnabled = facts.flashFired;
    r.isStillImageStabilizationEnabled = false;
    output->callbackQueue().async([output, delegate, r] { delegate->willBeginCapture(*output, r); });

    std::shared_ptr<LiveCapture> movie;
    if (live) {
        movie = std::make_shared<LiveCapture>();
        movie->output = output;
        movie->delegate = delegate;
        movie->url = *settings.livePhotoMovieFileURL;
        movie->resolved = r;
        facts.contentIdentifier = makeUuid();
        movie->movie = MovieDescription{30, facts.contentIdentifier, movieRotationFor(facts.orientation)};
        std::lock_guard lock(run->mutex);
        movie->frames.assign(run->ring.begin(), run->ring.end());
        movie->preRollFrames = static_cast<int>(movie->frames.size());
        run->live.push_back(movie);
    }

    // The flash is the torch, lit while the frame is taken.
    auto torch = [&](bool on) {
        if (!facts.flashFired || !camera->controls) return;
        DeviceControlState lit = device.controlState();
        lit.torchMode = on ? TorchMode::On : TorchMode::Off;
        camera->controls->apply(lit, device.description());
    };
    torch(true);
    int settle = facts.flashFired ? 3 : 0;
    auto branch = raw ? GstCameraPipeline::Branch::Raw : GstCameraPipeline::Branch::Still;
    std::variant<SampleRef, std::string> grabbed = std::string("the camera stopped");
    if (run->pipeline->mode() == *mode) {
        grabbed = run->pipeline->grab(branch, settle, 4);
    } else {
        // The preview runs in a smaller mode: switch the source to the full one for this frame
        // (the preview goes on from it, scaled), then back.
        CameraMode previous = run->pipeline->mode();
        if (playMode(run, *mode, true)) grabbed = run->pipeline->grab(branch, std::max(settle, 2), 5);
        else grabbed = std::string("the camera cannot switch to ") + mode->text();
        if (!playMode(run, previous, false)) stopCamera(*run);
    }
    torch(false);
    facts.timestamp = Clock::current().now();

    SharedSample sample;
    std::string why;
    if (auto* s = std::get_if<SampleRef>(&grabbed)) sample = SharedSample(s->release(), gst_sample_unref);
    else why = std::get<std::string>(grabbed);
    output->callbackQueue().async([output, delegate, sample, why, facts, raw, live] {
        CapturedPhoto photo;
        photo.resolvedSettings = facts.resolved;
        photo.isRawPhoto = raw;
        CaptureStatus error;
        if (!sample) {
            error = CaptureError{CaptureErrorCode::CaptureFailed, "The camera could not take the photo: " + why};
        } else {
            auto made = photoFromSample(sample.get(), raw, facts);
            if (auto* e = std::get_if<CaptureError>(&made)) error = *e;
            else photo = std::move(std::get<CapturedPhoto>(made));
        }
        delegate->didFinishProcessingPhoto(*output, photo, error);
        if (!live) delegate->didFinishCapture(*output, facts.resolved, error);
    });
    if (movie) {
        {
            std::lock_guard lock(movie->mutex);
            movie->stillPosted = true;
        }
        finishMovieIfDone(movie, run->pipeline ? "" : "The camera stopped while the Live Photo movie was recording");
    }
}

}  // namespace sorvel
