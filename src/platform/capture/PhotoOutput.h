#pragma once
// Stills, RAW photos and Live Photos. Configure on the main thread; capturePhoto from the
// main thread. Every callback of a capture arrives on this output's callback queue.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/capture/CaptureOutput.h"
#include "platform/capture/PhotoCaptureDelegate.h"
#include "platform/capture/PhotoSettings.h"
#include "platform/foundation/Dispatch.h"

namespace sorvel {

class PhotoOutput : public CaptureOutput {
public:
    PhotoOutput();

    bool isHighResolutionCaptureEnabled() const { return highResolution_; }
    void setHighResolutionCaptureEnabled(bool enabled) { highResolution_ = enabled; }

    // True when the session's camera can record Live Photo movies.
    bool isLivePhotoCaptureSupported() const;
    bool isLivePhotoCaptureEnabled() const { return livePhotoEnabled_; }
    // Ignored (stays false) while Live Photo is not supported.
    void setLivePhotoCaptureEnabled(bool enabled);

    std::vector<std::uint32_t> availableRawPhotoPixelFormatTypes() const;
    static bool isBayerRawPixelFormat(std::uint32_t format);

    // Starts one capture; `delegate` is kept until its last callback. A request the output
    // cannot carry out is answered with errors on the callback queue, never refused silently.
    void capturePhoto(const PhotoSettings& settings, std::shared_ptr<PhotoCaptureDelegate> delegate);

    DispatchQueue& callbackQueue() { return *callbackQueue_; }

private:
    void refuse(const PhotoSettings& settings, std::shared_ptr<PhotoCaptureDelegate> delegate, CaptureError error);
    std::atomic<bool> highResolution_{false};
    std::atomic<bool> livePhotoEnabled_{false};
    std::shared_ptr<DispatchQueue> callbackQueue_;
};

}  // namespace sorvel
