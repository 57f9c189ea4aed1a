#pragma once
// The camera screen's controller and the centre of the app: it owns the capture objects, the
// screen's views and the app's working state. Its operations are grouped by feature into
// ViewController+<Feature>.cpp files. Main thread only unless an operation says otherwise.

#include <atomic>
#include <map>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/capture/CaptureSession.h"
#include "platform/capture/PhotoCaptureDelegate.h"
#include "platform/capture/PhotoOutput.h"
#include "platform/capture/PreviewSink.h"
#include "platform/capture/VideoDataOutput.h"
#include "platform/image/Image.h"
#include "platform/image/RenderContext.h"
#include "platform/location/LocationManager.h"
#include "platform/motion/MotionManager.h"
#include "app/ExposureCompensation.h"
#include "app/journal/JournalEntry.h"
#include "app/timer/TimedShooting.h"
#include "platform/ui/Button.h"
#include "platform/ui/Haptics.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ProgressBar.h"
#include "platform/ui/ScreenController.h"

namespace sorvel {

class PreviewView;
class CaptureJournal;
class LivePhotoCaptureProcessor;
class RAWCaptureDelegate;
class SettingsPopupView;
class Label;
class Slider;
class StackView;
class ScrollView;
class Switch;
class TextField;
struct FilterParameter;
struct PickedPhoto;
class VolumeView;
class GestureRecognizer;
class PanGestureRecognizer;
class PinchGestureRecognizer;

// What became of one shutter press, for the command line and tests that wait for it.
struct CaptureOutcome {
    bool success = false;
    std::string message;       // the console line that ended the press
    std::string assetIdentifier;  // the saved asset, on success
};

class ViewController : public ScreenController,
                       public PhotoCaptureDelegate,
                       public VideoFrameDelegate,
                       public LocationManagerDelegate,
                       public TimedShootingDelegate,
                       public std::enable_shared_from_this<ViewController> {
public:
    explicit ViewController(ScreenProfile profile = ScreenProfile::phone());
    ~ViewController() override;

    // Lifecycle
    void viewDidLoad() override;
    void viewDidAppear() override;
    void viewDidDisappear() override {}
    void appDidBecomeActive();
    void appWillResignActive();
    // Ends text editing anywhere on the screen.
    void hideKeyboard();

    // Session and permissions
    void configureSession();
    void requestPermissions();
    void showAlert(const std::string& message);
    bool checkPermissions();

    // Screen set-up
    void setupUIComponents();
    void setupPreviewLayer();
    void setupProgressView();
    void setupCaptureButton();
    void setupFlashOverlay();
    void updateFeedbackGenerators();
    void updateVibrationSetting(bool on);
    void toggleTorch(bool on);

    // Guides over the preview
    void setupGridLines();
    void addGridLines(int rows, int columns, std::optional<QRectF> withinRect = std::nullopt);
    QRectF addCropIndicatorRect(std::optional<double> scaleFactor, std::optional<double> aspectRatio,
                                double lineThickness, double cornerRadius = 12.0, bool doubleLine = false);
    View* createLineView(const QRectF& frame);

    // Main screen controls
    void setupSettingsButton();
    void openSettings();
    void closeSettings();
    void setupCustomButtons();
    void customButtonTapped(Button* sender);
    // The row and the scroll view it slides in are shown, hidden and removed together: an
    // invisible scroll view left on the preview would still take its taps.
    void setCustomButtonsHidden(bool hidden);
    void removeCustomButtons();
    // The hardware volume keys as a shutter.
    void setupVolumeView();
    void volumeDidChange(float newVolume);
    void setSystemVolume(float value);

    // Cameras
    enum class CameraPosition { backCamera, frontCamera, ultraWideCamera, telephotoCamera };
    std::vector<std::shared_ptr<CaptureDevice>> getAllCameras() const;
    CameraPosition getCurrentCameraPosition() const;
    void switchToCamera(const std::shared_ptr<CaptureDevice>& device);
    void setupInitialCamera();
    void setupCameraSwitchButtons();
    void updateCameraButtonColors();
    void switchCamera(Button* sender);
    void applyJellyAnimation(Button* button);

    // Zoom
    void setZoomFactor(double factor);
    void saveCurrentZoomFactor();
    void loadAndApplySavedZoomFactor();
    void setupPinchGestureForZoom();
    void handlePinchToZoom(PinchGestureRecognizer& gesture);
    void checkAndTriggerZoomFeedback();
    void setupZoomFactorLabel();
    void updateZoomFactorLabel();

    // Focus, exposure compensation and orientation
    void setupTapGestureForFocus();
    void handleTapToFocus(GestureRecognizer& gesture);
    void showFocusIndicator(QPointF point);
    void setupVerticalSwipeGesture();
    void handleVerticalSwipe(PanGestureRecognizer& gesture);
    void adjustExposureCompensation(float value, bool isAbsolute = false);
    float currentExposureTargetBias() const;
    void startMonitoringDeviceOrientation();
    void updateOrientation(const std::optional<AccelerometerData>& data);

    // Pro mode: manual shutter, ISO, focus and white balance
    void setupProModeButton();
    void setupProModePanel();
    void setupShutterSpeedControl();
    void setupISOControl();
    void setupFocusControl();
    void setupWhiteBalanceControl();
    Slider* createCustomSlider(QRectF frame);
    Slider* addSliderRow(double y, const char* name, void (ViewController::*handler)(Slider*), double labelX,
                         Label*& label);
    void toggleProMode();
    void enableManualExposure();
    void enableAutoExposure();
    std::string formatShutterSpeed(float seconds) const;
    void shutterSpeedChanged(Slider* slider);
    void isoChanged(Slider* slider);
    void focusChanged(Slider* slider);
    void whiteBalanceChanged(Slider* slider);
    struct ShutterSpeed {
        float seconds;
    };
    struct ISOPosition {
        float position;  // the slider's 0 to 1, not an ISO value
    };
    void applyManualExposureSettings(ShutterSpeed shutterSpeed);
    void applyManualExposureSettings(ISOPosition iso);
    void refreshSliderRanges();

    // Waveform monitor
    void setupWaveformView();
    // Places the monitor by waveformTopConstraint (its top below the safe area's top).
    void layoutWaveformView();
    void updateWaveform(const image::Image& frame);

    // Countdown and interval shooting
    void setupTimerButton();
    void setupTimerView();
    void toggleTimerView();
    void updateTimerViewControls();
    void startCountdown(Button* button);
    void startCountdownTimer(int seconds);
    void toggleIntervalShooting(Switch* sender);
    void startIntervalShooting();
    void stopIntervalShooting();
    void dismissKeyboard();
    // TimedShootingDelegate
    bool isCaptureInProgress() const override { return isProcessingPhoto; }
    void countdownSkipped() override;
    std::unique_ptr<CountdownDisplay> countdownBegan(int seconds) override;
    void countdownFinished() override;
    void timedShootingStateChanged() override { updateTimerViewControls(); }

    // Shutter
    void 按下拍照按钮();
    void 按下拍照按钮2();
    void capturePhoto();
    void captureStillPhoto();
    bool isUsingFrontCamera() const;
    void flashAnimation();
    void startCaptureAnimation();
    void endCaptureAnimation();
    void runFilterTestWithPhoto();
    void captureLivePhoto();
    void captureRawPhoto();

    // Capture callbacks (capture callback queue)
    void didFinishProcessingPhoto(PhotoOutput& output, const CapturedPhoto& photo, const CaptureStatus& error) override;
    // Preview frames ("VideoDataOutputQueue")
    void captureOutput(VideoDataOutput& output, const SampleBuffer& buffer, CaptureConnection& connection) override;

    // Location
    void setupLocationManager();
    void locationManagerDidUpdateLocations(LocationManager& manager, const std::vector<Location>& locations) override;

    // Post-capture preview
    void showPreview(const std::optional<image::Image>& picture, double duration);
    QImage rotateImage(const QImage& picture, QSizeF frame, int orientation);
    void completeProgressBar();

    // The filter hook of the capture paths: the active user filter applied to `picture`, or
    // nothing when filtering is off or no usable filter is selected. Any thread.
    std::optional<image::Image> applyActiveFilter(const image::Image& picture) const;
    // The watermark hook of the capture paths. Any thread.
    image::Image addWatermark(const image::Image& picture, const Dictionary& properties) const;

    // The capture journal (ViewController+Journal.cpp): the press's entry, written before the
    // press is acknowledged; nothing when not even memory could hold one. Main thread.
    std::shared_ptr<JournalEntry> journalPress(CaptureKind kind);
    // Processes, on a background queue, the entries an earlier process left unfinished; one
    // console line each. isRecoveringCaptures is true until all have been saved or kept aside.
    void recoverUnfinishedCaptures();
    std::atomic<bool> isRecoveringCaptures{false};
    // The normal still of a journalled press, on the capture callback queue or in recovery.
    bool processStillPress(const std::shared_ptr<JournalEntry>& entry, const Bytes& data, bool recovering);

    // Reports the end of every press (saved or failed). Set by the command line and tests;
    // called on whatever thread the press ended on.
    std::function<void(const CaptureOutcome&)> onCaptureOutcome;
    void reportOutcome(bool success, const std::string& message, const std::string& asset = {}) const;

    // Capture objects
    std::shared_ptr<CaptureSession> captureSession = std::make_shared<CaptureSession>();
    std::shared_ptr<PhotoOutput> photoOutput = std::make_shared<PhotoOutput>();
    std::shared_ptr<VideoDataOutput> videoDataOutput;
    std::shared_ptr<DeviceInput> currentVideoDeviceInput;
    std::shared_ptr<DispatchQueue> videoDataOutputQueue;
    std::unique_ptr<PreviewSink> previewLayer;
    image::RenderContext ciContext;

    // Views
    PreviewView* previewView = nullptr;
    ImageView* filteredImageView = nullptr;
    View* flashOverlay = nullptr;
    View* gridContainer = nullptr;  // the guides; rebuilt by setupGridLines
    ProgressBar* progressView = nullptr;
    Button* captureButton = nullptr;
    Button* settingsButton = nullptr;
    std::vector<Button*> cameraSwitchButtons;
    Label* zoomFactorLabel = nullptr;
    VolumeView* volumeView = nullptr;
    SettingsPopupView* settingsPopupView = nullptr;
    View* overlayView = nullptr;
    StackView* customButtonsStackView = nullptr;    // the buttons, inside:
    ScrollView* customButtonsScrollView = nullptr;  // scrolls the row sideways when it is too wide
    Button* filterButton = nullptr;
    View* filterView = nullptr;                   // the filter panel
    ScrollView* filterListScrollView = nullptr;   // scrolls filterListView
    StackView* filterListView = nullptr;          // one button per saved filter
    Label* filterNameLabel = nullptr;
    Switch* filterSwitch = nullptr;
    Switch* filterUsePhotoSwitch = nullptr;       // "用照片"
    View* filterEditView = nullptr;
    TextField* filterNameTextField = nullptr;     // "滤镜名称"
    StackView* filterParameterRowsView = nullptr; // the edit view's rows, catalogue order
    Button* proModeButton = nullptr;
    View* proModePanel = nullptr;
    Slider* shutterSpeedSlider = nullptr;
    Slider* isoSlider = nullptr;
    Slider* focusSlider = nullptr;
    Slider* whiteBalanceSlider = nullptr;
    Label* shutterSpeedValueLabel = nullptr;
    Label* isoValueLabel = nullptr;
    Label* focusValueLabel = nullptr;
    Label* whiteBalanceValueLabel = nullptr;
    ImageView* waveformView = nullptr;
    Button* timerButton = nullptr;
    View* timerView = nullptr;
    std::vector<Button*> countdownButtons;
    TextField* intervalShootingInput = nullptr;
    Switch* intervalSwitch = nullptr;

    // Working state shared by the features.
    double currentZoomFactor = 1.0;
    double lastFeedbackZoomFactor = 1.0;
    bool isVibrationEnabled = false;
    std::atomic<int> currentDeviceOrientation{1};  // 1 portrait, 2 upside down, 3 landscape left, 4 landscape right
    std::atomic<bool> isCapturingLivePhoto{false};
    bool isProcessingPhoto = false;
    bool isProModeEnabled = false;
    // Written on the main thread, read by the frame handler.
    std::atomic<bool> isWaveformVisible{false};
    // The monitor's top, in points below the safe area's top: -100 hidden above it, 20 shown.
    double waveformTopConstraint = -100;
    // When the frame handler last sent the monitor a frame (Clock seconds). "VideoDataOutputQueue" only.
    std::optional<double> lastWaveformUpdateTime;
    // The countdown and interval state: isCountdownActive, intervalShootingEnabled and their timers.
    std::shared_ptr<TimedShooting> timedShooting;
    float initialVolume = 0.5f;
    std::unique_ptr<ImpactFeedbackGenerator> feedbackGenerator1;
    std::unique_ptr<ImpactFeedbackGenerator> zoomFeedbackGenerator;
    std::unique_ptr<MotionManager> motionManager = std::make_unique<MotionManager>();
    std::shared_ptr<Timer> exposureUpdateTimer;
    int volumeObservation = 0;  // observer token of the output volume; 0 when not observing
    ExposureStepTracker exposureSteps;
    std::shared_ptr<LivePhotoCaptureProcessor> livePhotoCaptureProcessor;
    // Deep captures under way, by their settings' unique ID. Added on the main thread, removed
    // from the capture callback queue: every access holds rawDelegatesMutex_.
    std::map<std::int64_t, std::shared_ptr<RAWCaptureDelegate>> rawCaptureDelegates;
    void removeRawCaptureDelegate(std::int64_t id);
    std::size_t rawCaptureDelegateCount() const;
    bool isDevelopingMirroredDeepPicture() const;

    // Filters: set by the filter panel; read by the capture callbacks on their thread.
    bool isFilterEnabled() const;
    void setFilterEnabled(bool enabled);
    std::optional<Dictionary> selectedFilter() const;
    void setSelectedFilter(std::optional<Dictionary> filter);
    // "用照片": the live preview and the shutter use the picked photo. Read by the frame handler.
    std::atomic<bool> isFilterUsePhotoEnabled{false};
    // The user's saved filters, in creation order. Main thread.
    std::vector<Dictionary> filters;
    // The photo picked for "用照片", upright. Set on the main thread, read by the frame handler.
    std::optional<image::Image> selectedPhotoCIImage() const;
    void setSelectedPhotoCIImage(std::optional<image::Image> photo);
    // Stops the session and waits until the frame handler is done with its last frame: the
    // handler holds the controller while it renders, and the controller must be released on
    // the main thread. Main thread; for the app's exit.
    void stopCaptureAndWaitForFrames();

    // Filter panel and editor (main thread). The handlers take the control that fired.
    void setupFilterButton();
    void setupFilterView();
    void setupFilterEditView();
    void toggleFilterView();
    void toggleFilter(Switch* sender);
    void filterButtonTapped(Button* sender);
    void editCurrentFilter();
    void loadSelectedFilterParameters();
    void floatSliderValueChanged(Slider* sender);
    void intSliderValueChanged(Slider* sender);
    void floatTextFieldValueChanged(TextField* sender);
    void intTextFieldValueChanged(TextField* sender);
    void resetParameter(Button* sender);
    void updateSelectedFilterParameters();
    void saveAndCloseFilter();
    void addNewFilter();
    void deleteCurrentFilter();
    void updateFilterListView();
    void shareCurrentFilter();
    void importFilter();
    void testFilterSwitchChanged(Switch* sender);
    // The picker's answer: the picture, turned upright, becomes selectedPhotoCIImage.
    void imagePickerDidFinishPicking(const PickedPhoto& photo);
    Button* configureButtonStyle(const QString& title, const QString& emoji);
    View* createParameterRow(const FilterParameter& parameter);
    void addDoneButtonOnKeyboard(TextField* field);
    void doneButtonAction();
    // The frame handler's filter step, on "VideoDataOutputQueue": `frame` is the camera frame
    // turned upright. Renders the selected filter over it (or over the picked photo) and shows
    // the result in filteredImageView on the main queue; hides the overlay while filtering is off.
    void updateLiveFilterPreview(const image::Image& frame);

    // Location
    std::unique_ptr<LocationManager> locationManager;
    std::optional<Location> currentLocation() const;

private:
    // One entry of the recovery: its photo and movie made whole, processed, saved. Empty, or
    // why it could not be processed (it is then kept aside).
    std::string recoverEntry(const std::shared_ptr<JournalEntry>& entry, std::optional<Bytes>& photo,
                             CaptureJournal& journal);
    void registerApplicationObservers();
    bool acceptShutterPress();

    // Journal entries of the stills under way, by their settings' unique ID.
    std::map<std::int64_t, std::shared_ptr<JournalEntry>> stillEntries_;
    std::mutex stillEntriesMutex_;
    bool journalFailureShown_ = false;

    mutable std::mutex sharedStateMutex_;
    mutable std::mutex rawDelegatesMutex_;
    bool filterEnabled_ = false;
    std::optional<Dictionary> selectedFilter_;
    std::optional<image::Image> selectedPhoto_;
    struct LivePreviewSlot;  // the frame handler's hand-off to the main queue
    static std::shared_ptr<LivePreviewSlot> makeLivePreviewSlot();
    const std::shared_ptr<LivePreviewSlot> livePreviewSlot_ = makeLivePreviewSlot();
    std::optional<Location> currentLocation_;
};

}  // namespace sorvel
