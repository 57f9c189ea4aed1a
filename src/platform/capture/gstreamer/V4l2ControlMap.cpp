#include "platform/capture/gstreamer/V4l2ControlMap.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cmath>

#include "platform/capture/WhiteBalanceModel.h"

namespace sorvel {

namespace {
constexpr double kExposureUnit = 100e-6;  // seconds per step of the exposure time control
constexpr double kBiasUnit = 0.001;        // EV per step of the bias control
constexpr double kBaseISO = 100;
}  // namespace

bool V4l2Control::hasMenuItem(std::int64_t index) const {
    return std::find(menuItems.begin(), menuItems.end(), index) != menuItems.end();
}

V4l2ControlMap::V4l2ControlMap(std::shared_ptr<V4l2ControlTable> table) : table_(std::move(table)) {
    if (!table_) return;
    std::vector<V4l2Control> all = table_->controls();
    auto pick = [&](std::initializer_list<std::uint32_t> ids) -> std::optional<V4l2Control> {
        for (std::uint32_t id : ids)
            for (const auto& c : all)
                if (c.id == id && !c.readOnly) return c;
        return std::nullopt;
    };
    exposureAuto_ = pick({V4L2_CID_EXPOSURE_AUTO});
    exposureTime_ = pick({V4L2_CID_EXPOSURE_ABSOLUTE});
    gain_ = pick({V4L2_CID_GAIN, V4L2_CID_ANALOGUE_GAIN});
    bias_ = pick({V4L2_CID_AUTO_EXPOSURE_BIAS});
    focusAuto_ = pick({V4L2_CID_FOCUS_AUTO});
    focus_ = pick({V4L2_CID_FOCUS_ABSOLUTE});
    whiteBalanceAuto_ = pick({V4L2_CID_AUTO_WHITE_BALANCE});
    temperature_ = pick({V4L2_CID_WHITE_BALANCE_TEMPERATURE});
    redBalance_ = pick({V4L2_CID_RED_BALANCE});
    blueBalance_ = pick({V4L2_CID_BLUE_BALANCE});
    zoom_ = pick({V4L2_CID_ZOOM_ABSOLUTE});
    flashMode_ = pick({V4L2_CID_FLASH_LED_MODE});
    for (const auto& c : all)
        if (c.id == V4L2_CID_CAMERA_ORIENTATION) orientation_ = c;
    // A gain or focus control without range is no control at all.
    for (auto* c : {&exposureTime_, &gain_, &focus_, &temperature_, &zoom_})
        if (*c && (*c)->maximum <= (*c)->minimum) c->reset();
}

bool V4l2ControlMap::hasTorch() const { return flashMode_ && flashMode_->hasMenuItem(V4L2_FLASH_LED_MODE_TORCH); }

std::optional<bool> V4l2ControlMap::facesUser() const {
    if (!orientation_ || !table_) return std::nullopt;
    auto v = table_->value(orientation_->id);
    if (!v) v = orientation_->defaultValue;
    if (*v == V4L2_CAMERA_ORIENTATION_FRONT) return true;
    if (*v == V4L2_CAMERA_ORIENTATION_BACK) return false;
    return std::nullopt;  // external: a webcam, decided by the caller
}

double V4l2ControlMap::maxISO() const {
    if (!gain_) return kBaseISO;
    return gain_->minimum > 0 ? kBaseISO * gain_->maximum / gain_->minimum : kBaseISO * 16;
}

double V4l2ControlMap::isoForGain(std::int64_t gain) const {
    if (!gain_) return kBaseISO;
    double u = double(gain - gain_->minimum) / double(gain_->maximum - gain_->minimum);
    return kBaseISO + std::clamp(u, 0.0, 1.0) * (maxISO() - kBaseISO);
}

std::int64_t V4l2ControlMap::gainForISO(double iso) const {
    if (!gain_) return 0;
    double u = (iso - kBaseISO) / (maxISO() - kBaseISO);
    return gain_->minimum + std::llround(std::clamp(u, 0.0, 1.0) * double(gain_->maximum - gain_->minimum));
}

std::int64_t V4l2ControlMap::focusForLensPosition(float lensPosition) const {
    if (!focus_) return 0;
    double u = std::clamp(double(lensPosition), 0.0, 1.0);
    return focus_->minimum + std::llround(u * double(focus_->maximum - focus_->minimum));
}

float V4l2ControlMap::lensPositionForFocus(std::int64_t focus) const {
    if (!focus_) return 0.5f;
    double u = double(focus - focus_->minimum) / double(focus_->maximum - focus_->minimum);
    return static_cast<float>(std::clamp(u, 0.0, 1.0));
}

void V4l2ControlMap::describe(DeviceDescription& d) const {
    d.supportsCustomExposure =
        exposureTime_.has_value() && (!exposureAuto_ || exposureAuto_->hasMenuItem(V4L2_EXPOSURE_MANUAL));
    if (exposureTime_) {
        d.minExposureDuration = std::max<std::int64_t>(exposureTime_->minimum, 1) * kExposureUnit;
        d.maxExposureDuration = exposureTime_->maximum * kExposureUnit;
    }
    d.minISO = kBaseISO;
    d.maxISO = maxISO();
    d.minBias = bias_ ? bias_->minimum * kBiasUnit : 0;
    d.maxBias = bias_ ? bias_->maximum * kBiasUnit : 0;
    d.supportsAutoFocus = focusAuto_.has_value();
    d.supportsLockedFocus = focus_.has_value();
    d.supportsLockedWhiteBalance = temperature_.has_value() || (redBalance_ && blueBalance_);
    // V4L2 has no metering or focus region a tap could set.
    d.supportsPointsOfInterest = false;
    d.hasTorch = hasTorch();
    if (zoom_) {
        d.minZoom = 1;
        d.maxZoom = zoom_->minimum > 0 ? double(zoom_->maximum) / zoom_->minimum : 4;
    }
}

void V4l2ControlMap::set(const std::optional<V4l2Control>& control, std::int64_t value, const std::string& what,
                         std::vector<std::string>& refusals) {
    if (!control || !table_) return;
    if (control->type == V4l2Control::Type::Integer) {
        value = std::clamp(value, control->minimum, control->maximum);
        if (control->step > 1) value = control->minimum + (value - control->minimum) / control->step * control->step;
    }
    auto sent = sent_.find(control->id);
    if (sent != sent_.end() && sent->second == value) return;
    // Remembered even when refused, so a refused value is not sent again with every frame.
    sent_[control->id] = value;
    if (auto why = table_->setValue(control->id, value))
        refusals.push_back((control->name.empty() ? what : control->name) + " = " + std::to_string(value) + ": " + *why);
}

std::vector<std::string> V4l2ControlMap::apply(const DeviceControlState& wanted, const DeviceDescription& description) {
    std::vector<std::string> refusals;
    if (!table_) return refusals;

    // Automatic modes are left before their manual values are sent: drivers refuse a manual
    // value while the automatic mode runs.
    if (wanted.exposureMode == ExposureMode::Custom && description.supportsCustomExposure) {
        set(exposureAuto_, V4L2_EXPOSURE_MANUAL, "exposure mode", refusals);
        set(exposureTime_, std::llround(wanted.exposureDuration / kExposureUnit), "exposure time", refusals);
        set(gain_, gainForISO(wanted.iso), "gain", refusals);
    } else {
        if (exposureAuto_) {
            auto mode = exposureAuto_->hasMenuItem(V4L2_EXPOSURE_AUTO) ? V4L2_EXPOSURE_AUTO : V4L2_EXPOSURE_APERTURE_PRIORITY;
            if (exposureAuto_->hasMenuItem(mode)) set(exposureAuto_, mode, "exposure mode", refusals);
        }
        set(bias_, std::llround(wanted.targetBias / kBiasUnit), "exposure bias", refusals);
    }

    if (wanted.focusMode == FocusMode::Locked && focus_) {
        set(focusAuto_, 0, "automatic focus", refusals);
        set(focus_, focusForLensPosition(wanted.lensPosition), "focus", refusals);
    } else {
        set(focusAuto_, 1, "automatic focus", refusals);
    }

    if (wanted.whiteBalanceMode == WhiteBalanceMode::Locked && description.supportsLockedWhiteBalance) {
        set(whiteBalanceAuto_, 0, "automatic white balance", refusals);
        const WhiteBalanceGains& g = wanted.gains;
        if (temperature_) {
            // The temperature whose neutral needs the same red and blue gains, relative to green.
            double bestError = INFINITY;
            std::int64_t best = temperature_->defaultValue;
            std::int64_t step = std::max<std::int64_t>(temperature_->step, 10);
            for (std::int64_t t = temperature_->minimum; t <= temperature_->maximum; t += step) {
                WhiteBalanceGains n = neutralGains(description, {float(t), 0});
                double e = std::abs(std::log((n.redGain / n.greenGain) / (g.redGain / g.greenGain))) +
                           std::abs(std::log((n.blueGain / n.greenGain) / (g.blueGain / g.greenGain)));
                if (e < bestError) bestError = e, best = t;
            }
            set(temperature_, best, "white balance temperature", refusals);
        } else {
            set(redBalance_, std::llround(redBalance_->defaultValue * g.redGain / g.greenGain), "red balance", refusals);
            set(blueBalance_, std::llround(blueBalance_->defaultValue * g.blueGain / g.greenGain), "blue balance",
                refusals);
        }
    } else {
        set(whiteBalanceAuto_, 1, "automatic white balance", refusals);
    }

    if (zoom_ && description.maxZoom > description.minZoom) {
        double u = (wanted.zoomFactor - description.minZoom) / (description.maxZoom - description.minZoom);
        set(zoom_, zoom_->minimum + std::llround(std::clamp(u, 0.0, 1.0) * double(zoom_->maximum - zoom_->minimum)),
            "zoom", refusals);
    }
    if (hasTorch())
        set(flashMode_, wanted.torchMode == TorchMode::On ? V4L2_FLASH_LED_MODE_TORCH : V4L2_FLASH_LED_MODE_NONE,
            "torch", refusals);
    return refusals;
}

std::optional<double> V4l2ControlMap::exposureDuration() {
    if (!exposureTime_ || !table_) return std::nullopt;
    auto v = table_->value(exposureTime_->id);
    if (!v) return std::nullopt;
    return *v * kExposureUnit;
}

std::optional<double> V4l2ControlMap::iso() {
    if (!gain_ || !table_) return std::nullopt;
    auto v = table_->value(gain_->id);
    if (!v) return std::nullopt;
    return isoForGain(*v);
}

std::optional<float> V4l2ControlMap::lensPosition() {
    if (!focus_ || !table_) return std::nullopt;
    auto v = table_->value(focus_->id);
    if (!v) return std::nullopt;
    return lensPositionForFocus(*v);
}

}  // namespace sorvel
