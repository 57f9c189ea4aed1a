#include "platform/capture/gstreamer/GstStillPhoto.h"

#include <gst/video/video.h>

#include <cmath>

#include "platform/capture/gstreamer/CameraModes.h"
#include "platform/capture/gstreamer/SensorFrames.h"
#include "platform/capture/virtual/DngWriter.h"
#include "platform/capture/virtual/LivePhotoMovieWriter.h"
#include "platform/capture/virtual/PhotoPipeline.h"

namespace sorvel {

std::variant<RgbImage, std::string> stillPixels(GstSample* sample) {
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstVideoInfo info;
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps)) return std::string("the photo frame has no picture format");
    if (GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_RGBx) return std::string("the photo frame is not RGBx");
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) return std::string("the photo frame cannot be read");
    RgbImage out = turnToSensorRgb(static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                                   GST_VIDEO_FRAME_WIDTH(&frame), GST_VIDEO_FRAME_HEIGHT(&frame),
                                   GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
    gst_video_frame_unmap(&frame);
    return out;
}

std::variant<MosaicPixels, std::string> rawPixels(GstSample* sample) {
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (!caps || !buffer || gst_caps_get_size(caps) == 0) return std::string("the RAW frame has no format");
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    const gchar* format = gst_structure_get_string(s, "format");
    auto pattern = format ? bayerPattern(format) : std::nullopt;
    int width = 0, height = 0;
    gst_structure_get_int(s, "width", &width);
    gst_structure_get_int(s, "height", &height);
    if (!pattern || width < 2 || height < 2) return std::string("the RAW frame is not an 8-bit Bayer mosaic");
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return std::string("the RAW frame cannot be read");
    // Bayer rows are padded to four bytes, as GStreamer's Bayer elements lay them out.
    int stride = (width + 3) & ~3;
    if (map.size < static_cast<gsize>(stride) * height) {
        stride = width;
        if (map.size < static_cast<gsize>(width) * height) {
            gst_buffer_unmap(buffer, &map);
            return std::string("the RAW frame is shorter than its size says");
        }
    }
    MosaicPixels out;
    out.pattern = *pattern;
    out.mosaic = turnMosaicToSensor(map.data, width, height, stride, out.pattern);
    gst_buffer_unmap(buffer, &map);
    return out;
}

Dictionary stillMetadata(const StillFacts& f, Dimensions size) {
    Dictionary exif{
        {"DateTimeOriginal", Value(exifDate(f.timestamp))},
        {"DateTimeDigitized", Value(exifDate(f.timestamp))},
        {"Flash", Value(exifFlash(f.flashMode, f.flashFired))},
        {"WhiteBalance", Value(f.autoWhiteBalance ? 0 : 1)},
        {"PixelXDimension", Value(size.width)},
        {"PixelYDimension", Value(size.height)},
        {"DigitalZoomRatio", Value(f.zoom)},
    };
    // Exposure values only where the driver tells them; a webcam in its own automatic
    // exposure does not.
    if (f.exposureDuration) exif["ExposureTime"] = Value(*f.exposureDuration);
    if (f.iso) exif["ISOSpeedRatings"] = Value(Array{Value(static_cast<long long>(std::lround(*f.iso)))});
    if (f.exposureBias) exif["ExposureBiasValue"] = Value(*f.exposureBias);
    if (!f.camera.lensModel.empty()) exif["LensModel"] = Value(f.camera.lensModel);
    Dictionary tiff{
        {"Make", Value(f.make)},
        {"Model", Value(f.camera.localizedName)},
        {"Orientation", Value(f.orientation)},
        {"Software", Value("Sorvel Camera (GStreamer)")},
        {"DateTime", Value(exifDate(f.timestamp))},
    };
    Dictionary out = f.settingsMetadata;
    out["{Exif}"] = Value(std::move(exif));
    out["{TIFF}"] = Value(std::move(tiff));
    out["Orientation"] = Value(f.orientation);
    out["PixelWidth"] = Value(size.width);
    out["PixelHeight"] = Value(size.height);
    if (!f.contentIdentifier.empty()) out[kLivePhotoContentIdentifierKey] = Value(f.contentIdentifier);
    return out;
}

std::variant<CapturedPhoto, CaptureError> processedPhoto(const RgbImage& pixels, const StillFacts& facts) {
    CapturedPhoto photo;
    photo.timestamp = facts.timestamp;
    photo.resolvedSettings = facts.resolved;
    photo.metadata = stillMetadata(facts, {pixels.width, pixels.height});
    auto heic = encodeProcessedPhoto(pixels, photo.metadata);
    if (!heic) return CaptureError{CaptureErrorCode::CaptureFailed, "Cannot encode the photo as HEIC"};
    photo.fileData = std::move(*heic);
    return photo;
}

std::variant<CapturedPhoto, CaptureError> rawPhoto(const MosaicPixels& pixels, const StillFacts& facts) {
    CapturedPhoto photo;
    photo.isRawPhoto = true;
    photo.timestamp = facts.timestamp;
    photo.resolvedSettings = facts.resolved;
    DngDescription d;
    d.make = facts.make;
    d.model = facts.camera.localizedName;
    d.orientation = facts.orientation;
    d.exposureTime = facts.exposureDuration.value_or(1.0 / 30);
    d.iso = facts.iso.value_or(100);
    d.exposureBias = facts.exposureBias.value_or(0);
    d.dateTimeOriginal = exifDate(facts.timestamp);
    d.flashFired = facts.flashFired;
    d.cfaPattern = pixels.pattern;
    d.blackLevel = 0;
    d.whiteLevel = 255;
    d.software = "Sorvel Camera (GStreamer)";
    std::string why;
    auto dng = writeDng(pixels.mosaic, facts.camera, facts.gains, d, &why);
    if (!dng) return CaptureError{CaptureErrorCode::CaptureFailed, "Cannot write the RAW photo: " + why};
    photo.fileData = std::move(*dng);
    photo.metadata = stillMetadata(facts, {pixels.mosaic.width, pixels.mosaic.height});
    return photo;
}

std::variant<CapturedPhoto, CaptureError> photoFromSample(GstSample* sample, bool raw, const StillFacts& facts) {
    auto failed = [](const std::string& why) { return CaptureError{CaptureErrorCode::CaptureFailed, why}; };
    if (raw) {
        auto pixels = rawPixels(sample);
        if (auto* why = std::get_if<std::string>(&pixels)) return failed(*why);
        return rawPhoto(std::get<MosaicPixels>(pixels), facts);
    }
    auto pixels = stillPixels(sample);
    if (auto* why = std::get_if<std::string>(&pixels)) return failed(*why);
    return processedPhoto(std::get<RgbImage>(pixels), facts);
}

}  // namespace sorvel
