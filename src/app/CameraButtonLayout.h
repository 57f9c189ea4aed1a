#pragma once
// The camera switch row: which kind of camera a device is (read from its name, as the platform
// gives no better hint), the symbol for it and where each button sits.

#include <QRectF>
#include <QSizeF>
#include <string_view>
#include <vector>

namespace sorvel {

enum class CameraCategory { Front, UltraWide, Wide, Telephoto };

// Plain substring search over the localised name, front before ultra-wide before telephoto;
// anything else is a wide camera.
CameraCategory cameraCategoryForName(std::string_view localizedName);
const char* symbolForCameraCategory(CameraCategory category);

// `count` 60 x 60 buttons with an 80-point pitch, centred across the view, 215 points above its
// bottom edge.
std::vector<QRectF> cameraButtonFrames(int count, QSizeF viewSize);

}  // namespace sorvel
