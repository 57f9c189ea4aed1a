#include "ShootOptions.h"

#include "app/SettingsKeys.h"

namespace sorvel {

const char* const kShootUsage =
    "usage: sorvel-camera shoot [--count N] [--interval SECONDS] [--camera front|ultrawide|wide|tele]\n"
    "                           [--orientation 1-4] [--set KEY=VALUE]... [--json]\n"
    "                           [--pro shutter=1/250,iso=400,focus=0.3,wb=4500] [--countdown 1|3|6|12]\n"
    "  Presses the shutter N times (each press after the previous capture landed, or every\n"
    "  SECONDS), then lists the saved assets. --set writes a setting first, typed by its key\n"
    "  (bool true/false, integers, reals, strings), e.g. --set setting_2=false. --pro turns pro\n"
    "  mode on and sets its sliders (any of the four keys) before the first press; --countdown\n"
    "  makes each press the timer panel's countdown button of that many seconds.";

ShootOptionsResult parseShootOptions(const std::vector<std::string>& args) {
    ShootOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto next = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        if (a == "--json") {
            o.json = true;
        } else if (a == "--count") {
            auto v = next();
            auto n = v ? parseNumber(*v) : std::nullopt;
            // 0 presses nothing: the run only saves what an earlier, killed run left.
            if (!n || *n < 0 || *n > 10000 || *n != static_cast<int>(*n)) return {std::nullopt, "--count takes a whole number from 0"};
            o.count = static_cast<int>(*n);
        } else if (a == "--interval") {
            auto v = next();
            auto n = v ? parseNumber(*v) : std::nullopt;
            if (!n || *n <= 0 || *n > 86400) return {std::nullopt, "--interval takes seconds above 0"};
            o.interval = *n;
        } else if (a == "--camera") {
            auto v = next();
            if (!v || (*v != "front" && *v != "ultrawide" && *v != "wide" && *v != "tele"))
                return {std::nullopt, "--camera takes front, ultrawide, wide or tele"};
            o.camera = *v;
        } else if (a == "--orientation") {
            auto v = next();
            if (!v || v->size() != 1 || (*v)[0] < '1' || (*v)[0] > '4') return {std::nullopt, "--orientation takes 1 to 4"};
            o.orientation = (*v)[0] - '0';
        } else if (a == "--pro") {
            auto v = next();
            if (!v) return {std::nullopt, "--pro takes shutter=...,iso=...,focus=...,wb=..."};
            ProModeValuesResult pro = parseProModeValues(*v);
            if (!pro.values) return {std::nullopt, pro.error};
            o.pro = pro.values;
        } else if (a == "--countdown") {
            auto v = next();
            if (!v || (*v != "1" && *v != "3" && *v != "6" && *v != "12"))
                return {std::nullopt, "--countdown takes 1, 3, 6 or 12 (seconds), the timer panel's buttons"};
            o.countdown = std::stoi(*v);
        } else if (a == "--set") {
            auto v = next();
            if (!v) return {std::nullopt, "--set takes KEY=VALUE"};
            auto eq = v->find('=');
            if (eq == std::string::npos || eq == 0) return {std::nullopt, "--set takes KEY=VALUE, got \"" + *v + "\""};
            std::string key = v->substr(0, eq);
            std::string text = v->substr(eq + 1);
            auto type = settingType(key);
            if (!type) return {std::nullopt, "unknown setting key " + key};
            auto value = parseSettingValue(*type, text);
            if (!value) return {std::nullopt, "\"" + text + "\" is not a valid " + settingTypeName(*type) + " for " + key};
            o.settings.emplace_back(key, *value);
        } else {
            return {std::nullopt, "unknown shoot option " + a};
        }
    }
    return {o, {}};
}

std::shared_ptr<CaptureDevice> cameraNamed(const std::string& name,
                                           const std::vector<std::shared_ptr<CaptureDevice>>& cameras) {
    for (const auto& camera : cameras) {
        const bool front = camera->position() == DevicePosition::Front;
        const DeviceType type = camera->deviceType();
        if ((name == "front" && front) || (name == "ultrawide" && type == DeviceType::BuiltInUltraWideCamera) ||
            (name == "wide" && camera->position() == DevicePosition::Back && type == DeviceType::BuiltInWideAngleCamera) ||
            (name == "tele" && type == DeviceType::BuiltInTelephotoCamera))
            return camera;
    }
    return nullptr;
}

}  // namespace sorvel
