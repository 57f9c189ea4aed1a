#pragma once
// The options of `sorvel-camera shoot`, checked completely before anything is captured.

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/cli/ProModeOptions.h"
#include "platform/capture/CaptureDevice.h"
#include "platform/foundation/Value.h"

namespace sorvel {

struct ShootOptions {
    int count = 1;
    std::optional<double> interval;  // seconds between presses; default: after each lands
    std::string camera;              // "", "front", "ultrawide", "wide", "tele"
    int orientation = 1;             // device orientation held during the presses
    std::vector<std::pair<std::string, Value>> settings;  // --set, typed by the key table
    bool json = false;
    std::optional<ProModeValues> pro;  // pro mode on, these slider values, before the first press
    std::optional<int> countdown;      // each press is this countdown button (1, 3, 6 or 12 s)
};

struct ShootOptionsResult {
    std::optional<ShootOptions> options;
    std::string error;
};

ShootOptionsResult parseShootOptions(const std::vector<std::string>& args);

// The camera a --camera name stands for among `cameras` ("front", "ultrawide", "wide" for the
// back wide camera, "tele"), or nullptr when the rig has none.
std::shared_ptr<CaptureDevice> cameraNamed(const std::string& name,
                                           const std::vector<std::shared_ptr<CaptureDevice>>& cameras);

extern const char* const kShootUsage;

}  // namespace sorvel
