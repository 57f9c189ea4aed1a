#include "platform/capture/gstreamer/CameraCatalogue.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/foundation/Localization.h"

namespace sorvel {

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// The name without the provider's own suffix: PipeWire says "Webcam (V4L2)" and "Webcam".
std::string plainName(const FoundCamera& c) {
    std::string n = lower(c.displayName);
    for (const char* suffix : {" (v4l2)", " (libcamera)"})
        if (n.size() > std::strlen(suffix) && n.compare(n.size() - std::strlen(suffix), std::string::npos, suffix) == 0)
            n.erase(n.size() - std::strlen(suffix));
    return n;
}

bool sameCamera(const FoundCamera& a, const FoundCamera& b) {
    if (!a.physicalKey.empty() && a.physicalKey == b.physicalKey) return true;
    // Two nodes with their own V4L2 paths are two cameras, even of one model; otherwise one
    // camera reached two ways (libcamera and V4L2) carries one name.
    if (!a.devicePath.empty() && !b.devicePath.empty()) return false;
    return !plainName(a).empty() && plainName(a) == plainName(b);
}

}  // namespace

bool looksInfrared(const FoundCamera& camera) {
    if (isInfraredOnly(camera.modes)) return true;
    std::string n = lower(camera.displayName);
    return n.find("infrared") != std::string::npos || n.find("ir camera") != std::string::npos;
}

std::vector<FoundCamera> usableCameras(const std::vector<FoundCamera>& found) {
    std::vector<FoundCamera> kept;
    for (const auto& c : found) {
        if (looksInfrared(c)) continue;
        auto twin = std::find_if(kept.begin(), kept.end(), [&](const FoundCamera& k) { return sameCamera(k, c); });
        if (twin == kept.end()) {
            kept.push_back(c);
        } else if (twin->devicePath.empty() && !c.devicePath.empty()) {
            *twin = c;  // the twin whose V4L2 controls we can reach
        }
    }
    return kept;
}

DevicePosition positionOf(const FoundCamera& camera) {
    if (camera.facesUser) return *camera.facesUser ? DevicePosition::Front : DevicePosition::Back;
    return camera.driver == "uvcvideo" ? DevicePosition::Front : DevicePosition::Back;
}

std::string localizedCameraName(const FoundCamera& camera, DevicePosition position) {
    std::string kind = position == DevicePosition::Front ? localized("前置相机") : localized("后置相机");
    return camera.displayName.empty() ? kind : kind + " " + camera.displayName;
}

}  // namespace sorvel
