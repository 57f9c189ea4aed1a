#include "app/CameraButtonLayout.h"

#include <initializer_list>

namespace sorvel {

namespace {
bool containsAny(std::string_view text, std::initializer_list<std::string_view> words) {
    for (auto word : words)
        if (text.find(word) != std::string_view::npos) return true;
    return false;
}
}  // namespace

CameraCategory cameraCategoryForName(std::string_view name) {
    if (containsAny(name, {"Front", "前置", "前摄"})) return CameraCategory::Front;
    if (containsAny(name, {"Ultra Wide", "超广角", "超广"})) return CameraCategory::UltraWide;
    if (containsAny(name, {"Telephoto", "长焦", "远摄"})) return CameraCategory::Telephoto;
    return CameraCategory::Wide;
}

const char* symbolForCameraCategory(CameraCategory category) {
    switch (category) {
    case CameraCategory::Front: return "arrow.triangle.2.circlepath.camera";
    case CameraCategory::UltraWide: return "arrow.up.left.and.arrow.down.right";
    case CameraCategory::Telephoto: return "binoculars";
    case CameraCategory::Wide: break;
    }
    return "1.square";
}

std::vector<QRectF> cameraButtonFrames(int count, QSizeF viewSize) {
    std::vector<QRectF> frames;
    if (count <= 0) return frames;
    const double rowWidth = count * 60.0 + (count - 1) * 20.0;
    const double firstX = (viewSize.width() - rowWidth) / 2;
    for (int i = 0; i < count; ++i) frames.emplace_back(firstX + i * 80.0, viewSize.height() - 215, 60, 60);
    return frames;
}

}  // namespace sorvel
