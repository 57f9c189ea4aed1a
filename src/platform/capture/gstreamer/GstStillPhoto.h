#pragma once
// A full-size GStreamer sample made into the photo a capture delegate receives: the processed
// photo as HEIC (through the image framework, as the virtual rig's) or the Bayer frame as DNG,
// each with its image properties. Runs on the photo output's callback queue.

#include <gst/gst.h>

#include <optional>
#include <string>
#include <variant>

#include "platform/capture/CapturedPhoto.h"
#include "platform/capture/DeviceDescription.h"
#include "platform/capture/virtual/SensorModel.h"

namespace sorvel {

// What the capture knew besides the pixels.
struct StillFacts {
    DeviceDescription camera;
    std::string make;                       // the provider ("V4L2", "PipeWire", "GStreamer")
    int orientation = 6;                    // Exif orientation from the video connection
    std::optional<double> exposureDuration;  // as the driver reports them
    std::optional<double> iso;
    std::optional<double> exposureBias;
    double zoom = 1;
    FlashMode flashMode = FlashMode::Off;
    bool flashFired = false;
    bool autoWhiteBalance = true;
    WhiteBalanceGains gains;
    double timestamp = 0;  // Clock seconds
    Dictionary settingsMetadata;
    std::string contentIdentifier;  // Live Photo pairing
    ResolvedPhotoSettings resolved;
};

// The pixels of a sample, turned to sensor orientation: RGBx for the processed photo, an
// 8-bit mosaic (with its CFA pattern, turned too) for RAW. The message when the sample is
// not what the branch should give.
std::variant<RgbImage, std::string> stillPixels(GstSample* sample);
struct MosaicPixels {
    BayerImage mosaic;
    std::array<std::uint8_t, 4> pattern{};
};
std::variant<MosaicPixels, std::string> rawPixels(GstSample* sample);

Dictionary stillMetadata(const StillFacts& facts, Dimensions size);

std::variant<CapturedPhoto, CaptureError> processedPhoto(const RgbImage& pixels, const StillFacts& facts);
std::variant<CapturedPhoto, CaptureError> rawPhoto(const MosaicPixels& pixels, const StillFacts& facts);
// The sample of the RAW or the still branch, made into its photo.
std::variant<CapturedPhoto, CaptureError> photoFromSample(GstSample* sample, bool raw, const StillFacts& facts);

}  // namespace sorvel
