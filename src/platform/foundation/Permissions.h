#pragma once
// Access answers for camera, microphone, photo library and location. A desktop has no
// permission prompts, so the answers come from a small text file in the app home
// ("permissions.conf"), which people and tests edit:
//
//     # status: authorized | denied | restricted | limited | notDetermined
//     camera = authorized
//     microphone = authorized
//     photos = limited
//     location = authorized
//     location_fix = 33.86, 151.21, 12.5     # latitude, longitude, altitude (m)
//
// A missing file or entry means authorized (and no location fix).

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace sorvel {

// Values as the phone platform numbers them; the app compares against Authorized (3).
enum class AuthorizationStatus { NotDetermined = 0, Restricted = 1, Denied = 2, Authorized = 3, Limited = 4 };

std::optional<AuthorizationStatus> parseAuthorizationStatus(std::string_view text);
const char* authorizationStatusName(AuthorizationStatus s);

class Permissions {
public:
    // The file read by every query. Set at start-up from the app home; any thread.
    static void setFile(const std::filesystem::path& file);
    static std::filesystem::path file();

    // Status of "camera", "microphone", "photos", "location". Read from the file on each call
    // so that a change made while the app runs is seen at the next request. Any thread.
    static AuthorizationStatus status(std::string_view resource);
    // The raw text of an entry ("location_fix"), trimmed.
    static std::optional<std::string> entry(std::string_view key);
    // Rewrites one entry, keeping the others; false when the file cannot be written.
    static bool setEntry(std::string_view key, std::string_view value);
};

}  // namespace sorvel
