// The watermark hook of the capture paths.

#include "app/ViewController.h"
#include "app/Watermark.h"
#include "platform/foundation/SettingsStore.h"

namespace sorvel {

image::Image ViewController::addWatermark(const image::Image& picture, const Dictionary& properties) const {
    if (!SettingsStore::standard().boolForKey("setting_12")) return picture;
    return addWatermarkInternal(picture, properties, currentLocation(), isDevelopingMirroredDeepPicture(),
                                screenProfile().scale);
}

}  // namespace sorvel
