#pragma once
// Live Photo movies: frames around the shutter press, encoded with the FFmpeg libraries
// (H.264 through libx264 when present) into a QuickTime file that carries the content
// identifier shared with the still.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/capture/CaptureTypes.h"
#include "platform/capture/SampleBuffer.h"

namespace sorvel {

// The QuickTime metadata key of the identifier that pairs a movie with its still.
inline constexpr const char* kQuickTimeContentIdentifierKey = "com.apple.quicktime.content.identifier";
// The still's metadata entry carrying the same identifier.
inline constexpr const char* kLivePhotoContentIdentifierKey = "LivePhotoContentIdentifier";

struct YuvFrame {
    int width = 0, height = 0;  // even
    std::vector<std::uint8_t> y, u, v;  // planar 4:2:0, limited range BT.601
    double time = 0;                    // seconds
};

// Half-size 4:2:0 copy of a BGRA preview frame (the movie size is half the preview's).
std::shared_ptr<const YuvFrame> downscaleToYuv(const PixelBuffer& frame, double time);

struct MovieDescription {
    double framesPerSecond = 30;
    std::string contentIdentifier;
    // Turn the player applies to show the frames upright (degrees clockwise).
    int rotationDegrees = 0;
};

// Writes the frames to `path`; an error names the FFmpeg step that failed.
CaptureStatus writeLivePhotoMovie(const std::filesystem::path& path, const std::vector<std::shared_ptr<const YuvFrame>>& frames,
                                  const MovieDescription& description);

}  // namespace sorvel
