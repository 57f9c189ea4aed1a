#include "AlternateIcons.h"

#include <glib.h>

#include <cstdlib>
#include <memory>
#include <system_error>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Files.h"

namespace sorvel {

namespace fs = std::filesystem;

namespace {

constexpr const char* kGroup = "Desktop Entry";

std::optional<std::string> env(const char* name) {
    const char* v = std::getenv(name);
    if (!v || !*v) return std::nullopt;
    return std::string(v);
}

struct KeyFileDeleter {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileDeleter>;

// A desktop entry read with its comments and translations, so that writing it back changes
// only the key we set; nothing when the file is missing or not a desktop entry.
std::optional<KeyFile> loadEntry(const fs::path& path, std::string* error = nullptr) {
    KeyFile file(g_key_file_new());
    GError* failure = nullptr;
    const auto flags = static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS);
    if (!g_key_file_load_from_file(file.get(), path.c_str(), flags, &failure)) {
        if (error) *error = failure ? failure->message : "unreadable";
        g_clear_error(&failure);
        return std::nullopt;
    }
    if (!g_key_file_has_group(file.get(), kGroup)) {
        if (error) *error = "no [Desktop Entry] group";
        return std::nullopt;
    }
    return file;
}

std::optional<std::string> iconKey(const fs::path& entry) {
    auto file = loadEntry(entry);
    if (!file) return std::nullopt;
    gchar* icon = g_key_file_get_string(file->get(), kGroup, "Icon", nullptr);
    if (!icon) return std::nullopt;
    std::string value(icon);
    g_free(icon);
    return value;
}

// The share folder of the prefix the running executable was installed into.
std::optional<fs::path> executablePrefixShare() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return std::nullopt;
    return exe.parent_path().parent_path() / "share";
}

}  // namespace

DesktopDataLocations DesktopDataLocations::fromEnvironment() {
    DesktopDataLocations locations;
    if (auto share = executablePrefixShare()) locations.dataDirs.push_back(*share);
    std::string dirs = env("XDG_DATA_DIRS").value_or("/usr/local/share:/usr/share");
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        fs::path dir = dirs.substr(start, end - start);
        // Relative entries are invalid in the variable and ignored, as the XDG rules say.
        if (dir.is_absolute()) locations.dataDirs.push_back(dir);
        start = end + 1;
    }
    if (auto home = env("XDG_DATA_HOME"); home && fs::path(*home).is_absolute())
        locations.userDataHome = *home;
    else
        locations.userDataHome = fs::path(env("HOME").value_or("/")) / ".local" / "share";
    return locations;
}

DesktopEntryIcons::DesktopEntryIcons(std::string appId, DesktopDataLocations locations)
    : appId_(std::move(appId)), locations_(std::move(locations)) {}

fs::path DesktopEntryIcons::userEntry() const {
    return locations_.userDataHome / "applications" / (appId_ + ".desktop");
}

std::optional<fs::path> DesktopEntryIcons::installedEntry() const {
    std::error_code ec;
    for (const fs::path& dir : locations_.dataDirs) {
        fs::path entry = dir / "applications" / (appId_ + ".desktop");
        // The user's own folder is where this class writes; an entry there is not an install.
        if (entry == userEntry()) continue;
        if (fs::is_regular_file(entry, ec)) return entry;
    }
    return std::nullopt;
}

std::string DesktopEntryIcons::iconName(const std::optional<std::string>& alternate) const {
    return alternate ? appId_ + "." + *alternate : appId_;
}

std::optional<std::string> DesktopEntryIcons::alternateIconName() const {
    auto icon = iconKey(userEntry());
    const std::string prefix = appId_ + ".";
    if (!icon || icon->size() <= prefix.size() || icon->compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    return icon->substr(prefix.size());
}

std::optional<fs::path> DesktopEntryIcons::installedIconFile(const std::string& name) const {
    std::vector<fs::path> roots{locations_.userDataHome};
    roots.insert(roots.end(), locations_.dataDirs.begin(), locations_.dataDirs.end());
    std::error_code ec;
    for (const fs::path& root : roots) {
        const fs::path hicolor = root / "icons" / "hicolor";
        if (!fs::is_directory(hicolor, ec)) continue;
        fs::path svg = hicolor / "scalable" / "apps" / (name + ".svg");
        if (fs::is_regular_file(svg, ec)) return svg;
        for (fs::directory_iterator it(hicolor, ec), end; !ec && it != end; it.increment(ec)) {
            fs::path png = it->path() / "apps" / (name + ".png");
            if (fs::is_regular_file(png, ec)) return png;
        }
    }
    return std::nullopt;
}

std::optional<fs::path> DesktopEntryIcons::installedIconPicture(const std::string& name, int pixels) const {
    std::vector<fs::path> roots{locations_.userDataHome};
    roots.insert(roots.end(), locations_.dataDirs.begin(), locations_.dataDirs.end());
    const std::string size = std::to_string(pixels) + "x" + std::to_string(pixels);
    std::error_code ec;
    for (const fs::path& root : roots) {
        fs::path png = root / "icons" / "hicolor" / size / "apps" / (name + ".png");
        if (fs::is_regular_file(png, ec)) return png;
    }
    return std::nullopt;
}

std::optional<std::string> DesktopEntryIcons::setAlternateIconName(const std::optional<std::string>& alternate) {
    auto installed = installedEntry();
    if (!installed) return "the app is not installed as a desktop application";
    const std::string icon = iconName(alternate);
    if (!installedIconFile(icon)) return "the icon " + icon + " is not installed in the hicolor icon theme";

    const fs::path target = userEntry();
    std::error_code ec;
    std::optional<KeyFile> base;
    if (fs::exists(target, ec)) {
        base = loadEntry(target);
        if (!base && !moveAside(target, Clock::current().now()))
            return "cannot move the unreadable " + target.string() + " aside";
    }
    if (!base) {
        std::string why;
        base = loadEntry(*installed, &why);
        if (!base) return "cannot read " + installed->string() + ": " + why;
    }
    g_key_file_set_string(base->get(), kGroup, "Icon", icon.c_str());
    gsize length = 0;
    gchar* text = g_key_file_to_data(base->get(), &length, nullptr);
    Bytes bytes(text, text + length);
    g_free(text);

    fs::create_directories(target.parent_path(), ec);
    if (ec) return "cannot create " + target.parent_path().string() + ": " + ec.message();
    WriteResult written = writeFileAtomically(target, bytes);
    if (!written.ok) return "cannot write " + target.string() + ": " + written.error;
    return std::nullopt;
}

namespace AlternateIcons {

namespace {
DesktopEntryIcons thisApp() { return DesktopEntryIcons(kAppId, DesktopDataLocations::fromEnvironment()); }
}  // namespace

bool supportsAlternateIcons() { return thisApp().supportsAlternateIcons(); }

std::optional<std::string> alternateIconName() { return thisApp().alternateIconName(); }

std::string currentIconName() {
    DesktopEntryIcons icons = thisApp();
    return icons.iconName(icons.alternateIconName());
}

std::optional<fs::path> iconPicture(const std::optional<std::string>& name, int pixels) {
    DesktopEntryIcons icons = thisApp();
    return icons.installedIconPicture(icons.iconName(name), pixels);
}

void setAlternateIconName(std::optional<std::string> name, Completion completion) {
    DesktopEntryIcons icons = thisApp();
    DispatchQueue::global().async([icons, name = std::move(name), completion = std::move(completion)]() mutable {
        std::optional<std::string> error = icons.setAlternateIconName(name);
        DispatchQueue::main().async([error, completion] {
            if (completion) completion(error);
        });
    });
}

}  // namespace AlternateIcons

}  // namespace sorvel
