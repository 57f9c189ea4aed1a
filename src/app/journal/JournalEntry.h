#pragma once
// One acknowledged shutter press as the capture journal keeps it: everything the processing of
// that press depends on, taken at the press, and then the camera's bytes. Processing reads only
// this, so a press processed after a restart comes out as it would have without one.

#include <map>
#include <optional>
#include <set>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/location/Location.h"

namespace sorvel {

enum class CaptureKind { Still = 0, LivePhoto = 1, Deep = 2 };

// The library assets a press may make; each has its identifier from the press on, so a save
// repeated after a restart finds the asset it already made.
namespace assetSlot {
inline constexpr const char* kStill = "still";        // normal still
inline constexpr const char* kLivePhoto = "live";     // Live Photo pair
inline constexpr const char* kFiltered = "filtered";  // the processed still beside (or instead of) a Live Photo
inline constexpr const char* kRaw = "raw";            // deep mode DNG
inline constexpr const char* kHeic = "heic";          // deep mode developed HEIC
}  // namespace assetSlot

enum class SlotState { Pending, Committed, Dropped, Retry };

struct JournalEntry {
    std::string identifier;  // also the capture identifier of the photo settings
    CaptureKind kind = CaptureKind::Still;
    Date pressDate;
    Dictionary settings;  // the settings store at the press ("savedFilters" left out)
    std::optional<Dictionary> filterParameters;  // the active filter's values, when one was on
    int orientation = 1;                         // device orientation at the press
    std::optional<Location> location;            // the last fix at the press
    bool frontCamera = false;
    std::string cameraID;
    double screenScale = 1;  // pixels per point of the watermark's text
    std::map<std::string, std::string> outputs;         // slot -> asset identifier
    std::map<std::string, SlotState> required;          // the slots this press must settle

    // Filled as the capture proceeds.
    bool hasPhoto = false;
    std::uint64_t photoSize = 0;
    std::uint32_t photoCrc = 0;
    Date capturedDate;  // when the bytes arrived: the watermark's time
    bool hasMovie = false;
    bool movieFailed = false;
    int recoveryAttempts = 0;  // starts that tried to finish it

    bool settled() const;
    bool needsRetry() const;
    std::string assetFor(const char* slot) const;
};

Bytes encodeJournalEntry(const JournalEntry& entry);
// Nothing when the bytes are not a whole, readable entry.
std::optional<JournalEntry> decodeJournalEntry(const Bytes& bytes);

}  // namespace sorvel
