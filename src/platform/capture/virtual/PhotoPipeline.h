#pragma once
// Turns one exposure into the photo a capture delegate receives: a processed HEIC with its
// Exif, or a DNG. Runs on the photo output's callback queue.

#include <memory>
#include <string>
#include <variant>

#include "platform/capture/CapturedPhoto.h"
#include "platform/capture/virtual/SensorModel.h"

namespace sorvel {

struct StillJob {
    DeviceDescription camera;
    std::string make, model;
    std::shared_ptr<const SceneRaster> raster;
    ExposureSettings exposure;
    float exposureBias = 0;
    FlashMode flashMode = FlashMode::Off;
    bool flashFired = false;
    bool autoWhiteBalance = true;
    int orientation = 6;  // Exif orientation from the video connection
    bool raw = false;
    double timestamp = 0;
    Dictionary settingsMetadata;
    std::string contentIdentifier;  // Live Photo pairing, empty otherwise
    ResolvedPhotoSettings resolved;
};

// "yyyy:MM:dd HH:mm:ss" in local time, as Exif dates are written.
std::string exifDate(double seconds);
// "+08:00": the offset from UTC of the local time those dates are written in.
std::string exifOffset(double seconds);
// The Exif flash value: bit 0 fired, bits 3-4 the mode (1 on, 2 off, 3 auto).
int exifFlash(FlashMode mode, bool fired);

// The image properties of the photo ("{Exif}", "{TIFF}", "{GPS}", "Orientation", sizes).
Dictionary photoMetadata(const StillJob& job, Dimensions size);

std::variant<CapturedPhoto, CaptureError> takeStill(const StillJob& job);

// The HEIC encoding of a processed photo (through the image framework).
std::optional<Bytes> encodeProcessedPhoto(const RgbImage& image, const Dictionary& properties);

}  // namespace sorvel
