#pragma once
// The cameras GStreamer's providers found, made into the app's list: infrared-only nodes and
// second entries of one camera left out, each given its position and a name in the
// interface's language. Plain logic; GstDeviceDiscovery fills the records.

#include <optional>
#include <string>
#include <vector>

#include "platform/capture/CaptureTypes.h"
#include "platform/capture/gstreamer/CameraModes.h"

namespace sorvel {

struct FoundCamera {
    std::string id;           // unique and stable while the camera stays plugged in
    std::string displayName;  // the provider's name ("Integrated Camera: Integrated C")
    std::string provider;     // "pipewire", "v4l2" or "pipeline"
    std::string devicePath;   // the V4L2 node its controls are on, when known
    std::string physicalKey;  // bus position or USB vendor:product, for finding duplicates
    std::string driver;       // V4L2 driver ("uvcvideo"), when known
    std::optional<bool> facesUser;  // what the driver or PipeWire says
    std::vector<CameraMode> modes;
};

// Keeps the cameras worth listing, in the order found: drops infrared-only nodes and
// duplicates (the same physical camera twice, as PipeWire lists a camera through both
// libcamera and V4L2; the entry whose controls can be reached is kept).
std::vector<FoundCamera> usableCameras(const std::vector<FoundCamera>& found);

bool looksInfrared(const FoundCamera& camera);

// A webcam, or a sensor marked as facing the user, is the front camera; the rest are back.
DevicePosition positionOf(const FoundCamera& camera);

// "前置相机 Integrated Camera" (localised).
std::string localizedCameraName(const FoundCamera& camera, DevicePosition position);

}  // namespace sorvel
