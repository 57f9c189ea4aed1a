#pragma once
// The picture formats a camera offers, and which of them serve the preview, the still and
// the RAW photo. Plain logic over what GStreamer's caps say (GstCaps.cpp reads them).
//
// The preview is the camera's largest mode that fits 1280 x 960 or 1920 x 1080 at 30 frames a
// second or more, of the still's shape where one is; it is delivered at most 1280 wide. Stills
// come from the largest mode, RAW photos from the largest Bayer mode.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/capture/CaptureTypes.h"

namespace sorvel {

enum class FrameKind { Raw, Jpeg, Bayer };

struct CameraMode {
    FrameKind kind = FrameKind::Raw;
    std::string format;  // "YUY2", "rggb"; empty leaves it to the source
    int width = 0, height = 0;
    int fpsNumerator = 30, fpsDenominator = 1;

    double fps() const { return fpsDenominator > 0 ? double(fpsNumerator) / fpsDenominator : 0; }
    long long area() const { return static_cast<long long>(width) * height; }
    // The GStreamer caps that ask the source for exactly this mode.
    std::string caps() const;
    // "1280 x 720 YUY2 at 30 fps", for console lines.
    std::string text() const;
    friend bool operator==(const CameraMode&, const CameraMode&) = default;
};

struct ModeChoice {
    CameraMode preview;
    CameraMode still;
    std::optional<CameraMode> raw;
};

// Nothing when no mode is usable.
std::optional<ModeChoice> chooseModes(const std::vector<CameraMode>& offered);

// The size the preview branch scales to: the mode's own, at most 1280 wide, even sides.
Dimensions previewFrameSize(const CameraMode& preview);

// True when the modes are all grey pictures: an infrared camera (face login), not one to
// take photos with.
bool isInfraredOnly(const std::vector<CameraMode>& offered);

bool isGreyFormat(const std::string& format);
// The four 8-bit Bayer layouts GStreamer names ("rggb" ...), as DNG CFA codes (0 red, 1 green,
// 2 blue) of the 2 x 2 block read row by row.
std::optional<std::array<std::uint8_t, 4>> bayerPattern(const std::string& format);

// Sizes offered as ranges are fixed to these before choosing (a test source offers any size).
inline constexpr Dimensions kRangePreviewSize{1280, 960};
inline constexpr Dimensions kRangeStillSize{4032, 3024};

}  // namespace sorvel
