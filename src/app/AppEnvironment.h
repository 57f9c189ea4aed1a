#pragma once
// What the app needs before its screen exists: the app home with its settings store and
// permissions file, and the photo library folder.

#include <filesystem>
#include <memory>
#include <optional>

#include "platform/foundation/SettingsStore.h"

namespace sorvel {

class AppEnvironment {
public:
    // Resolves the folders (command-line overrides first), creates the home, opens the
    // settings store and installs it and the permissions file process-wide.
    AppEnvironment(const std::optional<std::filesystem::path>& home, const std::optional<std::filesystem::path>& library);
    ~AppEnvironment();

    const std::filesystem::path& home() const { return home_; }
    const std::filesystem::path& library() const { return library_; }
    SettingsStore& settings() { return *settings_; }

    static std::filesystem::path settingsFile(const std::filesystem::path& home) { return home / "settings.sqlite"; }

private:
    std::filesystem::path home_;
    std::filesystem::path library_;
    std::unique_ptr<SettingsStore> settings_;
};

}  // namespace sorvel
