#pragma once
// What a row of the filter editor shows and accepts: the text of a value in the row's format,
// and the rules for a value typed into the row's field. Values are never clamped: a typed value
// outside the parameter's range is refused and the field shows the slider's value again.
// Pure functions, any thread.

#include <optional>
#include <string>
#include <string_view>

#include "app/filters/FilterParameter.h"

namespace sorvel {

// Half away from zero (6543.5 -> 6544, -2.5 -> -3).
float roundHalfAwayFromZero(float value);

// "%.2f" for a continuous parameter; the value rounded half away from zero, in decimal digits
// only, for a whole-number one.
std::string parameterValueText(const FilterParameter& parameter, float value);

// A decimal number as typed: optional sign, digits, optional fraction and exponent, nothing
// else (no spaces). Infinities and NaN parse (and then lie outside every range).
std::optional<float> parseDecimalText(std::string_view text);
// A whole number as typed: optional sign and digits only; "7000.5" is not one.
std::optional<long long> parseIntegerText(std::string_view text);

// The outcome of moving a row's slider: where the slider ends (a whole-number slider snaps to
// the integer) and the text its field shows.
struct SliderOutcome {
    float sliderValue = 0;
    std::string text;
};
SliderOutcome parameterSliderMoved(const FilterParameter& parameter, float sliderValue);

// The outcome of ending an edit of a row's field with `text` while the slider stands at
// `sliderValue`.
struct TextEntryOutcome {
    enum class Kind {
        Ignored,   // the text is not a number of the row's kind: nothing changes, nothing is saved
        Accepted,  // the slider takes `sliderValue`
        Refused,   // out of range: the slider stays and the field shows `rewrittenText`
    };
    Kind kind = Kind::Ignored;
    float sliderValue = 0;
    std::string rewrittenText;
};
TextEntryOutcome parameterTextEntered(const FilterParameter& parameter, std::string_view text, float sliderValue);

}  // namespace sorvel
