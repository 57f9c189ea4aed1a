#pragma once
// Alternate app icons on a Linux desktop or phone. A launcher (GNOME Shell, Plasma, Phosh)
// shows the Icon= key of the app's desktop entry, and an entry of the same name in the user's
// $XDG_DATA_HOME/applications takes the place of the installed one. Switching the icon
// therefore writes that user-level entry: the installed entry with Icon= naming the chosen icon
// of the installed hicolor theme. An app that is not installed as a desktop application (run
// from its build folder) has no entry to start from and does not support alternate icons.
//
// Icon names in the theme: the app id for the primary icon ("org.sorvel.Camera"), the app id,
// a dot and the alternate's name for the others ("org.sorvel.Camera.AppIcon2").

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sorvel {

struct DesktopDataLocations {
    // Searched in order for applications/<id>.desktop and icons/hicolor.
    std::vector<std::filesystem::path> dataDirs;
    // $XDG_DATA_HOME: where the user-level entry is written.
    std::filesystem::path userDataHome;

    // The share folder beside the running executable's prefix (<prefix>/bin/.. /share), then
    // $XDG_DATA_DIRS (default /usr/local/share:/usr/share); $XDG_DATA_HOME, else
    // ~/.local/share. Read afresh on every call.
    static DesktopDataLocations fromEnvironment();
};

// The desktop-entry side of alternate icons, on explicit folders. Plain files, no screen; any
// thread, one caller at a time.
class DesktopEntryIcons {
public:
    DesktopEntryIcons(std::string appId, DesktopDataLocations locations);

    const std::string& appId() const { return appId_; }
    // The first installed entry in the data folders; nothing when the app is not installed.
    std::optional<std::filesystem::path> installedEntry() const;
    bool supportsAlternateIcons() const { return installedEntry().has_value(); }
    std::filesystem::path userEntry() const;

    // The theme's name for the primary icon (no alternate) or an alternate.
    std::string iconName(const std::optional<std::string>& alternate) const;
    // The alternate the user-level entry names; nothing for the primary icon, for no user
    // entry and for an Icon= that is not one of ours.
    std::optional<std::string> alternateIconName() const;
    // The icon's file in the user's or an installed hicolor theme (scalable SVG or any size
    // of PNG); nothing when no theme holds it.
    std::optional<std::filesystem::path> installedIconFile(const std::string& iconName) const;
    // The icon's PNG of exactly `pixels` square in a theme; nothing when none has that size.
    std::optional<std::filesystem::path> installedIconPicture(const std::string& iconName, int pixels) const;

    // Writes the user-level entry naming the icon. Starts from the user's own entry when it is
    // a readable desktop entry (keeping what the user changed there), else from the installed
    // one; a user entry that cannot be read is moved aside first, never lost. Nothing on
    // success, else the reason: not installed, icon not in the theme, or the write failing.
    std::optional<std::string> setAlternateIconName(const std::optional<std::string>& alternate);

private:
    std::string appId_;
    DesktopDataLocations locations_;
};

// The application's alternate-icon service as app code calls it: the phone platform's shape
// over DesktopEntryIcons for this app, with the folders read from the environment.
namespace AlternateIcons {
inline constexpr const char* kAppId = "org.sorvel.Camera";

using Completion = std::function<void(const std::optional<std::string>& errorDescription)>;

// Main thread.
bool supportsAlternateIcons();
// The alternate in use; nothing for the primary icon.
std::optional<std::string> alternateIconName();
// The theme name of the icon in use, for the window's own icon.
std::string currentIconName();
// The installed PNG of an alternate (nothing: the primary icon) at `pixels`, for showing it.
std::optional<std::filesystem::path> iconPicture(const std::optional<std::string>& name, int pixels);
// Switches to `name` (nothing: the primary icon). The entry is written on the global queue;
// `completion` runs on the main queue with nothing on success or the error's description.
void setAlternateIconName(std::optional<std::string> name, Completion completion);
}  // namespace AlternateIcons

}  // namespace sorvel
