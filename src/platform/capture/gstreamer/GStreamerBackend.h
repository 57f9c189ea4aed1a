#pragma once
// Real cameras behind the capture framework, through GStreamer: the devices PipeWire or V4L2
// offer (GstDeviceDiscovery), or one source given as a pipeline description ("videotestsrc
// pattern=ball is-live=true", "v4l2src device=/dev/video2", "libcamerasrc").
//
// Each running session streams its camera in one GstCameraPipeline: preview frames go to the
// session's preview sinks and video data outputs in sensor orientation (SensorFrames.h);
// photos are taken from the still branch at the camera's largest mode (the source is
// renegotiated to it and back when the preview runs in another), as HEIC, or as DNG from the
// RAW branch of a Bayer mode; Live Photo movies are made from the preview frames 1.5 s either
// side of the press. Device settings go to the camera's V4L2 controls (V4l2ControlMap); zoom
// is a centre crop where the driver has none.
//
// Failures (a camera unplugged, a format the app cannot use, a pipeline that cannot start, a
// device busy elsewhere) print one console line starting "Camera: ", stop that camera's
// pipeline and answer its pending captures with errors. The session keeps its configuration:
// switching to another camera starts that one.
//
// Threads: each session has a serial worker queue that starts, stops and renegotiates its
// pipeline, takes its photos and sends its control changes; frames are handled on
// GStreamer's streaming thread; delegate callbacks go to each photo output's callback queue.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "platform/capture/CaptureBackend.h"
#include "platform/capture/CaptureDevice.h"
#include "platform/capture/gstreamer/CameraCatalogue.h"
#include "platform/capture/gstreamer/GstDeviceDiscovery.h"

namespace sorvel {

class GStreamerBackend final : public CaptureBackend {
public:
    static constexpr double kStartTimeoutSeconds = 8;
    static constexpr int kLivePhotoHalfFrames = 45;  // 1.5 s each side of the press at 30 fps

    // Cameras from the device providers, or the one source of `sourceDescription` when it is
    // not empty. The message when GStreamer cannot start or the description does not parse.
    static std::variant<std::unique_ptr<GStreamerBackend>, std::string> make(const std::string& sourceDescription);
    ~GStreamerBackend() override;

    std::size_t cameraCount() const;
    // "pipewire", "v4l2" or "pipeline".
    std::string sourceKind() const;

    // For the benchmark: each preview frame's times on the pipeline clock (nanoseconds): made
    // by the source, reached the backend, shown by the preview sinks; and the streaming
    // thread's CPU time spent on it in the backend (seconds).
    struct FrameTiming {
        std::uint64_t pts = 0, arrival = 0, presented = 0;
        double cpuSeconds = 0;
    };
    void setFrameObserver(std::function<void(const FrameTiming&)> observer);

    // CaptureBackend.
    std::vector<std::shared_ptr<CaptureDevice>> devices() override;
    CaptureStatus openDevice(const CaptureDevice& device) override;
    void sessionStarted(CaptureSession& session) override;
    void sessionStopped(CaptureSession& session) override;
    void sessionConfigurationChanged(CaptureSession& session) override;
    void capturePhoto(CaptureSession& session, PhotoOutput& output, const PhotoSettings& settings,
                      std::shared_ptr<PhotoCaptureDelegate> delegate) override;

    struct Camera;
    struct Run;
    struct LiveCapture;

private:
    GStreamerBackend() = default;
    void refreshCameras();
    std::shared_ptr<Camera> makeCamera(const FoundCamera& found, std::function<GstElement*()> makeSource);
    std::shared_ptr<Camera> cameraFor(const CaptureDevice* device) const;
    std::shared_ptr<Run> runFor(CaptureSession& session) const;

    // On the run's worker.
    void startCamera(const std::shared_ptr<Run>& run, std::shared_ptr<Camera> camera);
    void stopCamera(Run& run);
    bool playMode(const std::shared_ptr<Run>& run, const CameraMode& mode, bool quietFailure);
    void takePhoto(const std::shared_ptr<Run>& run, std::shared_ptr<PhotoOutput> output, PhotoSettings settings,
                   std::shared_ptr<PhotoCaptureDelegate> delegate);
    void applyControls(const std::shared_ptr<Run>& run);
    void cameraFailed(const std::shared_ptr<Run>& run, std::uint64_t pipelineNumber, const std::string& message,
                      bool busy);

    // On the streaming thread.
    void previewFrame(const std::shared_ptr<Run>& run, std::uint64_t pipelineNumber, GstSample* sample,
                      std::uint64_t arrival, std::uint64_t pts);
    void finishMovieIfDone(const std::shared_ptr<LiveCapture>& capture, const std::string& movieError);

    mutable std::mutex mutex_;
    std::string sourceDescription_;
    std::unique_ptr<GstDeviceDiscovery> discovery_;
    std::vector<std::shared_ptr<Camera>> cameras_;
    // Devices of cameras unplugged meanwhile, by ID, given back to them when they return.
    std::map<std::string, std::shared_ptr<CaptureDevice>> departed_;
    std::shared_ptr<CaptureDevice> microphone_;
    std::map<CaptureSession*, std::shared_ptr<Run>> runs_;
    std::function<void(const FrameTiming&)> frameObserver_;
};

}  // namespace sorvel
