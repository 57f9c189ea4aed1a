#include "platform/capture/virtual/PhotoPipeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/capture/virtual/DngWriter.h"
#include "platform/capture/virtual/LivePhotoMovieWriter.h"
#include "platform/foundation/Dates.h"
#include "platform/image/ImageDestination.h"

namespace sorvel {

std::string exifDate(double seconds) {
    CalendarTime t = localCalendarTime(Date{seconds});
    char text[32];
    std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

// "+08:00": the offset from UTC of the local time the capture's dates are written in.
std::string exifOffset(double seconds) {
    long offset = localCalendarTime(Date{seconds}).utcOffsetSeconds;
    char text[16];
    // Real offsets lie within a day; the clamp keeps the text within its buffer whatever comes.
    long magnitude = std::min(offset < 0 ? -offset : offset, 24L * 3600 - 1);
    std::snprintf(text, sizeof text, "%c%02ld:%02ld", offset < 0 ? '-' : '+', magnitude / 3600, (magnitude % 3600) / 60);
    return text;
}

// Exif flash values: bit 0 fired, bits 3-4 the mode (1 on, 2 off, 3 auto).
int exifFlash(FlashMode mode, bool fired) {
    int modeBits = mode == FlashMode::On ? 1 : mode == FlashMode::Auto ? 3 : 2;
    return (fired ? 1 : 0) | (modeBits << 3);
}

Dictionary photoMetadata(const StillJob& job, Dimensions size) {
    Dictionary exif{
        {"ExposureTime", Value(job.exposure.duration)},
        {"ISOSpeedRatings", Value(Array{Value(static_cast<long long>(std::lround(job.exposure.iso)))})},
        {"FNumber", Value(job.camera.fNumber)},
        {"FocalLength", Value(job.camera.focalLength)},
        {"LensModel", Value(job.camera.lensModel)},
        {"LensMake", Value(job.make)},
        {"DateTimeOriginal", Value(exifDate(job.timestamp))},
        {"DateTimeDigitized", Value(exifDate(job.timestamp))},
        {"OffsetTime", Value(exifOffset(job.timestamp))},
        {"OffsetTimeOriginal", Value(exifOffset(job.timestamp))},
        {"OffsetTimeDigitized", Value(exifOffset(job.timestamp))},
        {"ExposureBiasValue", Value(static_cast<double>(job.exposureBias))},
        {"Flash", Value(exifFlash(job.flashMode, job.flashFired))},
        {"WhiteBalance", Value(job.autoWhiteBalance ? 0 : 1)},
        {"PixelXDimension", Value(size.width)},
        {"PixelYDimension", Value(size.height)},
        {"DigitalZoomRatio", Value(job.exposure.zoom)},
    };
    Dictionary tiff{
        {"Make", Value(job.make)},
        {"Model", Value(job.model)},
        {"Orientation", Value(job.orientation)},
        {"Software", Value("Sorvel virtual rig")},
        {"DateTime", Value(exifDate(job.timestamp))},
    };
    Dictionary out = job.settingsMetadata;  // "{GPS}" and whatever else the app asked for
    out["{Exif}"] = Value(std::move(exif));
    out["{TIFF}"] = Value(std::move(tiff));
    out["Orientation"] = Value(job.orientation);
    out["PixelWidth"] = Value(size.width);
    out["PixelHeight"] = Value(size.height);
    if (!job.contentIdentifier.empty()) out[kLivePhotoContentIdentifierKey] = Value(job.contentIdentifier);
    return out;
}

std::optional<Bytes> encodeProcessedPhoto(const RgbImage& image, const Dictionary& properties) {
    auto bitmap = image::Bitmap::make(image.width, image.height, image::PixelFormat::RGBA8, image::ColorSpace::SRGB);
    if (!bitmap || bitmap->byteCount() != image.rgba.size()) return std::nullopt;
    std::memcpy(bitmap->mutableData(), image.rgba.data(), image.rgba.size());
    Bytes out;
    auto destination = image::ImageDestination::make(out, image::kTypeHEIC);
    if (!destination) return std::nullopt;
    Dictionary options;
    for (const char* key : {"{Exif}", "{GPS}", "{TIFF}"})
        if (auto it = properties.find(key); it != properties.end()) options[key] = it->second;
    options[image::kLossyCompressionQuality] = Value(0.85);
    // As a phone's hardware encoder: fast rather than small.
    options[image::kHEICEncoderSpeed] = Value("fast");
    // And in 512 x 512 tiles, as phones write their HEICs: readers decode the tiles in parallel.
    options[image::kHEICTileSize] = Value(512);
    // The pixels stay in the sensor's orientation; the file says how to show them upright, in
    // the HEIF transform properties that viewers apply as well as in the Exif tag.
    if (auto it = properties.find("Orientation"); it != properties.end()) options[image::kOrientation] = it->second;
    destination->addImage(*bitmap, options);
    if (!destination->finalize()) return std::nullopt;
    return out;
}

std::variant<CapturedPhoto, CaptureError> takeStill(const StillJob& job) {
    CapturedPhoto photo;
    photo.isRawPhoto = job.raw;
    photo.timestamp = job.timestamp;
    photo.resolvedSettings = job.resolved;
    if (job.raw) {
        BayerImage bayer = SensorModel::renderBayer(*job.raster, job.camera, job.exposure);
        DngDescription d;
        d.make = job.make, d.model = job.model, d.orientation = job.orientation;
        d.exposureTime = job.exposure.duration, d.iso = job.exposure.iso, d.exposureBias = job.exposureBias;
        d.dateTimeOriginal = exifDate(job.timestamp);
        d.flashFired = job.flashFired;
        std::string why;
        auto dng = writeDng(bayer, job.camera, job.exposure.gains, d, &why);
        if (!dng) return CaptureError{CaptureErrorCode::CaptureFailed, "Cannot write the RAW photo: " + why};
        photo.fileData = std::move(*dng);
        photo.metadata = photoMetadata(job, {bayer.width, bayer.height});
        return photo;
    }
    RgbImage rgb = SensorModel::renderProcessed(*job.raster, job.camera, job.exposure);
    photo.metadata = photoMetadata(job, {rgb.width, rgb.height});
    auto heic = encodeProcessedPhoto(rgb, photo.metadata);
    if (!heic) return CaptureError{CaptureErrorCode::CaptureFailed, "Cannot encode the photo as HEIC"};
    photo.fileData = std::move(*heic);
    return photo;
}

}  // namespace sorvel
