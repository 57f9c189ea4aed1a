#pragma once
// The link between a session's video input and one output. Its orientation and mirroring
// decide how the output's pictures are tagged (photos) or turned (preview).
// Threads: set on the main thread, read by the backend on its frame thread.

#include <atomic>

#include "platform/capture/CaptureTypes.h"

namespace sorvel {

class CaptureConnection {
public:
    bool isVideoOrientationSupported() const { return true; }
    VideoOrientation videoOrientation() const { return orientation_.load(); }
    void setVideoOrientation(VideoOrientation orientation) { orientation_ = orientation; }

    bool isVideoMirroringSupported() const { return true; }
    bool isVideoMirrored() const { return mirrored_.load(); }
    void setVideoMirrored(bool mirrored) { mirrored_ = mirrored; }

    // When true the connection mirrors by itself for front cameras and ignores
    // setVideoMirrored (preview connections start so, output connections do not).
    bool automaticallyAdjustsVideoMirroring() const { return automatic_.load(); }
    void setAutomaticallyAdjustsVideoMirroring(bool automatic) { automatic_ = automatic; }

private:
    std::atomic<VideoOrientation> orientation_{VideoOrientation::LandscapeRight};
    std::atomic<bool> mirrored_{false};
    std::atomic<bool> automatic_{false};
};

}  // namespace sorvel
