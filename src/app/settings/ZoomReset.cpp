#include "app/settings/ZoomReset.h"

#include "app/ViewController.h"
#include "platform/foundation/SettingsStore.h"

namespace sorvel {

void resetZoomForLockedMode(ViewController& controller) {
    controller.setZoomFactor(1.0);
    SettingsStore::standard().setDouble(1.0, "zoomFactor_frontCamera");
    if (controller.getCurrentCameraPosition() == ViewController::CameraPosition::frontCamera)
        controller.loadAndApplySavedZoomFactor();
}

}  // namespace sorvel
