#include "app/filters/ParameterText.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace sorvel {

namespace {

// from_chars takes no leading "+", which a person may well type.
std::string_view withoutPlus(std::string_view text) {
    if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
    return text;
}

bool inRange(const FilterParameter& parameter, double value) { return value >= parameter.min && value <= parameter.max; }

}  // namespace

float roundHalfAwayFromZero(float value) { return std::round(value); }

std::string parameterValueText(const FilterParameter& parameter, float value) {
    char text[64];
    if (parameter.type == 1) {
        float rounded = roundHalfAwayFromZero(value);
        if (!std::isfinite(rounded)) return "0";
        std::snprintf(text, sizeof text, "%.0f", static_cast<double>(rounded) + 0.0);  // + 0.0: no "-0"
    } else {
        std::snprintf(text, sizeof text, "%.2f", static_cast<double>(value));
    }
    return text;
}

std::optional<float> parseDecimalText(std::string_view text) {
    text = withoutPlus(text);
    if (text.empty()) return std::nullopt;
    float value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    // A number too large for a float is still a number, only out of every range.
    if (error == std::errc::result_out_of_range) return text[0] == '-' ? -INFINITY : INFINITY;
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<long long> parseIntegerText(std::string_view text) {
    text = withoutPlus(text);
    if (text.empty()) return std::nullopt;
    long long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

SliderOutcome parameterSliderMoved(const FilterParameter& parameter, float sliderValue) {
    if (parameter.type == 1) sliderValue = roundHalfAwayFromZero(sliderValue);
    return SliderOutcome{sliderValue, parameterValueText(parameter, sliderValue)};
}

TextEntryOutcome parameterTextEntered(const FilterParameter& parameter, std::string_view text, float sliderValue) {
    using Kind = TextEntryOutcome::Kind;
    std::optional<double> typed;
    if (parameter.type == 1) {
        if (auto n = parseIntegerText(text)) typed = static_cast<double>(*n);
    } else if (auto v = parseDecimalText(text)) {
        typed = *v;
    }
    if (!typed) return TextEntryOutcome{Kind::Ignored, sliderValue, {}};
    if (inRange(parameter, *typed)) return TextEntryOutcome{Kind::Accepted, static_cast<float>(*typed), {}};
    return TextEntryOutcome{Kind::Refused, sliderValue, parameterValueText(parameter, sliderValue)};
}

}  // namespace sorvel
