#include "platform/capture/PreviewSink.h"

#include <algorithm>

#include "platform/capture/CaptureSession.h"
#include "platform/capture/FrameOrientation.h"

namespace sorvel {

PreviewSink::~PreviewSink() { setSession(nullptr); }

void PreviewSink::setSession(CaptureSession* session) {
    CaptureSession* old;
    {
        std::lock_guard lock(mutex_);
        old = session_;
        session_ = session;
    }
    if (old) old->detachPreview(this);
    if (session) session->attachPreview(this);
}

void PreviewSink::setBounds(double width, double height) {
    std::lock_guard lock(mutex_);
    boundsWidth_ = width;
    boundsHeight_ = height;
}

int PreviewSink::displayOrientation() const {
    bool mirrored = connection_.isVideoMirrored();
    if (connection_.automaticallyAdjustsVideoMirroring()) {
        // A selfie preview is shown as a mirror, as people expect to see themselves.
        auto device = session_ ? session_->videoDevice() : nullptr;
        mirrored = device && device->position() == DevicePosition::Front;
    }
    return exifOrientationFor(connection_.videoOrientation(), mirrored);
}

std::shared_ptr<const PixelBuffer> PreviewSink::currentFrame() const {
    std::lock_guard lock(mutex_);
    if (!latest_) return nullptr;
    int o = displayOrientation();
    if (!turned_ || turnedOrientation_ != o) {
        turned_ = std::make_shared<const PixelBuffer>(orientFrame(*latest_, o));
        turnedOrientation_ = o;
    }
    return turned_;
}

void PreviewSink::setFrameHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

CapturePoint PreviewSink::captureDevicePointOfInterestForPoint(double viewX, double viewY) const {
    std::lock_guard lock(mutex_);
    int o = displayOrientation();
    // The sensor picture's own shape (4:3 until the first frame); turned, its sides swap.
    double sensorW = latest_ ? latest_->width : 4.0, sensorH = latest_ ? latest_->height : 3.0;
    double pictureW = swapsAxes(o) ? sensorH : sensorW, pictureH = swapsAxes(o) ? sensorW : sensorH;
    if (boundsWidth_ <= 0 || boundsHeight_ <= 0) return {0.5, 0.5};
    double scale = std::min(boundsWidth_ / pictureW, boundsHeight_ / pictureH);
    double shownW = pictureW * scale, shownH = pictureH * scale;
    double u = std::clamp((viewX - (boundsWidth_ - shownW) / 2) / shownW, 0.0, 1.0);
    double v = std::clamp((viewY - (boundsHeight_ - shownH) / 2) / shownH, 0.0, 1.0);
    return displayToSensor(o, u, v);
}

void PreviewSink::present(const SampleBuffer& sensorFrame) {
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        latest_ = sensorFrame.imageBuffer;
        turned_.reset();
        handler = handler_;
    }
    if (handler) handler();
}

}  // namespace sorvel
