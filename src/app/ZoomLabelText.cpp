#include "app/ZoomLabelText.h"

#include <cmath>
#include <cstdio>

namespace sorvel {

std::string zoomLabelCameraName(std::string name) {
    for (const char* word : {"相机", "后置", "Back", "Camera"}) {
        const std::string w(word);
        for (auto at = name.find(w); at != std::string::npos; at = name.find(w, at)) name.erase(at, w.size());
    }
    return name;
}

std::string zoomLabelZoomText(double zoomFactor, bool zoomLocked) {
    if (zoomLocked) return "🔒1x";
    char text[64];
    std::snprintf(text, sizeof text, "%.1fx", zoomFactor);
    return text;
}

std::optional<std::string> zoomLabelExposureText(float bias) {
    // Compared in single precision, as the device reports it: 0.3f is not above 0.3f.
    if (!(std::fabs(bias) > 0.3f)) return std::nullopt;
    char text[64];
    std::snprintf(text, sizeof text, " EV%.1f", static_cast<double>(bias));
    return std::string(text);
}

}  // namespace sorvel
