#pragma once
// Opening the gallery: on this platform, the library folder in the desktop's default handler
// for folders (xdg-open), which is what the app's "open the photo app" command maps to.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace sorvel {

// Runs `xdg-open <folder>` (found on PATH, no shell) and waits for it; nothing on success, else
// a readable reason (not installed, exit status, killed). Blocks: call it off the main thread.
std::optional<std::string> openGalleryAndWait(const std::filesystem::path& folder);

// The same on a platform queue; `completion` runs there. Any thread.
void openGallery(const std::filesystem::path& folder, std::function<void(const std::optional<std::string>& error)> completion);

}  // namespace sorvel
