#pragma once
// The camera screen's controller and the centre of the app: it owns the capture objects, the
// screen's views and the app's working state. Its operations are grouped by feature into
// ViewController+<Feature>.cpp files. Main thread only unless an operation says otherwise.

#include <atomic>
#include <memory>

#include "platform/ui/ScreenController.h"

namespace sorvel {

class ViewController : public ScreenController, public std::enable_shared_from_this<ViewController> {
public:
    explicit ViewController(ScreenProfile profile = ScreenProfile::phone());
    ~ViewController() override;

    // Lifecycle
    void viewDidLoad() override;
    void viewDidAppear() override;
    void viewDidDisappear() override {}
    void appDidBecomeActive();
    void appWillResignActive();

    // Working state shared by the features.
    double currentZoomFactor = 1.0;
    double lastFeedbackZoomFactor = 1.0;
    bool isVibrationEnabled = false;
    int currentDeviceOrientation = 1;  // 1 portrait, 2 upside down, 3 landscape left, 4 landscape right
    std::atomic<bool> isCapturingLivePhoto{false};
    bool isProcessingPhoto = false;
    bool isProModeEnabled = false;
    bool isWaveformVisible = false;
    float initialVolume = 0.5f;

private:
    void registerApplicationObservers();
};

}  // namespace sorvel
