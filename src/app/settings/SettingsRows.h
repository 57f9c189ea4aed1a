#pragma once
// The settings panel's rows as data: the fifteen option rows (title, control, segment items;
// the row index is the control's tag and names its "setting_<index>" key), the four slider rows,
// and the mappings between stored values and what the controls show.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvel {

struct OptionRow {
    enum class Control { Switch, Segmented };
    const char* title;
    Control control;
    std::vector<const char*> items;  // segment titles, in index order; empty for a switch
};

struct SliderRow {
    const char* key;
    const char* title;
};

// Tags 0 ... 14 in order.
const std::vector<OptionRow>& settingsOptionRows();
const std::vector<SliderRow>& settingsSliderRows();

// The row tags with a fixed meaning to the panel's handlers.
namespace settings_row {
inline constexpr int kDeepMode = 0;
inline constexpr int kSaveFormat = 1;
inline constexpr int kLivePhoto = 2;
inline constexpr int kFlash = 3;
inline constexpr int kGridLines = 7;
inline constexpr int kPhotoPreview = 8;
inline constexpr int kVibration = 9;
inline constexpr int kDebug = 10;
}  // namespace settings_row

// "setting_" and the tag in decimal: the key of a switch row.
std::string switchKey(int tag);

// The format row: stored "RAW", "RAW+HEIC", "HEIC" are segments 0, 1, 2. Absent counts as
// "RAW"; any other text selects segment 0 as well.
int saveFormatSegment(const std::optional<std::string>& stored);
// The text stored for a segment; nothing for an index outside 0 ... 2.
std::optional<std::string> saveFormatForSegment(int segment);

// "title: N%" with N = the value times 100 truncated toward zero (0.999 shows 99).
std::string sliderLabelText(std::string_view title, float value);

}  // namespace sorvel
