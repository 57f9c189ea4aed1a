#pragma once
// Processing a journalled press: the settings, filter, location and time it had, on whatever
// thread does the work, and saving its assets under the identifiers the press gave them.

#include <filesystem>
#include <memory>
#include <optional>

#include "app/PhotoLibrarySaves.h"
#include "app/StillPhotoPipeline.h"
#include "app/journal/JournalEntry.h"
#include "platform/foundation/SettingsOverride.h"
#include "platform/foundation/SettingsStore.h"

namespace sorvel {

// While alive, SettingsStore::standard() on this thread reads the press's settings.
class PressSettingsScope {
public:
    explicit PressSettingsScope(const JournalEntry& entry);

private:
    std::unique_ptr<SettingsStore> store_;
    ScopedSettingsOverride override_;
};

// The settings store as it is now, for the journal ("savedFilters" left out: it is not read by
// a capture and only makes the entry large).
Dictionary snapshotSettings();

// The press's filter on `picture`, or nothing when no filter was on.
std::optional<image::Image> applyPressFilter(const JournalEntry& entry, const image::Image& picture);
// The press's watermark (when `setting_12` was on), with its location and capture time.
image::Image applyPressWatermark(const JournalEntry& entry, const image::Image& picture, const Dictionary& properties,
                                 bool mirroredDeepPicture);
StillPhotoHooks pressHooks(const JournalEntry& entry);

// Saves one asset of the press under its slot's identifier and creation date, and settles the
// slot in the journal once the library has answered: committed, dropped (refused: the press's
// described loss) or kept for a retry at the next start (a write failure such as a full disk).
// A slot whose asset the library already has (saved before a kill) is settled at once, without
// a save. `report` as for saveToPhotoLibrary.
void savePressAsset(const std::shared_ptr<JournalEntry>& entry, const char* slot, LibrarySaveKind kind, Bytes photo,
                    std::optional<std::filesystem::path> movie, std::optional<Location> location, SaveReport report);

// Settles a slot that will never be saved (its processing failed).
void dropPressSlot(const std::shared_ptr<JournalEntry>& entry, const char* slot);

}  // namespace sorvel
