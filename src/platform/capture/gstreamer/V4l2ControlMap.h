#pragma once
// Maps the capture device's controls (zoom, focus, exposure, white balance, torch) onto the
// V4L2 controls one camera offers, and tells what that camera can do and in which ranges.
//
// Units: the exposure time control counts 100 µs; exposure bias counts 0.001 EV. Gain has no
// unit, so ISO is taken as linear in it, ISO 100 at the control's minimum and 100 x max/min at
// its maximum (ISO 1600 when the minimum is 0). A lens position of 0 focuses at infinity, 1 at
// the nearest distance, as the focus control's minimum and maximum do. Locked white-balance
// gains are turned back into the colour temperature whose neutral they are.
//
// Threads: one at a time; the backend calls it on the session's worker queue.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/capture/CaptureDevice.h"
#include "platform/capture/gstreamer/V4l2ControlTable.h"

namespace sorvel {

class V4l2ControlMap {
public:
    // The table may be null (a camera without V4L2 controls): nothing is supported then.
    explicit V4l2ControlMap(std::shared_ptr<V4l2ControlTable> table);

    // Writes the capabilities and ranges into `description` (its zoom range is left to the
    // caller unless the driver zooms).
    void describe(DeviceDescription& description) const;
    bool hasOpticalZoom() const { return zoom_.has_value(); }
    bool hasTorch() const;
    // True when the driver says the sensor faces the user.
    std::optional<bool> facesUser() const;

    // Sends what changed since the last call; the first call sends everything. Returns one
    // text per control the driver refused ("exposure time 1/8000 s: Invalid argument").
    std::vector<std::string> apply(const DeviceControlState& wanted, const DeviceDescription& description);

    // The driver's present values, for the automatic modes and the photo's Exif.
    std::optional<double> exposureDuration();
    std::optional<double> iso();
    std::optional<float> lensPosition();

    // The conversions, exposed for the tests and the Exif.
    double isoForGain(std::int64_t gain) const;
    std::int64_t gainForISO(double iso) const;
    std::int64_t focusForLensPosition(float lensPosition) const;
    float lensPositionForFocus(std::int64_t focus) const;

private:
    void set(const std::optional<V4l2Control>& control, std::int64_t value, const std::string& what,
             std::vector<std::string>& refusals);
    double maxISO() const;

    std::shared_ptr<V4l2ControlTable> table_;
    std::optional<V4l2Control> exposureAuto_, exposureTime_, gain_, bias_, focusAuto_, focus_, whiteBalanceAuto_,
        temperature_, redBalance_, blueBalance_, zoom_, flashMode_, orientation_;
    std::map<std::uint32_t, std::int64_t> sent_;  // the last value sent to each control
};

}  // namespace sorvel
