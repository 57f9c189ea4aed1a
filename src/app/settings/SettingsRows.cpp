#include "app/settings/SettingsRows.h"

#include <cmath>

namespace sorvel {

const std::vector<OptionRow>& settingsOptionRows() {
    using C = OptionRow::Control;
    static const std::vector<OptionRow> rows = {
        {"深度Sorvel", C::Switch, {}},
        {"格式", C::Segmented, {"RAW", "R+H", "HEIC"}},
        {"动态照片", C::Switch, {}},
        {"闪光灯", C::Segmented, {"关", "自动", "开", "常亮"}},
        {"RAW处理时自动曝光", C::Switch, {}},
        {"自拍镜像", C::Switch, {}},
        {"显示示波器", C::Switch, {}},
        {"比例参考线", C::Segmented, {"无", "全", "9:16", "1:1"}},
        {"拍后预览", C::Segmented, {"无", "大", "小"}},
        {"震动反馈", C::Switch, {}},
        {"调试（无需打开）", C::Switch, {}},
        {"让深度HEIC更鲜艳", C::Switch, {}},
        {"水印", C::Switch, {}},
        {"水印不显示参数", C::Switch, {}},
        {"水印包含地点", C::Switch, {}},
    };
    return rows;
}

const std::vector<SliderRow>& settingsSliderRows() {
    static const std::vector<SliderRow> rows = {
        {"quality_setting", "质量-深度SorvelHEIC"},
        {"quality_setting_2", "质量-普通静态模式"},
        {"heic_resolution_scale", "分辨率-深度SorvelHEIC"},
        {"normal_resolution_scale", "分辨率-普通静态模式"},
    };
    return rows;
}

std::string switchKey(int tag) { return "setting_" + std::to_string(tag); }

namespace {
const char* const kSaveFormats[] = {"RAW", "RAW+HEIC", "HEIC"};
}

int saveFormatSegment(const std::optional<std::string>& stored) {
    const std::string value = stored.value_or("RAW");
    for (int i = 0; i < 3; ++i)
        if (value == kSaveFormats[i]) return i;
    return 0;
}

std::optional<std::string> saveFormatForSegment(int segment) {
    if (segment < 0 || segment > 2) return std::nullopt;
    return kSaveFormats[segment];
}

std::string sliderLabelText(std::string_view title, float value) {
    // The product in single precision, as the slider's value is held: 0.65f * 100 is 65 there
    // but 64.99999761... in double, which would truncate to 64.
    float percent = std::trunc(value * 100.0f);
    // A NaN or an enormous value from a damaged store must not reach the integer conversion.
    if (!std::isfinite(percent)) percent = 0;
    percent = std::fmax(-1e9f, std::fmin(1e9f, percent));
    return std::string(title) + ": " + std::to_string(static_cast<long long>(percent)) + "%";
}

}  // namespace sorvel
