#pragma once
// Where the app keeps its files, and writing files so that they are either complete or absent.

#include <filesystem>
#include <optional>
#include <string>

#include "Value.h"

namespace sorvel {

struct WriteResult {
    bool ok = false;
    std::string error;  // readable reason when !ok
};

// Writes `bytes` to a temporary name beside `path`, fsyncs it, renames it over `path` and
// fsyncs the folder. On failure nothing is left behind and `path` is untouched. Without `sync`
// the file is still whole or absent for a process killed at any moment (the kernel keeps what
// was written), but not across a power cut until the kernel has written it out.
WriteResult writeFileAtomically(const std::filesystem::path& path, const Bytes& bytes, bool sync = true);

// fsync of a file or folder; false when it cannot be opened or synced.
bool syncPath(const std::filesystem::path& path);

// Reads a whole file; nothing when it cannot be read or is larger than `maxBytes`.
std::optional<Bytes> readFile(const std::filesystem::path& path, std::uintmax_t maxBytes = std::uintmax_t(1) << 31);

// The app home: $SORVEL_HOME, else $XDG_DATA_HOME/sorvel-camera, else
// ~/.local/share/sorvel-camera. `override` (from --home) wins over all.
std::filesystem::path appHome(const std::optional<std::filesystem::path>& override = std::nullopt);

// The photo library folder: `override` (from --library), else $SORVEL_LIBRARY, else
// $XDG_PICTURES_DIR/Sorvel (XDG user-dirs), else ~/Pictures/Sorvel.
std::filesystem::path photoLibraryFolder(const std::optional<std::filesystem::path>& override = std::nullopt);

// "20261206-174412" in local time, for names of moved-aside files.
std::string fileTimeStamp(double secondsSince1970);

// Renames a damaged file to "<name>.damaged-<time stamp>" (adding -2, -3... if taken) and
// returns the new path; never overwrites anything.
std::optional<std::filesystem::path> moveAside(const std::filesystem::path& path, double secondsSince1970);

}  // namespace sorvel
