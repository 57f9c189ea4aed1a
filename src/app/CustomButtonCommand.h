#pragma once
// The custom buttons' little command language. A label is lower-cased and trimmed, then the
// first matching rule decides: the gallery ("相册", "photo"), a zoom ("2x", "2倍", "0.5") or an
// exposure bias ("+1ev", "-0.7", "0ev"); anything else is not understood.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvel {

struct CustomButtonCommand {
    enum class Kind { OpenPhotoLibrary, Zoom, Exposure, Unrecognized };
    Kind kind = Kind::Unrecognized;
    std::string label;              // the normalised label
    std::optional<double> zoom;     // Zoom: the factor, when the number parsed
    std::optional<float> exposure;  // Exposure: the absolute bias, when the number parsed
};

// Lower case, without surrounding white space and newlines.
std::string normalizedButtonLabel(std::string_view title);
CustomButtonCommand customButtonCommand(std::string_view title);

// The button titles in the user's text: split on single spaces, each part trimmed, empty parts
// (from doubled spaces) skipped.
std::vector<std::string> customButtonTitles(std::string_view text);

// A whole-string decimal number as people write one: optional sign, digits, optional fraction
// and exponent; no surrounding spaces. Infinities and NaN are refused (they are no zoom or bias).
std::optional<double> parseDecimal(std::string_view text);
std::optional<float> parseDecimalFloat(std::string_view text);

// The number as the console shows it: shortest form that reads back, always with a fraction
// ("2.0", "-0.7").
std::string describeNumber(double value);
std::string describeNumber(float value);

}  // namespace sorvel
