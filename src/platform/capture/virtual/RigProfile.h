#pragma once
// The virtual rig's devices, read from a small text profile (resources/rig/default.rig shows
// the format and is the built-in profile).

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/capture/DeviceDescription.h"

namespace sorvel {

struct RigProfile {
    std::string make = "Sorvel";
    std::string model = "Sorvel Virtual Rig";
    std::vector<DeviceDescription> cameras;
    std::optional<DeviceDescription> microphone;
    std::set<CaptureFault> rigFaults;  // no_microphone

    // The profile compiled into the program.
    static const RigProfile& builtIn();
    // Either the profile or a message naming the line at fault.
    static std::variant<RigProfile, std::string> parse(std::string_view text);
    static std::variant<RigProfile, std::string> load(const std::string& path);
};

}  // namespace sorvel
