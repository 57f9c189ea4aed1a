#include "platform/capture/virtual/RigProfile.h"

#include <cmath>
#include <functional>
#include <map>

#include "platform/foundation/Files.h"
#include "platform/foundation/Value.h"

namespace sorvel {

extern const char kRigProfileText[];

namespace {

std::string trim(std::string_view s) {
    auto b = s.find_first_not_of(" \t\r");
    if (b == std::string_view::npos) return {};
    auto e = s.find_last_not_of(" \t\r");
    return std::string(s.substr(b, e - b + 1));
}

std::optional<double> number(const std::string& text) {
    auto v = parseNumber(trim(text));
    if (!v || !std::isfinite(*v)) return std::nullopt;
    return v;
}

// "a .. b" with a <= b.
std::optional<std::pair<double, double>> range(const std::string& text) {
    auto dots = text.find("..");
    if (dots == std::string::npos) return std::nullopt;
    auto lo = number(text.substr(0, dots)), hi = number(text.substr(dots + 2));
    if (!lo || !hi || *lo > *hi) return std::nullopt;
    return std::pair{*lo, *hi};
}

std::optional<std::pair<double, double>> pair(const std::string& text, char separator) {
    auto at = text.find(separator);
    if (at == std::string::npos) return std::nullopt;
    auto a = number(text.substr(0, at)), b = number(text.substr(at + 1));
    if (!a || !b) return std::nullopt;
    return std::pair{*a, *b};
}

std::optional<bool> flag(const std::string& text) {
    if (text == "yes" || text == "true") return true;
    if (text == "no" || text == "false") return false;
    return std::nullopt;
}

std::optional<std::set<CaptureFault>> faults(const std::string& text) {
    std::set<CaptureFault> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto comma = text.find(',', start);
        std::string name = trim(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (!name.empty()) {
            auto f = parseCaptureFault(name);
            if (!f) return std::nullopt;
            out.insert(*f);
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out;
}

// Sets one camera key; false when the value does not read.
bool setCameraKey(DeviceDescription& d, const std::string& key, const std::string& value, bool& known) {
    known = true;
    if (key == "id") return !(d.uniqueID = value).empty();
    if (key == "name") return !(d.localizedName = value).empty();
    if (key == "lens_model") return (d.lensModel = value), true;
    if (key == "type") {
        if (value == "wide") d.type = DeviceType::BuiltInWideAngleCamera;
        else if (value == "ultrawide") d.type = DeviceType::BuiltInUltraWideCamera;
        else if (value == "telephoto") d.type = DeviceType::BuiltInTelephotoCamera;
        else return false;
        return true;
    }
    if (key == "position") {
        if (value == "back") d.position = DevicePosition::Back;
        else if (value == "front") d.position = DevicePosition::Front;
        else return false;
        return true;
    }
    if (key == "sensor") {
        auto p = pair(value, 'x');
        // Even sides (whole Bayer quads) and at most 64 MP, so buffers stay allocatable.
        if (!p || p->first < 64 || p->second < 48 || p->first > 16384 || p->second > 12288) return false;
        int w = static_cast<int>(p->first), h = static_cast<int>(p->second);
        if (w != p->first || h != p->second || w % 2 || h % 2) return false;
        d.sensor = {w, h};
        return true;
    }
    auto setRange = [&](double& lo, double& hi, double minimum) {
        auto r = range(value);
        if (!r || r->first < minimum) return false;
        lo = r->first, hi = r->second;
        return true;
    };
    if (key == "zoom") return setRange(d.minZoom, d.maxZoom, 1.0);
    if (key == "iso") return setRange(d.minISO, d.maxISO, 1.0);
    if (key == "duration") return setRange(d.minExposureDuration, d.maxExposureDuration, 1e-6);
    if (key == "bias") return setRange(d.minBias, d.maxBias, -24.0);
    auto setNumber = [&](double& out, double lo, double hi) {
        auto v = number(value);
        if (!v || *v < lo || *v > hi) return false;
        out = *v;
        return true;
    };
    if (key == "max_wb_gain") return setNumber(d.maxWhiteBalanceGain, 1.0, 64.0);
    if (key == "focal_length") return setNumber(d.focalLength, 0.1, 2000.0);
    if (key == "f_number") return setNumber(d.fNumber, 0.5, 64.0);
    if (key == "field") return setNumber(d.fieldScale, 0.05, 4.0);
    if (key == "min_focus") return setNumber(d.minFocusDistance, 0.01, 10.0);
    if (key == "centre") {
        auto p = pair(value, ',');
        if (!p || std::abs(p->first) > 2 || std::abs(p->second) > 2) return false;
        d.centreX = p->first, d.centreY = p->second;
        return true;
    }
    auto setFlag = [&](bool& out) {
        auto f = flag(value);
        if (!f) return false;
        out = *f;
        return true;
    };
    if (key == "torch") return setFlag(d.hasTorch);
    if (key == "flash") return setFlag(d.hasFlash);
    if (key == "raw") return setFlag(d.supportsBayerRaw);
    if (key == "live_photo") return setFlag(d.supportsLivePhoto);
    if (key == "faults") {
        auto f = faults(value);
        if (!f) return false;
        d.faults = *f;
        return true;
    }
    known = false;
    return false;
}

}  // namespace

std::variant<RigProfile, std::string> RigProfile::parse(std::string_view text) {
    RigProfile profile;
    enum class Section { None, Rig, Camera, Microphone } section = Section::None;
    DeviceDescription* current = nullptr;
    int lineNumber = 0;
    std::size_t start = 0;
    auto fail = [&](const std::string& why) { return "rig profile line " + std::to_string(lineNumber) + ": " + why; };
    while (start < text.size()) {
        auto end = text.find('\n', start);
        std::string_view raw = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        start = end == std::string_view::npos ? text.size() : end + 1;
        ++lineNumber;
        auto hash = raw.find('#');
        std::string line = trim(raw.substr(0, hash));
        if (line.empty()) continue;
        if (line.front() == '[') {
            if (line == "[rig]") section = Section::Rig;
            else if (line == "[camera]") {
                section = Section::Camera;
                profile.cameras.emplace_back();
                current = &profile.cameras.back();
            } else if (line == "[microphone]") {
                if (profile.microphone) return fail("a second [microphone]");
                section = Section::Microphone;
                profile.microphone = DeviceDescription{};
                profile.microphone->type = DeviceType::BuiltInMicrophone;
                profile.microphone->position = DevicePosition::Unspecified;
                profile.microphone->localizedName = "Microphone";
            } else
                return fail("unknown section " + line);
            continue;
        }
        auto eq = line.find('=');
        if (eq == std::string::npos) return fail("expected \"key = value\"");
        std::string key = trim(line.substr(0, eq)), value = trim(line.substr(eq + 1));
        switch (section) {
        case Section::None: return fail("\"" + key + "\" before any section");
        case Section::Rig:
            if (key == "make") profile.make = value;
            else if (key == "model") profile.model = value;
            else if (key == "faults") {
                auto f = faults(value);
                if (!f) return fail("unknown fault in \"" + value + "\"");
                profile.rigFaults = *f;
            } else
                return fail("unknown key \"" + key + "\" in [rig]");
            break;
        case Section::Microphone:
            if (key == "id") profile.microphone->uniqueID = value;
            else if (key == "name") profile.microphone->localizedName = value;
            else return fail("unknown key \"" + key + "\" in [microphone]");
            break;
        case Section::Camera: {
            bool known = false;
            if (!setCameraKey(*current, key, value, known))
                return fail(known ? "bad value \"" + value + "\" for " + key : "unknown key \"" + key + "\"");
            break;
        }
        }
    }
    if (profile.cameras.empty()) return std::string("rig profile: no [camera] section");
    std::set<std::string> ids;
    for (auto& c : profile.cameras) {
        if (c.uniqueID.empty() || c.localizedName.empty())
            return std::string("rig profile: every camera needs an id and a name");
        if (!ids.insert(c.uniqueID).second) return "rig profile: duplicate camera id " + c.uniqueID;
    }
    if (profile.microphone && profile.microphone->uniqueID.empty()) profile.microphone->uniqueID = "microphone";
    return profile;
}

std::variant<RigProfile, std::string> RigProfile::load(const std::string& path) {
    auto bytes = readFile(path, 1 << 20);
    if (!bytes) return "cannot read rig profile " + path;
    auto result = parse(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    if (auto* message = std::get_if<std::string>(&result)) return path + ": " + *message;
    return result;
}

const RigProfile& RigProfile::builtIn() {
    static const RigProfile profile = [] {
        auto parsed = parse(kRigProfileText);
        // The built-in text is part of the program; failing to read it is a build fault.
        if (auto* p = std::get_if<RigProfile>(&parsed)) return *p;
        return RigProfile{};
    }();
    return profile;
}

}  // namespace sorvel
