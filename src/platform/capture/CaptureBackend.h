#pragma once
// The source of devices and frames behind the capture framework: the virtual rig
// (capture/virtual/) or real cameras through GStreamer (capture/gstreamer/).

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/capture/CaptureTypes.h"
#include "platform/capture/CapturedPhoto.h"

namespace sorvel {

class CaptureDevice;
class CaptureSession;
class PhotoOutput;
class PhotoSettings;
class PhotoCaptureDelegate;

// A capture an earlier process pressed but never received, finished from the deferred photo
// store (DeferredPhotoStore.h): the photo as the delegate would have had it and, for a Live
// Photo, the movie written where its settings asked.
struct DeferredCaptureResult {
    CapturedPhoto photo;
    CaptureStatus photoError;
    bool livePhoto = false;
    std::filesystem::path movieFile;
    double movieDuration = 0, photoDisplayTime = 0;
    CaptureStatus movieError;
};

class CaptureBackend {
public:
    virtual ~CaptureBackend() = default;

    // Every device, in the order discovery lists them. Any thread.
    virtual std::vector<std::shared_ptr<CaptureDevice>> devices() = 0;
    // Empty when a device input may be made for `device`. Any thread.
    virtual CaptureStatus openDevice(const CaptureDevice& device) = 0;

    // Begins or ends frame delivery for a session; called by the session with its
    // configuration committed. start blocks until the first frame can flow.
    virtual void sessionStarted(CaptureSession& session) = 0;
    virtual void sessionStopped(CaptureSession& session) = 0;
    // After each outermost commitConfiguration (a camera switch, for one), on the committing
    // thread and without the session's lock. A backend whose streams follow the session's
    // inputs hears of the change here; one that reads them each frame needs nothing.
    virtual void sessionConfigurationChanged(CaptureSession& session) { (void)session; }

    // Takes one capture request of `output`; the backend answers through the output's
    // callback queue.
    virtual void capturePhoto(CaptureSession& session, PhotoOutput& output, const PhotoSettings& settings,
                              std::shared_ptr<PhotoCaptureDelegate> delegate) = 0;

    // Deferred photos. A backend that keeps them writes a record for every capture whose
    // settings carry a capture identifier, from the press until the delegate has received the
    // photo (and the movie). finishDeferredCapture makes, from such a record left by a killed
    // process, what the delegate would have received; it blocks, needs no running session and
    // leaves the record in place until discardDeferredCapture. Nothing when this backend keeps
    // no record of that name. Any thread but the main one.
    virtual std::optional<DeferredCaptureResult> finishDeferredCapture(const std::string& identifier) {
        (void)identifier;
        return std::nullopt;
    }
    virtual void discardDeferredCapture(const std::string& identifier) { (void)identifier; }

    // The backend in use: the virtual rig unless another was installed. Any thread.
    static CaptureBackend& current();
    // nullptr restores the virtual rig. The caller keeps `backend` alive while installed.
    static void install(CaptureBackend* backend);
};

}  // namespace sorvel
