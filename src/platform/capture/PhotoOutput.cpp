#include "platform/capture/PhotoOutput.h"

#include "platform/capture/CaptureBackend.h"
#include "platform/capture/CaptureSession.h"

namespace sorvel {

PhotoOutput::PhotoOutput() : callbackQueue_(DispatchQueue::makeSerial("com.sorvel.capture.photo-callbacks")) {}

bool PhotoOutput::isLivePhotoCaptureSupported() const {
    CaptureSession* s = session();
    if (!s) return false;
    auto device = s->videoDevice();
    return device && device->description().supportsLivePhoto && !device->hasFault(CaptureFault::LivePhotoUnsupported);
}

void PhotoOutput::setLivePhotoCaptureEnabled(bool enabled) { livePhotoEnabled_ = enabled && isLivePhotoCaptureSupported(); }

std::vector<std::uint32_t> PhotoOutput::availableRawPhotoPixelFormatTypes() const {
    CaptureSession* s = session();
    if (!s) return {};
    auto device = s->videoDevice();
    if (!device) return {};
    // The linear format is listed first so that callers must really test for Bayer.
    std::vector<std::uint32_t> formats{kPixelFormatLinearRaw16};
    if (device->description().supportsBayerRaw && !device->hasFault(CaptureFault::NoBayerRaw))
        formats.push_back(kPixelFormatBayerRGGB12);
    return formats;
}

bool PhotoOutput::isBayerRawPixelFormat(std::uint32_t format) { return format == kPixelFormatBayerRGGB12; }

void PhotoOutput::refuse(const PhotoSettings& settings, std::shared_ptr<PhotoCaptureDelegate> delegate,
                         CaptureError error) {
    ResolvedPhotoSettings resolved;
    resolved.uniqueID = settings.uniqueID();
    auto self = std::static_pointer_cast<PhotoOutput>(shared_from_this());
    callbackQueue_->async([self, delegate, resolved, error] {
        CapturedPhoto photo;
        photo.resolvedSettings = resolved;
        photo.isRawPhoto = false;
        delegate->didFinishProcessingPhoto(*self, photo, error);
        delegate->didFinishCapture(*self, resolved, error);
    });
}

void PhotoOutput::capturePhoto(const PhotoSettings& settings, std::shared_ptr<PhotoCaptureDelegate> delegate) {
    if (!delegate) return;
    CaptureSession* s = session();
    if (!s || !s->isRunning() || !s->videoDevice())
        return refuse(settings, delegate,
                      {CaptureErrorCode::SessionNotRunning, "The capture session is not running"});
    if (auto raw = settings.rawPhotoPixelFormatType()) {
        auto formats = availableRawPhotoPixelFormatTypes();
        if (std::find(formats.begin(), formats.end(), *raw) == formats.end() || !isBayerRawPixelFormat(*raw))
            return refuse(settings, delegate,
                          {CaptureErrorCode::UnsupportedSettings, "The RAW pixel format is not available"});
    }
    if (settings.livePhotoMovieFileURL && !isLivePhotoCaptureEnabled())
        return refuse(settings, delegate,
                      {CaptureErrorCode::UnsupportedSettings, "Live Photo capture is not enabled on this output"});
    CaptureBackend::current().capturePhoto(*s, *this, settings, std::move(delegate));
}

}  // namespace sorvel
