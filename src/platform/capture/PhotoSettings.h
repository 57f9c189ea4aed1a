#pragma once
// One capture request. Each settings object gets a process-wide unique 64-bit identifier when
// made; the app keys its per-capture delegates by it.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/capture/CaptureTypes.h"
#include "platform/foundation/Value.h"

namespace sorvel {

// RAW pixel formats, four-character codes as the platform names them.
constexpr std::uint32_t fourCharCode(const char (&c)[5]) {
    return (std::uint32_t(std::uint8_t(c[0])) << 24) | (std::uint32_t(std::uint8_t(c[1])) << 16) |
           (std::uint32_t(std::uint8_t(c[2])) << 8) | std::uint32_t(std::uint8_t(c[3]));
}
constexpr std::uint32_t kPixelFormatBayerRGGB12 = fourCharCode("rgg2");
// A demosaiced linear RAW format: offered by the output but not Bayer.
constexpr std::uint32_t kPixelFormatLinearRaw16 = fourCharCode("l64r");

class PhotoSettings {
public:
    // Processed photo in this codec (HEVC gives HEIC files).
    static PhotoSettings withFormat(VideoCodec codec);
    // RAW photo in one of the output's available RAW pixel formats.
    static PhotoSettings withRawPixelFormat(std::uint32_t rawPixelFormatType);

    std::int64_t uniqueID() const { return uniqueID_; }
    std::optional<VideoCodec> processedCodec() const { return codec_; }
    std::optional<std::uint32_t> rawPhotoPixelFormatType() const { return rawFormat_; }

    FlashMode flashMode = FlashMode::Off;
    bool isAutoStillImageStabilizationEnabled = true;
    bool isHighResolutionPhotoEnabled = true;
    // Set to ask for a Live Photo; the movie is written here.
    std::optional<std::filesystem::path> livePhotoMovieFileURL;
    // Merged into the photo's metadata: "{GPS}" and other image-property dictionaries.
    Dictionary metadata;
    // Names the capture across a restart. When set, a backend that keeps deferred photos keeps
    // this capture in the deferred photo store (DeferredPhotoStore.h) from the press until its
    // photo and movie have been handed to the delegate, so that a process killed meanwhile can
    // have the photo finished at its next start.
    std::string captureIdentifier;

private:
    PhotoSettings();
    std::int64_t uniqueID_;
    std::optional<VideoCodec> codec_;
    std::optional<std::uint32_t> rawFormat_;
};

// The settings as the output will carry them out, reported with every callback.
struct ResolvedPhotoSettings {
    std::int64_t uniqueID = 0;
    Dimensions photoDimensions;
    Dimensions rawPhotoDimensions;
    Dimensions livePhotoMovieDimensions;
    bool isFlashEnabled = false;
    bool isStillImageStabilizationEnabled = false;
    int expectedPhotoCount = 1;
};

}  // namespace sorvel
