#pragma once
// The options of `sorvel-camera shoot`, checked completely before anything is captured.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Value.h"

namespace sorvel {

struct ShootOptions {
    int count = 1;
    std::optional<double> interval;  // seconds between presses; default: after each lands
    std::string camera;              // "", "front", "ultrawide", "wide", "tele"
    int orientation = 1;             // device orientation held during the presses
    std::vector<std::pair<std::string, Value>> settings;  // --set, typed by the key table
    bool json = false;
};

struct ShootOptionsResult {
    std::optional<ShootOptions> options;
    std::string error;
};

ShootOptionsResult parseShootOptions(const std::vector<std::string>& args);

extern const char* const kShootUsage;

}  // namespace sorvel
