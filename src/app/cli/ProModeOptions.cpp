#include "app/cli/ProModeOptions.h"

#include <QCoreApplication>
#include <QMouseEvent>

#include "app/ViewController.h"
#include "app/pro/ManualValues.h"
#include "platform/foundation/Value.h"
#include "platform/ui/Slider.h"

namespace sorvel {

namespace {
std::optional<double> parseSeconds(const std::string& text) {
    if (text.rfind("1/", 0) == 0) {
        auto denominator = parseNumber(text.substr(2));
        if (!denominator || !(*denominator > 0)) return std::nullopt;
        return 1.0 / *denominator;
    }
    return parseNumber(text);
}
}  // namespace

ProModeValuesResult parseProModeValues(const std::string& text) {
    ProModeValues values;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, end - start);
        start = end + 1;
        const std::size_t eq = item.find('=');
        if (eq == std::string::npos) return {std::nullopt, "--pro takes KEY=VALUE items, got \"" + item + "\""};
        const std::string key = item.substr(0, eq), value = item.substr(eq + 1);
        if (key == "shutter") {
            auto s = parseSeconds(value);
            if (!s || !(*s > 0) || *s > 3600) return {std::nullopt, "--pro shutter takes seconds above 0 (2, 0.5 or 1/250)"};
            values.shutter = *s;
        } else if (key == "iso") {
            auto n = parseNumber(value);
            if (!n || !(*n > 0) || *n > 1e6) return {std::nullopt, "--pro iso takes a number above 0"};
            values.iso = *n;
        } else if (key == "focus") {
            auto n = parseNumber(value);
            if (!n || *n < 0 || *n > 1) return {std::nullopt, "--pro focus takes a lens position from 0 (far) to 1 (near)"};
            values.focus = static_cast<float>(*n);
        } else if (key == "wb") {
            auto n = parseNumber(value);
            if (!n || *n < kWhiteBalanceMinimumKelvin || *n > kWhiteBalanceMinimumKelvin + kWhiteBalanceSpanKelvin)
                return {std::nullopt, "--pro wb takes a temperature from 3000 to 8000 (kelvin)"};
            values.whiteBalance = static_cast<float>(*n);
        } else {
            return {std::nullopt, "--pro knows shutter, iso, focus and wb, not \"" + key + "\""};
        }
        if (end == text.size()) break;
    }
    return {values, {}};
}

void clickInMiddle(View* view) {
    if (!view) return;
    const QPointF centre(view->width() / 2.0, view->height() / 2.0);
    const QPointF global = view->mapToGlobal(centre);
    QMouseEvent press(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &release);
}

std::vector<std::string> applyProModeValues(ViewController& vc, const ProModeValues& values) {
    std::vector<std::string> notes;
    if (!vc.isProModeEnabled) clickInMiddle(vc.proModeButton);
    if (!vc.currentVideoDeviceInput) return {"no camera: the pro-mode values were not applied"};
    const auto device = vc.currentVideoDeviceInput->device();
    const CaptureDeviceFormat format = device->activeFormat();
    // The slider's own change is what a drag would send; positions beyond the ends are clamped
    // by the slider, and the note tells the user.
    auto move = [&](Slider* slider, float position, const std::string& what) {
        if (!slider) return;
        if (position < -1e-6f || position > 1 + 1e-6f)
            notes.push_back(what + " is beyond " + device->localizedName() + "'s range; the slider's end is used");
        slider->setValue(position);
        slider->sendActions();
    };
    if (values.shutter)
        move(vc.shutterSpeedSlider,
             shutterPositionForSeconds(*values.shutter, format.minExposureDuration, format.maxExposureDuration),
             "shutter " + shortestDecimal(*values.shutter) + " s");
    if (values.iso)
        move(vc.isoSlider,
             isoPositionForValue(static_cast<float>(*values.iso), static_cast<float>(format.minISO),
                                 static_cast<float>(format.maxISO)),
             "ISO " + shortestDecimal(*values.iso));
    if (values.focus) move(vc.focusSlider, *values.focus, "focus");
    if (values.whiteBalance)
        move(vc.whiteBalanceSlider, (*values.whiteBalance - kWhiteBalanceMinimumKelvin) / kWhiteBalanceSpanKelvin,
             "white balance");
    return notes;
}

}  // namespace sorvel
