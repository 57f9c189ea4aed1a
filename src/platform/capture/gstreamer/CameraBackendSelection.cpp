#include "platform/capture/gstreamer/CameraBackendSelection.h"

#include <cstdlib>

#include "platform/capture/CaptureDevice.h"
#include "platform/capture/gstreamer/GStreamerBackend.h"
#include "platform/capture/virtual/VirtualRig.h"

namespace sorvel {

std::optional<CameraBackendKind> parseCameraBackendKind(const std::string& text) {
    if (text == "auto") return CameraBackendKind::Auto;
    if (text == "gstreamer") return CameraBackendKind::GStreamer;
    if (text == "virtual") return CameraBackendKind::Virtual;
    return std::nullopt;
}

std::variant<CameraBackendRequest, std::string> cameraBackendRequest(const std::optional<std::string>& backendOption,
                                                                     const std::optional<std::string>& sourceOption) {
    auto fromEnvironment = [](const char* name) -> std::optional<std::string> {
        const char* v = std::getenv(name);
        if (!v || !*v) return std::nullopt;
        return std::string(v);
    };
    CameraBackendRequest request;
    std::optional<std::string> backend = backendOption ? backendOption : fromEnvironment("SORVEL_CAMERA_BACKEND");
    if (backend) {
        auto kind = parseCameraBackendKind(*backend);
        if (!kind) return "--camera-backend takes auto, gstreamer or virtual, not \"" + *backend + "\"";
        request.kind = *kind;
    }
    if (auto source = sourceOption ? sourceOption : fromEnvironment("SORVEL_GST_SOURCE")) request.gstSource = *source;
    if (!request.gstSource.empty() && request.kind == CameraBackendKind::Virtual)
        return std::string("--gst-source needs the GStreamer camera backend, not the virtual rig");
    return request;
}

namespace {

std::string providerText(const GStreamerBackend& backend) {
    std::string kind = backend.sourceKind();
    if (kind == "pipewire") return "PipeWire";
    if (kind == "v4l2") return "V4L2";
    if (kind == "pipeline") return "a pipeline source";
    return "no device provider";
}

CameraBackendChoice virtualRig(std::string line) {
    CameraBackendChoice c;
    c.backend = &VirtualRig::shared();
    c.consoleLine = std::move(line);
    return c;
}

}  // namespace

std::variant<CameraBackendChoice, std::string> chooseCameraBackend(const CameraBackendRequest& request) {
    if (request.kind == CameraBackendKind::Virtual) return virtualRig("");
    auto made = GStreamerBackend::make(request.gstSource);
    if (auto* why = std::get_if<std::string>(&made)) {
        if (request.kind == CameraBackendKind::GStreamer || !request.gstSource.empty()) return *why;
        return virtualRig("Camera: " + *why + "; using the virtual camera rig");
    }
    auto backend = std::move(std::get<std::unique_ptr<GStreamerBackend>>(made));
    std::size_t count = backend->cameraCount();
    if (count == 0 && request.kind == CameraBackendKind::Auto)
        return virtualRig("Camera: no camera found through GStreamer (" + providerText(*backend) +
                          "), using the virtual camera rig");
    CameraBackendChoice c;
    std::string names;
    for (const auto& d : backend->devices())
        if (d->hasMediaType(MediaType::Video)) names += (names.empty() ? "" : ", ") + d->localizedName();
    c.consoleLine = count == 0 ? "Camera: GStreamer found no camera (" + providerText(*backend) + ")"
                               : "Camera: using GStreamer (" + providerText(*backend) + "): " + names;
    c.backend = backend.get();
    c.isVirtualRig = false;
    c.owned = std::move(backend);
    return c;
}

}  // namespace sorvel
