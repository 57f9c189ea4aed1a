#pragma once
// Captures the camera has taken but not yet handed to the app, kept on disk so that a process
// killed in between can have them finished at its next start, as phone camera services keep
// "deferred photos". One record per capture, named by the capture identifier of its settings
// (PhotoSettings::captureIdentifier), holding what the backend needs to finish the photo (for
// the virtual rig, the recipe of the exposure), plus an append-only log beside it (the rig's
// Live Photo frames). The backend removes a record once the delegate has taken what it holds.
//
// Files: <folder>/<identifier>.deferred and <identifier>.frames; temporaries start with ".".
// A record is replaced by rename, so a reader sees an old or a new one whole, never a part.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

namespace sorvel {

class DeferredPhotoStore {
public:
    // Where records live; without a folder nothing is kept (unit tests, tools). Any thread.
    static void setFolder(std::optional<std::filesystem::path> folder);
    static std::optional<std::filesystem::path> folder();
    static bool enabled() { return folder().has_value(); }

    // Letters, digits and "-" only, at most 64 of them: the name becomes a file name.
    static bool isValidIdentifier(const std::string& identifier);

    // Writes or replaces the record. Without `sync` it is safe against a killed process but not
    // yet against a power cut. False (with the reason) when it cannot be written.
    static bool write(const std::string& identifier, const Bytes& record, bool sync, std::string* error = nullptr);
    // Adds to the record's log. The log may end in a part of an addition after a crash; its
    // reader keeps whole additions only.
    static bool append(const std::string& identifier, const Bytes& bytes);
    static std::optional<Bytes> read(const std::string& identifier);
    static std::optional<Bytes> readLog(const std::string& identifier);
    static void sync(const std::string& identifier);
    static void remove(const std::string& identifier);
    // Every record kept, oldest first.
    static std::vector<std::string> identifiers();
};

}  // namespace sorvel
