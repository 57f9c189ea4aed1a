#pragma once
// Which capture backend the app runs on: `--camera-backend auto|gstreamer|virtual` and
// `--gst-source "PIPELINE"`, else $SORVEL_CAMERA_BACKEND and $SORVEL_GST_SOURCE. "auto" (the
// default) takes GStreamer when it finds a camera (or is given a source) and the virtual rig
// otherwise, and says in one console line which it took.

#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "platform/capture/CaptureBackend.h"

namespace sorvel {

enum class CameraBackendKind { Auto, GStreamer, Virtual };

std::optional<CameraBackendKind> parseCameraBackendKind(const std::string& text);

struct CameraBackendRequest {
    CameraBackendKind kind = CameraBackendKind::Auto;
    std::string gstSource;  // empty: the cameras GStreamer's providers find
};

// Options first, then the environment. The message when a value is not one of the three, or
// a source is given to the virtual rig.
std::variant<CameraBackendRequest, std::string> cameraBackendRequest(const std::optional<std::string>& backendOption,
                                                                     const std::optional<std::string>& sourceOption);

struct CameraBackendChoice {
    std::unique_ptr<CaptureBackend> owned;  // null for the virtual rig, which is always there
    CaptureBackend* backend = nullptr;
    bool isVirtualRig = true;
    std::string consoleLine;  // what auto says it chose (empty when nothing needs saying)
};

// Makes the backend asked for. The message when GStreamer was asked for and cannot be used.
std::variant<CameraBackendChoice, std::string> chooseCameraBackend(const CameraBackendRequest& request);

}  // namespace sorvel
