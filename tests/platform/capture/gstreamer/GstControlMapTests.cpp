// The mapping of the device's controls onto V4L2 controls, against a table of our own: what a
// camera's controls let the app do, what is sent, and what a driver refuses.

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <map>

#include "platform/capture/CaptureDevice.h"
#include "platform/capture/WhiteBalanceModel.h"
#include "platform/capture/gstreamer/V4l2ControlMap.h"

using namespace sorvel;

namespace {

// A driver's control table: values kept, some refused.
class FakeControls : public V4l2ControlTable {
public:
    std::vector<V4l2Control> table;
    std::map<std::uint32_t, std::int64_t> values;
    std::vector<std::pair<std::uint32_t, std::int64_t>> sent;
    std::map<std::uint32_t, std::string> refuse;  // control -> reason

    void add(std::uint32_t id, V4l2Control::Type type, std::int64_t min, std::int64_t max, std::int64_t def,
             std::vector<std::int64_t> items = {}) {
        V4l2Control c;
        c.id = id, c.type = type, c.minimum = min, c.maximum = max, c.defaultValue = def, c.menuItems = items;
        table.push_back(c);
        values[id] = def;
    }
    std::vector<V4l2Control> controls() const override { return table; }
    std::optional<std::int64_t> value(std::uint32_t id) override {
        auto it = values.find(id);
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
    std::optional<std::string> setValue(std::uint32_t id, std::int64_t v) override {
        sent.push_back({id, v});
        if (auto it = refuse.find(id); it != refuse.end()) return it->second;
        values[id] = v;
        return std::nullopt;
    }
};

// A typical UVC webcam: manual and aperture-priority exposure (no plain auto), exposure time
// 3..2047 (x 100 µs), gain 0..255, focus 0..250 with auto focus, white balance 2800..6500 K.
std::shared_ptr<FakeControls> webcam() {
    auto t = std::make_shared<FakeControls>();
    using T = V4l2Control::Type;
    t->add(V4L2_CID_EXPOSURE_AUTO, T::Menu, 0, 3, 3, {1, 3});
    t->add(V4L2_CID_EXPOSURE_ABSOLUTE, T::Integer, 3, 2047, 250);
    t->add(V4L2_CID_GAIN, T::Integer, 0, 255, 0);
    t->add(V4L2_CID_FOCUS_AUTO, T::Boolean, 0, 1, 1);
    t->add(V4L2_CID_FOCUS_ABSOLUTE, T::Integer, 0, 250, 0);
    t->add(V4L2_CID_AUTO_WHITE_BALANCE, T::Boolean, 0, 1, 1);
    t->add(V4L2_CID_WHITE_BALANCE_TEMPERATURE, T::Integer, 2800, 6500, 4600);
    return t;
}

DeviceDescription described(V4l2ControlMap& map) {
    DeviceDescription d;
    d.supportsAutoFocus = d.supportsLockedFocus = d.supportsCustomExposure = false;
    d.supportsLockedWhiteBalance = d.supportsPointsOfInterest = false;
    for (int i = 0; i < 3; ++i) d.channelSensitivity[i] = 1;
    for (int i = 0; i < 9; ++i) d.crosstalk[i] = i % 4 == 0 ? 1 : 0;
    map.describe(d);
    return d;
}

std::int64_t lastSent(const FakeControls& t, std::uint32_t id) {
    for (auto it = t.sent.rbegin(); it != t.sent.rend(); ++it)
        if (it->first == id) return it->second;
    return -1;
}

}  // namespace

// The ranges the driver reports become the device's: pro mode's sliders span them.
TEST(GstControlMap, DriverRangesBecomeTheDevicesRanges) {
    V4l2ControlMap map(webcam());
    DeviceDescription d = described(map);
    EXPECT_TRUE(d.supportsCustomExposure);
    EXPECT_TRUE(d.supportsLockedFocus);
    EXPECT_TRUE(d.supportsAutoFocus);
    EXPECT_TRUE(d.supportsLockedWhiteBalance);
    EXPECT_FALSE(d.supportsPointsOfInterest);
    EXPECT_FALSE(d.hasTorch);
    EXPECT_NEAR(d.minExposureDuration, 0.0003, 1e-9);
    EXPECT_NEAR(d.maxExposureDuration, 0.2047, 1e-9);
    // Gain from 0: ISO 100 to 1600, linear in the gain code.
    EXPECT_DOUBLE_EQ(d.minISO, 100);
    EXPECT_DOUBLE_EQ(d.maxISO, 1600);
    EXPECT_DOUBLE_EQ(map.isoForGain(255), 1600);
    EXPECT_EQ(map.gainForISO(850), 128);
    EXPECT_EQ(map.gainForISO(100000), 255);
    EXPECT_DOUBLE_EQ(d.minBias, 0);
    EXPECT_DOUBLE_EQ(d.maxBias, 0);

    // A gain that starts above 0 is taken as proportional: ISO 100 x max / min at the top.
    auto t = std::make_shared<FakeControls>();
    t->add(V4L2_CID_ANALOGUE_GAIN, V4l2Control::Type::Integer, 16, 248, 16);
    V4l2ControlMap proportional(t);
    EXPECT_DOUBLE_EQ(described(proportional).maxISO, 1550);
    EXPECT_DOUBLE_EQ(proportional.isoForGain(32), 200);
}

// Manual exposure leaves the driver's automatic mode before the time and gain go out, in the
// driver's units; leaving it again restores the mode the camera has (aperture priority).
TEST(GstControlMap, CustomExposureAndFocusGoOutInDriverUnits) {
    auto t = webcam();
    V4l2ControlMap map(t);
    DeviceDescription d = described(map);
    DeviceControlState s;
    s.exposureMode = ExposureMode::Custom;
    s.exposureDuration = 1.0 / 100;
    s.iso = 400;
    s.focusMode = FocusMode::Locked;
    s.lensPosition = 0.4f;
    EXPECT_TRUE(map.apply(s, d).empty());
    EXPECT_EQ(t->values[V4L2_CID_EXPOSURE_AUTO], V4L2_EXPOSURE_MANUAL);
    EXPECT_EQ(t->values[V4L2_CID_EXPOSURE_ABSOLUTE], 100);
    EXPECT_EQ(t->values[V4L2_CID_GAIN], 51);
    EXPECT_EQ(t->values[V4L2_CID_FOCUS_AUTO], 0);
    EXPECT_EQ(t->values[V4L2_CID_FOCUS_ABSOLUTE], 100);
    auto manualAt = std::find(t->sent.begin(), t->sent.end(), std::pair<std::uint32_t, std::int64_t>(V4L2_CID_EXPOSURE_AUTO, 1));
    auto timeAt = std::find(t->sent.begin(), t->sent.end(), std::pair<std::uint32_t, std::int64_t>(V4L2_CID_EXPOSURE_ABSOLUTE, 100));
    EXPECT_LT(manualAt, timeAt);
    // The driver reads back what was set; the app sees it as the device's lens position.
    EXPECT_NEAR(*map.exposureDuration(), 0.01, 1e-9);
    EXPECT_NEAR(*map.lensPosition(), 0.4f, 1e-6);

    // Out of range values are clamped before they are sent; nothing unchanged is sent again.
    s.exposureDuration = 5;
    std::size_t before = t->sent.size();
    map.apply(s, d);
    EXPECT_EQ(t->values[V4L2_CID_EXPOSURE_ABSOLUTE], 2047);
    EXPECT_EQ(t->sent.size(), before + 1);

    s.exposureMode = ExposureMode::ContinuousAutoExposure;
    s.focusMode = FocusMode::ContinuousAutoFocus;
    map.apply(s, d);
    EXPECT_EQ(t->values[V4L2_CID_EXPOSURE_AUTO], V4L2_EXPOSURE_APERTURE_PRIORITY);
    EXPECT_EQ(t->values[V4L2_CID_FOCUS_AUTO], 1);
}

// Locked gains from the app's temperature mapping go to the driver as that temperature.
TEST(GstControlMap, LockedGainsBecomeTheirTemperature) {
    auto t = webcam();
    V4l2ControlMap map(t);
    DeviceDescription d = described(map);
    for (float kelvin : {3200.0f, 5000.0f}) {
        DeviceControlState s;
        s.whiteBalanceMode = WhiteBalanceMode::Locked;
        s.gains = neutralGains(d, {kelvin, 0});
        map.apply(s, d);
        EXPECT_EQ(t->values[V4L2_CID_AUTO_WHITE_BALANCE], 0);
        EXPECT_NEAR(double(t->values[V4L2_CID_WHITE_BALANCE_TEMPERATURE]), kelvin, 60) << kelvin;
    }
}

// A camera without a control offers none of what needs it: the device refuses the mode, so
// pro mode's calls change nothing (and the app skips them by the support test).
TEST(GstControlMap, AControlTheCameraLacksIsRefusedByTheDevice) {
    auto t = std::make_shared<FakeControls>();
    t->add(V4L2_CID_EXPOSURE_AUTO, V4l2Control::Type::Menu, 0, 3, 0, {0});  // auto only
    t->add(V4L2_CID_AUTO_WHITE_BALANCE, V4l2Control::Type::Boolean, 0, 1, 1);
    V4l2ControlMap map(t);
    DeviceDescription d = described(map);
    d.uniqueID = "fake";
    CaptureDevice device(d);
    EXPECT_FALSE(device.isExposureModeSupported(ExposureMode::Custom));
    EXPECT_TRUE(device.isExposureModeSupported(ExposureMode::ContinuousAutoExposure));
    EXPECT_FALSE(device.isFocusModeSupported(FocusMode::Locked));
    EXPECT_FALSE(device.isWhiteBalanceModeSupported(WhiteBalanceMode::Locked));
    EXPECT_FALSE(device.isFocusPointOfInterestSupported());
    ASSERT_FALSE(device.lockForConfiguration().has_value());
    EXPECT_FALSE(device.setExposureModeCustom(0.01, 200, nullptr));
    EXPECT_FALSE(device.setFocusModeLocked(0.5f, nullptr));
    EXPECT_FALSE(device.setWhiteBalanceModeLocked({1, 1, 1}, nullptr));
    EXPECT_FALSE(device.setExposureMode(ExposureMode::Custom));
    EXPECT_TRUE(device.setExposureMode(ExposureMode::ContinuousAutoExposure));
    device.unlockForConfiguration();
    EXPECT_EQ(device.exposureMode(), ExposureMode::ContinuousAutoExposure);

    // The map never sends what the camera cannot take: a manual request sends only the mode
    // the camera has.
    DeviceControlState s;
    s.exposureMode = ExposureMode::Custom;
    s.whiteBalanceMode = WhiteBalanceMode::Locked;
    map.apply(s, d);
    for (auto& [id, value] : t->sent) {
        EXPECT_NE(id, std::uint32_t(V4L2_CID_EXPOSURE_ABSOLUTE));
        if (id == V4L2_CID_EXPOSURE_AUTO) {
            EXPECT_EQ(value, V4L2_EXPOSURE_AUTO);
        }
        if (id == V4L2_CID_AUTO_WHITE_BALANCE) {
            EXPECT_EQ(value, 1);
        }
    }
    // No controls at all (a test source): nothing is offered, nothing is sent.
    V4l2ControlMap none(nullptr);
    EXPECT_FALSE(described(none).supportsCustomExposure);
    EXPECT_TRUE(none.apply(s, d).empty());
}

// A value the driver refuses is reported once, with the driver's reason, and not sent again
// with every frame; the next different value goes out.
TEST(GstControlMap, ARefusedValueIsReportedOnce) {
    auto t = webcam();
    t->refuse[V4L2_CID_EXPOSURE_ABSOLUTE] = "Device or resource busy";
    V4l2ControlMap map(t);
    DeviceDescription d = described(map);
    DeviceControlState s;
    s.exposureMode = ExposureMode::Custom;
    s.exposureDuration = 0.02;
    auto refusals = map.apply(s, d);
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_NE(refusals[0].find("= 200: Device or resource busy"), std::string::npos) << refusals[0];
    EXPECT_EQ(t->values[V4L2_CID_EXPOSURE_ABSOLUTE], 250);  // unchanged in the driver
    EXPECT_TRUE(map.apply(s, d).empty());
    t->refuse.clear();
    s.exposureDuration = 0.03;
    EXPECT_TRUE(map.apply(s, d).empty());
    EXPECT_EQ(lastSent(*t, V4L2_CID_EXPOSURE_ABSOLUTE), 300);
}

// The torch and the driver's zoom, where the camera has them.
TEST(GstControlMap, TorchAndDriverZoom) {
    auto t = std::make_shared<FakeControls>();
    t->add(V4L2_CID_FLASH_LED_MODE, V4l2Control::Type::Menu, 0, 2, 0, {0, 1, 2});
    t->add(V4L2_CID_ZOOM_ABSOLUTE, V4l2Control::Type::Integer, 100, 500, 100);
    V4l2ControlMap map(t);
    DeviceDescription d = described(map);
    EXPECT_TRUE(d.hasTorch);
    EXPECT_TRUE(map.hasOpticalZoom());
    EXPECT_DOUBLE_EQ(d.maxZoom, 5);
    DeviceControlState s;
    s.torchMode = TorchMode::On;
    s.zoomFactor = 3;
    map.apply(s, d);
    EXPECT_EQ(t->values[V4L2_CID_FLASH_LED_MODE], V4L2_FLASH_LED_MODE_TORCH);
    EXPECT_EQ(t->values[V4L2_CID_ZOOM_ABSOLUTE], 300);
    s.torchMode = TorchMode::Off;
    map.apply(s, d);
    EXPECT_EQ(t->values[V4L2_CID_FLASH_LED_MODE], V4L2_FLASH_LED_MODE_NONE);
}
