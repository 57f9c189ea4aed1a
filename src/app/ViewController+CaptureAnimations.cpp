// The shutter blink and the long dimming while a deep picture develops.

#include "app/ViewController.h"
#include "platform/foundation/Console.h"
#include "platform/ui/Animation.h"

namespace sorvel {

void ViewController::flashAnimation() {
    flashOverlay->setAlpha(1.0);
    animate(0.27, [this] { flashOverlay->setAlpha(0.0); });
}

void ViewController::startCaptureAnimation() {
    flashOverlay->setAlpha(0.9);
    animate(12.0, [this] { flashOverlay->setAlpha(0.7); });
    isProcessingPhoto = true;
    consolePrint("开始拍摄raw");
}

void ViewController::endCaptureAnimation() {
    animate(0.15, [this] { flashOverlay->setAlpha(0.0); });
    isProcessingPhoto = false;
    consolePrint("结束拍摄raw");
}

}  // namespace sorvel
