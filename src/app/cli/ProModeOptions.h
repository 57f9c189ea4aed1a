#pragma once
// `shoot --pro shutter=1/250,iso=400,focus=0.3,wb=4500`: manual values for the pro-mode
// sliders. Each key may be left out (that slider stays where pro mode puts it).

#include <optional>
#include <string>
#include <vector>

namespace sorvel {

class ViewController;

struct ProModeValues {
    std::optional<double> shutter;  // seconds
    std::optional<double> iso;
    std::optional<float> focus;        // lens position, 0 (infinity) to 1 (nearest)
    std::optional<float> whiteBalance;  // kelvin, 3000 to 8000
};

struct ProModeValuesResult {
    std::optional<ProModeValues> values;
    std::string error;
};

// "KEY=VALUE,..." with the keys shutter (seconds, or 1/N), iso, focus and wb.
ProModeValuesResult parseProModeValues(const std::string& text);

// Presses the pro-mode button and moves the sliders to the values, as a person would (each
// slider sends its change). Values beyond the camera's range go to the slider's end; the
// returned notes say so. Main thread.
std::vector<std::string> applyProModeValues(ViewController& vc, const ProModeValues& values);

// A mouse click in the middle of `view` (press and release), as the window delivers one.
class View;
void clickInMiddle(View* view);

}  // namespace sorvel
