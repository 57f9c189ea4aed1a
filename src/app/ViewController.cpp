#include "ViewController.h"

#include "app/FirstLaunchManager.h"
#include "app/PreviewView.h"
#include "app/stories/StoryManager.h"
#include "app/themes/ThemeManager.h"
#include "app/filters/FilterParameter.h"
#include "app/filters/FilterStore.h"
#include "platform/capture/AudioSession.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/SettingsStore.h"

namespace sorvel {

ViewController::ViewController(ScreenProfile profile) : ScreenController(profile) {}

ViewController::~ViewController() {
    NotificationCenter::defaultCenter().removeObserver(this);
    if (volumeObservation) AudioSession::shared().removeVolumeObserver(volumeObservation);
    if (exposureUpdateTimer) exposureUpdateTimer->invalidate();
    motionManager->stopAccelerometerUpdates();
    if (locationManager) locationManager->setDelegate(nullptr);
    // The session keeps running on its own threads; stop it before the outputs' delegate (this
    // controller) goes away.
    if (captureSession->isRunning()) captureSession->stopRunning();
    // The preview view draws from previewLayer, which is destroyed before the root view the
    // base class owns: take the view down first.
    delete previewView;
    previewView = nullptr;
    if (previewLayer) previewLayer->setSession(nullptr);
}

// Screen loading. The order matters: later steps read what earlier ones built (the session
// before the preview, the views before the gestures on them), and views added later lie above
// earlier ones.
void ViewController::viewDidLoad() {
    view()->setBackgroundColor(ThemeManager::bgColor());
    // A press anywhere on the screen ends text editing (the keyboard goes away).
    view()->setEndsEditingOnTouch(true);

    AudioSession& audio = AudioSession::shared();
    CaptureStatus audioError = audio.setCategory(AudioSessionCategory::Ambient, AudioSessionOptionMixWithOthers);
    if (!audioError) audioError = audio.setActive(true);
    if (audioError) consolePrint("Failed to set audio session: " + audioError->description);
    setupVolumeView();
    audio.setActive(true);
    initialVolume = audio.outputVolume();
    // Observers run on the thread that moved the volume: the key handler's, the main thread.
    volumeObservation = audio.addVolumeObserver([weak = weak_from_this()](float volume) {
        if (auto self = weak.lock()) self->volumeDidChange(volume);
    });

    initializeFilterParameters();
    updateFeedbackGenerators();
    requestPermissions();
    configureSession();
    setupUIComponents();
    setupTapGestureForFocus();
    startMonitoringDeviceOrientation();
    setupInitialCamera();
    setupPinchGestureForZoom();
    setupVerticalSwipeGesture();
    updateCameraButtonColors();
    registerApplicationObservers();
    checkFirstLaunch(filters);
    recoverUnfinishedCaptures();
    // The presets of a first launch arrive after the list was built.
    updateFilterListView();
}

void ViewController::registerApplicationObservers() {
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(this, notifications::kWillResignActive, [this] { appWillResignActive(); });
    setupLocationManager();
    ThemeManager::shared().applyTheme();
    center.addObserver(this, notifications::kDidBecomeActive, [this] { appDidBecomeActive(); });
}

void ViewController::setupUIComponents() {
    setupPreviewLayer();
    setupGridLines();
    setupProgressView();
    setupCaptureButton();
    setupSettingsButton();
    setupCameraSwitchButtons();
    setupProModeButton();
    setupProModePanel();
    setupWaveformView();
    setupFlashOverlay();
    setupZoomFactorLabel();
    setupFilterButton();
    setupFilterView();
    setupFilterEditView();
    setupTimerButton();
    setupTimerView();
    loadFiltersFromUserDefaults(filters);
    updateFilterListView();
    setupCustomButtons();
}

void ViewController::viewDidAppear() {
    // One hop, so that the prompts come after the appearance has finished.
    DispatchQueue::main().async(weakly(shared_from_this(), [](ViewController& self) {
        auto& firstLaunch = FirstLaunchManager::shared();
        if (firstLaunch.shouldShowWelcomePopup())
            firstLaunch.showWelcomePopup(self, [](const std::string& mode) { consolePrint("Selected mode: " + mode); });
        if (SettingsStore::standard().boolForKey("innovative_story_mode")) StoryManager::shared().displayPopup(self);
    }));
    updateZoomFactorLabel();
}

void ViewController::appDidBecomeActive() {
    if (SettingsStore::standard().integerForKey("flash_mode") == 3) toggleTorch(true);
}

void ViewController::appWillResignActive() {
    if (timedShooting && timedShooting->intervalShootingEnabled) stopIntervalShooting();
}

void ViewController::hideKeyboard() { view()->endEditing(true); }

void ViewController::reportOutcome(bool success, const std::string& message, const std::string& asset) const {
    if (onCaptureOutcome) onCaptureOutcome(CaptureOutcome{success, message, asset});
}

}  // namespace sorvel
