#include "platform/capture/CaptureDevice.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/capture/CaptureBackend.h"
#include "platform/capture/WhiteBalanceModel.h"

namespace sorvel {

CaptureDevice::CaptureDevice(DeviceDescription description)
    : description_(std::move(description)), faults_(description_.faults) {
    state_.zoomFactor = std::clamp(1.0, description_.minZoom, description_.maxZoom);
    state_.iso = std::clamp(100.0, description_.minISO, description_.maxISO);
    state_.exposureDuration =
        std::clamp(1.0 / 100, description_.minExposureDuration, description_.maxExposureDuration);
    state_.gains = neutralGains(description_, daylightTemperature());
}

std::vector<std::shared_ptr<CaptureDevice>> CaptureDevice::discover(const std::vector<DeviceType>& types,
                                                                    MediaType media, DevicePosition position) {
    std::vector<std::shared_ptr<CaptureDevice>> found;
    for (auto& device : CaptureBackend::current().devices()) {
        if (!device->hasMediaType(media)) continue;
        if (std::find(types.begin(), types.end(), device->deviceType()) == types.end()) continue;
        if (position != DevicePosition::Unspecified && device->position() != position) continue;
        found.push_back(device);
    }
    return found;
}

std::shared_ptr<CaptureDevice> CaptureDevice::defaultDevice(DeviceType type, MediaType media,
                                                            DevicePosition position) {
    // With no position asked for, the back camera of that type comes first, as on a phone.
    auto all = discover({type}, media, position);
    for (auto& d : all)
        if (d->position() == DevicePosition::Back) return d;
    return all.empty() ? nullptr : all.front();
}

std::shared_ptr<CaptureDevice> CaptureDevice::defaultDevice(MediaType media) {
    if (media == MediaType::Audio) {
        auto mics = discover({DeviceType::BuiltInMicrophone}, MediaType::Audio, DevicePosition::Unspecified);
        return mics.empty() ? nullptr : mics.front();
    }
    return defaultDevice(DeviceType::BuiltInWideAngleCamera, MediaType::Video, DevicePosition::Unspecified);
}

bool CaptureDevice::hasMediaType(MediaType media) const {
    return (media == MediaType::Audio) == (description_.type == DeviceType::BuiltInMicrophone);
}

CaptureStatus CaptureDevice::lockForConfiguration() {
    std::lock_guard lock(mutex_);
    if (faults_.count(CaptureFault::LockFailure))
        return CaptureError{CaptureErrorCode::LockFailed,
                            "Cannot lock " + description_.localizedName + " for configuration: the device is busy"};
    locked_ = true;
    return std::nullopt;
}

void CaptureDevice::unlockForConfiguration() {
    std::lock_guard lock(mutex_);
    locked_ = false;
}

bool CaptureDevice::isLockedForConfiguration() const {
    std::lock_guard lock(mutex_);
    return locked_;
}

bool CaptureDevice::canConfigure() const { return locked_ && description_.type != DeviceType::BuiltInMicrophone; }

CaptureDeviceFormat CaptureDevice::activeFormat() const {
    return {description_.minISO, description_.maxISO, description_.minExposureDuration,
            description_.maxExposureDuration, description_.sensor};
}

double CaptureDevice::videoZoomFactor() const {
    std::lock_guard lock(mutex_);
    return state_.zoomFactor;
}

bool CaptureDevice::setVideoZoomFactor(double factor) {
    std::lock_guard lock(mutex_);
    if (!canConfigure() || !std::isfinite(factor)) return false;
    state_.zoomFactor = std::clamp(factor, description_.minZoom, description_.maxZoom);
    return true;
}

bool CaptureDevice::isFocusModeSupported(FocusMode mode) const {
    if (description_.type == DeviceType::BuiltInMicrophone) return false;
    return mode == FocusMode::Locked ? description_.supportsLockedFocus : description_.supportsAutoFocus;
}

FocusMode CaptureDevice::focusMode() const {
    std::lock_guard lock(mutex_);
    return state_.focusMode;
}

bool CaptureDevice::setFocusMode(FocusMode mode) {
    std::lock_guard lock(mutex_);
    if (!canConfigure() || !isFocusModeSupported(mode)) return false;
    state_.focusMode = mode;
    state_.focusScanPending = mode != FocusMode::Locked;
    return true;
}

bool CaptureDevice::isFocusPointOfInterestSupported() const {
    return hasMediaType(MediaType::Video) && description_.supportsPointsOfInterest && description_.supportsAutoFocus;
}

CapturePoint CaptureDevice::focusPointOfInterest() const {
    std::lock_guard lock(mutex_);
    return state_.focusPoint;
}

static CapturePoint clampPoint(CapturePoint p) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return {};
    return {std::clamp(p.x, 0.0, 1.0), std::clamp(p.y, 0.0, 1.0)};
}

bool CaptureDevice::setFocusPointOfInterest(CapturePoint point) {
    std::lock_guard lock(mutex_);
    if (!canConfigure() || !isFocusPointOfInterestSupported()) return false;
    state_.focusPoint = clampPoint(point);
    return true;
}

float CaptureDevice::lensPosition() const {
    std::lock_guard lock(mutex_);
    return state_.lensPosition;
}

bool CaptureDevice::setFocusModeLocked(float lensPosition, DeviceSettingsCompletion completion) {
    std::lock_guard lock(mutex_);
    if (!canConfigure() || !description_.supportsLockedFocus || !std::isfinite(lensPosition)) return false;
    state_.focusMode = FocusMode::Locked;
    state_.focusScanPending = false;
    state_.lensPosition = std::clamp(lensPosition, 0.0f, 1.0f);
    if (completion) pending_.push_back(std::move(completion));
    return true;
}

bool CaptureDevice::isExposureModeSupported(ExposureMode mode) const {
    if (!hasMediaType(MediaType::Video)) return false;
    return mode != ExposureMode::Custom || description_.supportsCustomExposure;
}

ExposureMode CaptureDevice::exposureMode() const {
    std::lock_guard lock(mutex_);
    return state_.exposureMode;
}

bool CaptureDevice::setExposureMode(ExposureMode mode) {
    std::lock_guard lock(mutex_);
    if (!canConfigure() || !isExposureModeSupported(mode)) return false;
    state_.exposureMode = mode;
    state_.exposureScanPending = mode == ExposureMode::AutoExpose;
    return true;
}

bool CaptureDevice::isExposurePointOfInterestSupported() const {
    return hasMediaType(MediaType::Video) && description_.supportsPointsOfInterest;
}

CapturePoint CaptureDevice::exposurePointOfInterest() const {
    std::lock_guard lock(mutex_);
    return state_.exposurePoint;
}

bool CaptureDevice::setExposurePointOfInterest(CapturePoint point) {
    std::lock_guard lock(mutex_);
    if (!canConfigure() || !isExposurePointOfInterestSupported()) return false;
    state_.exposurePoint = clampPoint(point);
    return true;
}

float CaptureDevice::exposureTargetBias() const {
    std::lock_guard lock(mutex_);
    return state_.targetBias;
}

bool CaptureDevice::setExposureTargetBias(float bias, DeviceSettingsCompletion completion) {
    std::lock_guard lock(mutex_);
    if (!canConfigure() || !std::isfinite(bias)) return false;
    state_.targetBias = std::clamp(bias, minExposureTargetBias(), maxExposureTargetBias());
    if (completion) pending_.push_back(std::move(completion));
    return true;
}

bool CaptureDevice::setExposureModeCustom(double duration, double iso, DeviceSettingsCompletion completion) {
    std::lock_guard lock(mutex_);
    if (!canConfigure() || !description_.supportsCustomExposure || !std::isfinite(duration) || !std::isfinite(iso))
        return false;
    state_.exposureMode = ExposureMode::Custom;
    state_.exposureScanPending = false;
    state_.exposureDuration =
        std::clamp(duration, description_.minExposureDuration, description_.maxExposureDuration);
    state_.iso = std::clamp(iso, description_.minISO, description_.maxISO);
    if (completion) pending_.push_back(std::move(completion));
    return true;
}

double CaptureDevice::exposureDuration() const {
    std::lock_guard lock(mutex_);
    return state_.exposureDuration;
}

double CaptureDevice::iso() const {
    std::lock_guard lock(mutex_);
    return state_.iso;
}

bool CaptureDevice::isWhiteBalanceModeSupported(WhiteBalanceMode mode) const {
    if (!hasMediaType(MediaType::Video)) return false;
    return mode != WhiteBalanceMode::Locked || description_.supportsLockedWhiteBalance;
}

WhiteBalanceMode CaptureDevice::whiteBalanceMode() const {
    std::lock_guard lock(mutex_);
    return state_.whiteBalanceMode;
}

bool CaptureDevice::setWhiteBalanceMode(WhiteBalanceMode mode) {
    std::lock_guard lock(mutex_);
    if (!canConfigure() || !isWhiteBalanceModeSupported(mode)) return false;
    state_.whiteBalanceMode = mode;
    return true;
}

WhiteBalanceGains CaptureDevice::deviceWhiteBalanceGains() const {
    std::lock_guard lock(mutex_);
    return state_.gains;
}

WhiteBalanceGains CaptureDevice::deviceWhiteBalanceGainsForTemperatureAndTint(TemperatureAndTint value) const {
    WhiteBalanceGains g = neutralGains(description_, value);
    float maxGain = maxWhiteBalanceGain();
    return {std::min(g.redGain, maxGain), std::min(g.greenGain, maxGain), std::min(g.blueGain, maxGain)};
}

bool CaptureDevice::setWhiteBalanceModeLocked(WhiteBalanceGains gains, DeviceSettingsCompletion completion) {
    std::lock_guard lock(mutex_);
    if (!canConfigure() || !description_.supportsLockedWhiteBalance) return false;
    float maxGain = maxWhiteBalanceGain();
    for (float g : {gains.redGain, gains.greenGain, gains.blueGain})
        if (!(g >= 1.0f && g <= maxGain)) return false;
    state_.whiteBalanceMode = WhiteBalanceMode::Locked;
    state_.gains = gains;
    if (completion) pending_.push_back(std::move(completion));
    return true;
}

bool CaptureDevice::isTorchModeSupported(TorchMode) const { return description_.hasTorch; }

TorchMode CaptureDevice::torchMode() const {
    std::lock_guard lock(mutex_);
    return state_.torchMode;
}

bool CaptureDevice::setTorchMode(TorchMode mode) {
    std::lock_guard lock(mutex_);
    if (!canConfigure() || !description_.hasTorch) return false;
    state_.torchMode = mode;
    return true;
}

DeviceControlState CaptureDevice::controlState() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void CaptureDevice::updateAutomaticState(const std::function<void(DeviceControlState&)>& update) {
    std::lock_guard lock(mutex_);
    update(state_);
}

std::vector<DeviceSettingsCompletion> CaptureDevice::takePendingCompletions() {
    std::lock_guard lock(mutex_);
    return std::exchange(pending_, {});
}

void CaptureDevice::setFaults(std::set<CaptureFault> faults) {
    std::lock_guard lock(mutex_);
    faults_ = std::move(faults);
}

bool CaptureDevice::hasFault(CaptureFault fault) const {
    std::lock_guard lock(mutex_);
    return faults_.count(fault) > 0;
}

}  // namespace sorvel
