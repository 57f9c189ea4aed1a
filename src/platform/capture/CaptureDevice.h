#pragma once
// A camera or microphone. Settings change only between a successful lockForConfiguration and
// unlockForConfiguration; a setter called without the lock, or with an unsupported mode,
// changes nothing and returns false. Values are clamped to the device's ranges.
//
// Threads: the app calls from the main thread; the backend reads and updates the automatic
// state (exposure, focus, white balance) from its frame thread. All members are safe to call
// from any thread.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/capture/CaptureTypes.h"
#include "platform/capture/DeviceDescription.h"

namespace sorvel {

struct CaptureDeviceFormat {
    double minISO = 0, maxISO = 0;
    double minExposureDuration = 0, maxExposureDuration = 0;  // seconds
    Dimensions highResolutionStillDimensions;
};

// Called once the first frame made with the new setting has been delivered, on the backend's
// frame thread, with that frame's time stamp in seconds.
using DeviceSettingsCompletion = std::function<void(double syncTime)>;

// Values the automatic controls drive; a snapshot the backend renders a frame with.
struct DeviceControlState {
    double zoomFactor = 1;
    FocusMode focusMode = FocusMode::ContinuousAutoFocus;
    CapturePoint focusPoint;
    float lensPosition = 0.5f;
    ExposureMode exposureMode = ExposureMode::ContinuousAutoExposure;
    CapturePoint exposurePoint;
    float targetBias = 0;
    double exposureDuration = 1.0 / 100;
    double iso = 100;
    WhiteBalanceMode whiteBalanceMode = WhiteBalanceMode::ContinuousAutoWhiteBalance;
    WhiteBalanceGains gains;
    TorchMode torchMode = TorchMode::Off;
    // Set by the app's auto focus / auto exposure requests, cleared once converged.
    bool focusScanPending = false;
    bool exposureScanPending = false;
};

class CaptureDevice {
public:
    explicit CaptureDevice(DeviceDescription description);

    // Discovery over the current backend's devices, ordered as the backend lists them.
    static std::vector<std::shared_ptr<CaptureDevice>> discover(const std::vector<DeviceType>& types, MediaType media,
                                                                DevicePosition position);
    static std::shared_ptr<CaptureDevice> defaultDevice(DeviceType type, MediaType media, DevicePosition position);
    // Back wide camera for video, the microphone for audio; nullptr when there is none.
    static std::shared_ptr<CaptureDevice> defaultDevice(MediaType media);

    const std::string& uniqueID() const { return description_.uniqueID; }
    const std::string& localizedName() const { return description_.localizedName; }
    DeviceType deviceType() const { return description_.type; }
    DevicePosition position() const { return description_.position; }
    bool hasMediaType(MediaType media) const;
    const DeviceDescription& description() const { return description_; }

    // Empty on success. Fails when the device is locked elsewhere or the backend refuses.
    CaptureStatus lockForConfiguration();
    void unlockForConfiguration();
    bool isLockedForConfiguration() const;

    CaptureDeviceFormat activeFormat() const;

    double minAvailableVideoZoomFactor() const { return description_.minZoom; }
    double maxAvailableVideoZoomFactor() const { return description_.maxZoom; }
    double videoZoomFactor() const;
    bool setVideoZoomFactor(double factor);

    bool isFocusModeSupported(FocusMode mode) const;
    FocusMode focusMode() const;
    bool setFocusMode(FocusMode mode);
    bool isFocusPointOfInterestSupported() const;
    CapturePoint focusPointOfInterest() const;
    bool setFocusPointOfInterest(CapturePoint point);
    // 0 focuses at infinity, 1 at the nearest distance.
    float lensPosition() const;
    bool setFocusModeLocked(float lensPosition, DeviceSettingsCompletion completion);

    bool isExposureModeSupported(ExposureMode mode) const;
    ExposureMode exposureMode() const;
    bool setExposureMode(ExposureMode mode);
    bool isExposurePointOfInterestSupported() const;
    CapturePoint exposurePointOfInterest() const;
    bool setExposurePointOfInterest(CapturePoint point);
    float exposureTargetBias() const;
    float minExposureTargetBias() const { return static_cast<float>(description_.minBias); }
    float maxExposureTargetBias() const { return static_cast<float>(description_.maxBias); }
    bool setExposureTargetBias(float bias, DeviceSettingsCompletion completion);
    // Switches to the custom mode with this duration (seconds) and ISO, clamped to the format.
    bool setExposureModeCustom(double duration, double iso, DeviceSettingsCompletion completion);
    double exposureDuration() const;
    double iso() const;

    bool isWhiteBalanceModeSupported(WhiteBalanceMode mode) const;
    WhiteBalanceMode whiteBalanceMode() const;
    bool setWhiteBalanceMode(WhiteBalanceMode mode);
    float maxWhiteBalanceGain() const { return static_cast<float>(description_.maxWhiteBalanceGain); }
    WhiteBalanceGains deviceWhiteBalanceGains() const;
    // Gains that make a neutral lit by this temperature and tint come out neutral.
    WhiteBalanceGains deviceWhiteBalanceGainsForTemperatureAndTint(TemperatureAndTint value) const;
    // Gains must each lie in 1 .. maxWhiteBalanceGain; others are refused.
    bool setWhiteBalanceModeLocked(WhiteBalanceGains gains, DeviceSettingsCompletion completion);

    bool hasTorch() const { return description_.hasTorch; }
    bool hasFlash() const { return description_.hasFlash; }
    bool isTorchModeSupported(TorchMode mode) const;
    TorchMode torchMode() const;
    bool setTorchMode(TorchMode mode);

    // Backend side. Snapshot of the controls, on the frame thread.
    DeviceControlState controlState() const;
    // Lets the automatic controls write their results without the configuration lock.
    void updateAutomaticState(const std::function<void(DeviceControlState&)>& update);
    // Hands over the completions waiting for the next frame.
    std::vector<DeviceSettingsCompletion> takePendingCompletions();
    void setFaults(std::set<CaptureFault> faults);
    bool hasFault(CaptureFault fault) const;

private:
    bool canConfigure() const;  // with mutex_ held
    DeviceDescription description_;
    mutable std::mutex mutex_;
    bool locked_ = false;
    DeviceControlState state_;
    std::vector<DeviceSettingsCompletion> pending_;
    std::set<CaptureFault> faults_;
};

}  // namespace sorvel
