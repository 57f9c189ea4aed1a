#pragma once
// What the preview layer draws: the session's latest frame turned to the preview connection's
// orientation, fitted into the view's bounds (aspect fit).
// Threads: frames arrive on the backend's frame thread; everything else is called on the
// main thread.

#include <functional>
#include <memory>
#include <mutex>

#include "platform/capture/CaptureConnection.h"
#include "platform/capture/SampleBuffer.h"

namespace sorvel {

class CaptureSession;

class PreviewSink {
public:
    PreviewSink() {
        connection_.setVideoOrientation(VideoOrientation::Portrait);
        connection_.setAutomaticallyAdjustsVideoMirroring(true);
    }
    ~PreviewSink();
    PreviewSink(const PreviewSink&) = delete;
    PreviewSink& operator=(const PreviewSink&) = delete;

    // The session is borrowed and must outlive the sink or be cleared first (nullptr).
    void setSession(CaptureSession* session);
    CaptureConnection& connection() { return connection_; }

    // View size in points; the frame is fitted inside it.
    void setBounds(double width, double height);

    // The newest frame turned upright for the connection, or nullptr before the first one.
    std::shared_ptr<const PixelBuffer> currentFrame() const;
    // Called with each new frame on the frame thread; the UI hops to the main queue itself.
    void setFrameHandler(std::function<void()> handler);

    // Sensor point (0..1, top left of the sensor picture) shown at a view point; points in the
    // letterbox bars clamp to the picture's edge.
    CapturePoint captureDevicePointOfInterestForPoint(double viewX, double viewY) const;

    // Backend side, frame thread.
    void present(const SampleBuffer& sensorFrame);

private:
    int displayOrientation() const;  // with mutex_ held
    mutable std::mutex mutex_;
    CaptureSession* session_ = nullptr;
    CaptureConnection connection_;
    double boundsWidth_ = 0, boundsHeight_ = 0;
    std::shared_ptr<const PixelBuffer> latest_;
    mutable std::shared_ptr<const PixelBuffer> turned_;
    mutable int turnedOrientation_ = 0;
    std::function<void()> handler_;
};

}  // namespace sorvel
