#pragma once
// Every write of a picture into the photo library: which authorisation it asks for, which
// resources it adds in which order, where the location goes, and the console lines it prints.
// Fire-and-forget: the bytes are captured by value and the caller returns at once.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/location/Location.h"

namespace sorvel {

enum class LibrarySaveKind {
    Still,                   // normal still: HEIC with its GPS inside the file
    FilterTest,              // the filter test photo: no authorisation asked
    FilteredLivePhotoStill,  // the filtered still saved beside a Live Photo
    LivePhoto,               // still + paired movie (moved into the library), location after
    DeepRaw,                 // the DNG, add-only access, location before the resource
    DeepHeic,                // the developed HEIC, add-only access, location after the resource
};

// Called once the save has ended, on a library queue: `line` is the console line printed (or, for
// kinds that print none, what it would say), `asset` the new asset's identifier on success.
using SaveReport = std::function<void(bool success, const std::string& line, const std::string& asset)>;

enum class SaveEnd { Saved, Refused, Failed };

struct LibrarySaveOptions {
    std::string localIdentifier;        // the asset's identifier; empty: a new one
    std::optional<Date> creationDate;   // when the picture was taken; none: the moment of the save
    std::function<void(SaveEnd)> ended;  // how the save ended, told before `report`
};

// A caller whose console is muted (ConsoleMute.h) gets a quiet save: its lines are not printed.
void saveToPhotoLibrary(LibrarySaveKind kind, Bytes photo, std::optional<std::filesystem::path> pairedMovie,
                        std::optional<Location> location, SaveReport report = nullptr, LibrarySaveOptions options = {});

}  // namespace sorvel
