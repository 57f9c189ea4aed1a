#pragma once
// Small value types shared by the capture framework. Enumerations keep the raw values the
// app stores and compares (flash off 0 / on 1 / auto 2, focus locked 0 / auto 1 / continuous 2 ...).

#include <cstdint>
#include <optional>
#include <string>

namespace sorvel {

enum class MediaType { Video, Audio };

enum class DeviceType { BuiltInWideAngleCamera, BuiltInUltraWideCamera, BuiltInTelephotoCamera, BuiltInMicrophone };

enum class DevicePosition { Unspecified = 0, Back = 1, Front = 2 };

enum class FocusMode { Locked = 0, AutoFocus = 1, ContinuousAutoFocus = 2 };

enum class ExposureMode { Locked = 0, AutoExpose = 1, ContinuousAutoExposure = 2, Custom = 3 };

enum class WhiteBalanceMode { Locked = 0, AutoWhiteBalance = 1, ContinuousAutoWhiteBalance = 2 };

enum class TorchMode { Off = 0, On = 1, Auto = 2 };

enum class FlashMode { Off = 0, On = 1, Auto = 2 };

// Orientation of a connection's output relative to the device held upright.
enum class VideoOrientation { Portrait = 1, PortraitUpsideDown = 2, LandscapeRight = 3, LandscapeLeft = 4 };

enum class VideoCodec { Hevc };

// Normalised coordinates: (0,0) top left, (1,1) bottom right of the sensor picture.
struct CapturePoint {
    double x = 0.5;
    double y = 0.5;
};

struct WhiteBalanceGains {
    float redGain = 1;
    float greenGain = 1;
    float blueGain = 1;
};

struct TemperatureAndTint {
    float temperature = 6500;  // kelvin
    float tint = 0;            // green (-) to magenta (+), -150 .. 150
};

struct Dimensions {
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend bool operator==(const Dimensions&, const Dimensions&) = default;
};

enum class CaptureErrorCode {
    DeviceNotAvailable,    // device input creation failed
    LockFailed,            // lockForConfiguration refused
    SessionNotRunning,     // capture asked of a session that is not running or stopped meanwhile
    CaptureFailed,         // the still could not be taken
    MovieFailed,           // the Live Photo movie could not be recorded or written
    UnsupportedSettings,   // RAW format or Live Photo the output cannot deliver
    NotAuthorized,
};

struct CaptureError {
    CaptureErrorCode code = CaptureErrorCode::CaptureFailed;
    std::string description;
};

// Outcome of an operation that can fail: empty on success.
using CaptureStatus = std::optional<CaptureError>;

const char* captureErrorCodeName(CaptureErrorCode code);

}  // namespace sorvel
