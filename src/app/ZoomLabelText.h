#pragma once
// The pieces of the zoom label at the top of the screen: the camera's short name, the zoom
// ("🔒1x" while a mode holds the zoom at 1) and, for a noticeable bias, the exposure.

#include <optional>
#include <string>

namespace sorvel {

// The device name without "相机", "后置", "Back" and "Camera".
std::string zoomLabelCameraName(std::string localizedName);
std::string zoomLabelZoomText(double zoomFactor, bool zoomLocked);
// " EV%.1f" when |bias| > 0.3 (a bias of exactly 0.3 is not shown), else nothing.
std::optional<std::string> zoomLabelExposureText(float bias);

}  // namespace sorvel
