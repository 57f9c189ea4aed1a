#include "PressProcessing.h"

#include "app/Watermark.h"
#include "app/filters/FilterChain.h"
#include "app/filters/SavedFilter.h"
#include "app/journal/CaptureJournal.h"
#include "platform/foundation/Console.h"
#include "platform/photos/PhotoLibrary.h"

namespace sorvel {

namespace {

std::unique_ptr<SettingsStore> storeWith(const Dictionary& settings) {
    auto store = SettingsStore::inMemory();
    for (const auto& [key, value] : settings) store->setObject(value, key);
    return store;
}

}  // namespace

PressSettingsScope::PressSettingsScope(const JournalEntry& entry)
    : store_(storeWith(entry.settings)), override_(store_.get()) {}

Dictionary snapshotSettings() {
    SettingsStore& settings = SettingsStore::standard();
    Dictionary out;
    for (const std::string& key : settings.allKeys()) {
        if (key == "savedFilters") continue;
        if (auto value = settings.objectForKey(key)) out[key] = *value;
    }
    return out;
}

std::optional<image::Image> applyPressFilter(const JournalEntry& entry, const image::Image& picture) {
    if (!entry.filterParameters) return std::nullopt;
    auto parameters = parametersOfFilter(Dictionary{{"parameters", Value(*entry.filterParameters)}});
    if (!parameters) return std::nullopt;
    return applyFilters(picture, *parameters);
}

image::Image applyPressWatermark(const JournalEntry& entry, const image::Image& picture, const Dictionary& properties,
                                 bool mirroredDeepPicture) {
    if (!SettingsStore::standard().boolForKey("setting_12")) return picture;
    // The time printed is the capture's, so a picture processed after a restart reads as it
    // would have read without one.
    return addWatermarkInternal(picture, properties, entry.location, mirroredDeepPicture, entry.screenScale,
                                entry.capturedDate);
}

StillPhotoHooks pressHooks(const JournalEntry& entry) {
    StillPhotoHooks hooks;
    hooks.filter = [&entry](const image::Image& picture) { return applyPressFilter(entry, picture); };
    hooks.watermark = [&entry](const image::Image& picture, const Dictionary& properties) {
        return applyPressWatermark(entry, picture, properties, false);
    };
    return hooks;
}

void savePressAsset(const std::shared_ptr<JournalEntry>& entry, const char* slot, LibrarySaveKind kind, Bytes photo,
                    std::optional<std::filesystem::path> movie, std::optional<Location> location, SaveReport report) {
    auto journal = CaptureJournal::shared();
    std::string identifier = entry->assetFor(slot);
    if (!identifier.empty() && PhotoLibrary::shared().asset(identifier)) {
        // Saved before the process was killed; only the journal did not hear of it.
        if (journal) journal->settle(*entry, slot, SlotState::Committed);
        if (report) report(true, "", identifier);
        return;
    }
    LibrarySaveOptions options;
    options.localIdentifier = identifier;
    options.creationDate = entry->pressDate;
    std::string slotName = slot;
    if (journal) journal->saveStarted(entry->identifier);
    options.ended = [entry, journal, slotName](SaveEnd end) {
        if (!journal) return;
        SlotState state = end == SaveEnd::Saved ? SlotState::Committed
                        : end == SaveEnd::Refused ? SlotState::Dropped
                                                  : SlotState::Retry;
        journal->settle(*entry, slotName, state);
        if (state == SlotState::Retry)
            consolePrint("照片仍在拍摄日志中（" + journal->folder().string() + "），下次启动时会再次保存。");
        journal->saveAnswered(entry->identifier);
    };
    saveToPhotoLibrary(kind, std::move(photo), std::move(movie), std::move(location), std::move(report), std::move(options));
}

void dropPressSlot(const std::shared_ptr<JournalEntry>& entry, const char* slot) {
    if (auto journal = CaptureJournal::shared()) journal->settle(*entry, slot, SlotState::Dropped);
}

}  // namespace sorvel
