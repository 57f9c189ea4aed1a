#include "SettingsKeys.h"

#include <charconv>

#include "platform/foundation/Dates.h"

namespace sorvel {

const std::vector<SettingKey>& settingKeys() {
    static const std::vector<SettingKey> keys = {
        {"setting_0", SettingType::Bool},
        {"save_format", SettingType::String},
        {"setting_2", SettingType::Bool},
        {"flash_mode", SettingType::Integer},
        {"setting_4", SettingType::Bool},
        {"setting_5", SettingType::Bool},
        {"setting_6", SettingType::Bool},
        {"grid_lines", SettingType::Integer},
        {"photo_preview", SettingType::Integer},
        {"setting_9", SettingType::Bool},
        {"setting_10", SettingType::Bool},
        {"setting_11", SettingType::Bool},
        {"setting_12", SettingType::Bool},
        {"setting_13", SettingType::Bool},
        {"setting_14", SettingType::Bool},
        {"quality_setting", SettingType::Real},
        {"quality_setting_2", SettingType::Real},
        {"heic_resolution_scale", SettingType::Real},
        {"normal_resolution_scale", SettingType::Real},
        {"exposure_compensation", SettingType::Real},
        {"innovative_extreme_mode", SettingType::Bool},
        {"innovative_story_mode", SettingType::Bool},
        {"innovative_dual_capture_mode", SettingType::Bool},
        {"current_camera_id", SettingType::String},
        {"is_selfie_camera", SettingType::Bool},
        {"zoomFactor_frontCamera", SettingType::Real},
        {"hasLaunchedBefore", SettingType::Bool},
        {"isFirstLaunch", SettingType::Bool},
        {"savedFilters", SettingType::Array},
        {"watermarkContent", SettingType::String},
        {"customButtonEnabled", SettingType::Bool},
        {"customButtonText", SettingType::String},
        {"hasSeenHEICWarning", SettingType::Bool},
        {"theme_backgroundColor", SettingType::String},
        {"theme_textAndIconColor", SettingType::String},
        {"theme_useCustomBackground", SettingType::Bool},
        {"theme_customBackgroundImage", SettingType::Data},
        {"lastStoryTimestamp", SettingType::Date},
        {"shownStories", SettingType::Array},
    };
    return keys;
}

std::optional<SettingType> settingType(std::string_view key) {
    for (const auto& k : settingKeys())
        if (key == k.key) return k.type;
    return std::nullopt;
}

const char* settingTypeName(SettingType type) {
    switch (type) {
    case SettingType::Bool: return "bool";
    case SettingType::Integer: return "integer";
    case SettingType::Real: return "real";
    case SettingType::String: return "string";
    case SettingType::Data: return "data";
    case SettingType::Date: return "date";
    case SettingType::Array: return "array";
    }
    return "?";
}

const Dictionary& settingSeeds() {
    static const Dictionary seeds = {
        {"setting_0", false},
        {"setting_2", true},
        {"setting_4", true},
        {"save_format", "HEIC"},
        {"flash_mode", 0},
        {"quality_setting", 0.65},
        {"quality_setting_2", 0.65},
        {"heic_resolution_scale", 1.0},
        {"normal_resolution_scale", 1.0},
        {"exposure_compensation", 0.5},
        {"setting_5", true},
        {"setting_6", false},
        {"grid_lines", 0},
        {"photo_preview", 2},
        {"setting_9", true},
        {"setting_10", false},
        {"setting_11", true},
        {"setting_12", false},
        {"setting_13", false},
        {"setting_14", false},
    };
    return seeds;
}

std::optional<Value> parseSettingValue(SettingType type, std::string_view text) {
    switch (type) {
    case SettingType::Bool:
        if (text == "true" || text == "YES" || text == "yes" || text == "1") return Value(true);
        if (text == "false" || text == "NO" || text == "no" || text == "0") return Value(false);
        return std::nullopt;
    case SettingType::Integer: {
        long long v = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
        return Value(v);
    }
    case SettingType::Real: {
        auto v = parseNumber(text);
        if (!v) return std::nullopt;
        return Value(*v);
    }
    case SettingType::String: return Value(std::string(text));
    case SettingType::Date: {
        auto d = parseIso8601(text);
        if (!d) return std::nullopt;
        return Value(*d);
    }
    case SettingType::Data:
    case SettingType::Array: return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace sorvel
