#pragma once
// The virtual camera rig: the capture backend on every machine we have and the camera of
// every app test. It builds its devices from a rig profile, renders the scene through the
// sensor model and delivers preview frames, photos (HEIC or DNG) and Live Photo movies.
//
// Modes: in real time a frame is made every 1/30 s (on the Clock) on the rig's frame queue;
// in step mode nothing moves until a test calls step(), which makes one frame for every
// running session on the calling thread and moves captures on by one frame. Captures begin
// on the first frame after the press; a Live Photo movie ends 45 frames (1.5 s) after it.
//
// Deferred photos: a capture whose settings carry a capture identifier is kept in the deferred
// photo store from the press (a recipe of the exposure and of the movie frames so far) until the
// delegate has its photo and movie; finishDeferredCapture renders it again from that recipe.

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "platform/capture/CaptureBackend.h"
#include "platform/capture/PhotoOutput.h"
#include "platform/capture/virtual/LivePhotoMovieWriter.h"
#include "platform/capture/virtual/PhotoPipeline.h"
#include "platform/capture/virtual/RigProfile.h"
#include "platform/capture/virtual/Scene.h"

namespace sorvel {

enum class RigMode { RealTime, Step };

class VirtualRig final : public CaptureBackend {
public:
    static constexpr double kFramesPerSecond = 30;
    static constexpr int kLivePhotoHalfFrames = 45;  // 1.5 s each side of the press

    static VirtualRig& shared();

    // Replaces the devices with the profile's (fresh state, the profile's faults). Call
    // while no session runs. Any thread.
    void configure(RigProfile profile);
    RigProfile profile() const;
    // The command line's --rig and --scene: empty on success, else the message to show.
    std::optional<std::string> applyOptions(const std::string& rigFile, const std::string& sceneFile);
    std::optional<std::string> loadScenePicture(const std::string& path);
    // The scene of a picture file, or the message why it cannot be one.
    static std::variant<std::shared_ptr<const Scene>, std::string> scenePicture(const std::string& path);

    void setScene(std::shared_ptr<const Scene> scene);
    std::shared_ptr<const Scene> scene() const;

    void setMode(RigMode mode);
    RigMode mode() const;
    // Built-in profile and scene, no faults, this mode. For tests, with no session running.
    void reset(RigMode mode);

    // Step mode: makes `frames` frames, each on the virtual frame clock. Test thread.
    void step(int frames = 1);
    std::uint64_t frameCount() const;

    // Faults: persistent per device, or for the next capture only. Any thread.
    void injectFault(const std::string& deviceID, CaptureFault fault);
    void clearFaults();
    void injectNextCaptureFault(CaptureFault fault);
    // Rig-wide faults (no microphone).
    void setRigFault(CaptureFault fault, bool present);

    std::shared_ptr<CaptureDevice> device(const std::string& uniqueID) const;

    // CaptureBackend.
    std::vector<std::shared_ptr<CaptureDevice>> devices() override;
    CaptureStatus openDevice(const CaptureDevice& device) override;
    void sessionStarted(CaptureSession& session) override;
    void sessionStopped(CaptureSession& session) override;
    void capturePhoto(CaptureSession& session, PhotoOutput& output, const PhotoSettings& settings,
                      std::shared_ptr<PhotoCaptureDelegate> delegate) override;
    std::optional<DeferredCaptureResult> finishDeferredCapture(const std::string& identifier) override;
    void discardDeferredCapture(const std::string& identifier) override;

private:
    struct PendingCapture;
    struct SessionState;
    VirtualRig();
    void tick();
    void scheduleRealTimeTick(std::uint64_t loop);
    void serviceSession(CaptureSession& session, SessionState& state, double now);
    void beginCapture(PendingCapture& capture, CaptureDevice& device, double now, int indexInFrame);
    void finishMovie(PendingCapture& capture, CaptureStatus error);
    StillJob jobFor(const PendingCapture& capture, CaptureDevice& device, double now, int indexInFrame);
    void keepDeferred(const PendingCapture& capture, const StillJob& job, bool begun);
    std::string sceneName() const;

    mutable std::mutex mutex_;
    std::mutex tickMutex_;  // one frame at a time, whichever mode
    RigProfile profile_;
    std::vector<std::shared_ptr<CaptureDevice>> cameras_;
    std::shared_ptr<CaptureDevice> microphone_;
    std::set<CaptureFault> rigFaults_;
    std::vector<CaptureFault> nextCaptureFaults_;
    std::shared_ptr<const Scene> scene_;
    std::string sceneName_ = "builtin";  // what a deferred record names as its scene
    RigMode mode_ = RigMode::RealTime;
    std::map<CaptureSession*, std::unique_ptr<SessionState>> sessions_;
    std::uint64_t frame_ = 0;
    std::uint64_t realTimeLoop_ = 0;
    bool realTimeRunning_ = false;
    std::shared_ptr<DispatchQueue> frameQueue_;
};

}  // namespace sorvel
