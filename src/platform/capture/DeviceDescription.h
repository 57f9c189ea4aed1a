#pragma once
// What a capture backend knows about one device: identity, ranges and optics. The virtual rig
// reads these from its profile; a hardware backend would read them from the driver.

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "platform/capture/CaptureTypes.h"

namespace sorvel {

// Failures a backend can be told to produce, per device (from the profile or a test) or for
// the next capture only.
enum class CaptureFault {
    DeviceInputCreation,
    LockFailure,
    CaptureError,
    MissingFileData,
    MovieError,
    NoBayerRaw,
    LivePhotoUnsupported,
    NoMicrophone,
    NoVideoConnection,
    // The Live Photo's movie fails before its still is delivered (the order a capture service
    // may report them in), or is written empty without an error.
    MovieErrorBeforeStill,
    EmptyMovie,
};

std::optional<CaptureFault> parseCaptureFault(const std::string& name);
const char* captureFaultName(CaptureFault fault);

struct DeviceDescription {
    std::string uniqueID;
    std::string localizedName;
    DeviceType type = DeviceType::BuiltInWideAngleCamera;
    DevicePosition position = DevicePosition::Back;

    Dimensions sensor{4032, 3024};
    double minZoom = 1, maxZoom = 10;
    double minISO = 32, maxISO = 3200;
    double minExposureDuration = 1.0 / 32000, maxExposureDuration = 1.0;
    double minBias = -8, maxBias = 8;
    double maxWhiteBalanceGain = 4;
    bool hasTorch = false;
    bool hasFlash = false;
    bool supportsBayerRaw = true;
    bool supportsLivePhoto = true;
    // Which controls the device has. The virtual rig has them all; a hardware camera reports
    // what its driver offers, and the device refuses modes it lacks.
    bool supportsAutoFocus = true;           // auto and continuous auto focus
    bool supportsLockedFocus = true;         // a lens position held by hand
    bool supportsCustomExposure = true;      // duration and ISO held by hand
    bool supportsLockedWhiteBalance = true;  // gains held by hand
    bool supportsPointsOfInterest = true;    // focus and exposure at a point

    std::string lensModel;
    double focalLength = 6.0;   // mm
    double fNumber = 1.8;
    // Part of the scene the camera sees at zoom 1, relative to the back wide camera, and
    // where it points (scene units, the wide camera sees x -0.75..0.75, y -1..1).
    double fieldScale = 1.0;
    double centreX = 0, centreY = 0;
    // Sensor response to linear sRGB light: channel sensitivities and a crosstalk matrix
    // (rows sum to 1). Together they are the camera colour matrix written into RAW files.
    double channelSensitivity[3] = {0.52, 1.0, 0.71};
    double crosstalk[9] = {0.82, 0.15, 0.03, 0.07, 0.85, 0.08, 0.02, 0.16, 0.82};
    // Nearest focus distance in metres (lens position 0 focuses at infinity, 1 here).
    double minFocusDistance = 0.1;

    std::set<CaptureFault> faults;
};

}  // namespace sorvel
