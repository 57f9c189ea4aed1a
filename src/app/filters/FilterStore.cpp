#include "app/filters/FilterStore.h"

#include <utility>

#include "app/filters/FilterCodec.h"
#include "platform/foundation/SettingsStore.h"

namespace sorvel {

namespace {

const char* const kSavedFiltersKey = "savedFilters";
const char* const kHasLaunchedBeforeKey = "hasLaunchedBefore";

struct Preset {
    const char* name;
    const char* code;
};

// Stored in the Hanzi form; their looks are described next to the Hanzi table.
const Preset kPresets[] = {
    {"🌊海草ccd", "萌似月波差城侨光约衣持幅灵"},
    {"🟡只有你是彩色的", "蜜约身七入纺析萌"},
    {"🍀自然柔和", "萌假世毕入何湖麦澳灵"},
};

}  // namespace

void saveFiltersToUserDefaults(const std::vector<Dictionary>& filters) {
    Array array;
    array.reserve(filters.size());
    for (const auto& f : filters) array.emplace_back(f);
    SettingsStore::standard().setObject(Value(std::move(array)), kSavedFiltersKey);
}

void loadFiltersFromUserDefaults(std::vector<Dictionary>& filters) {
    auto stored = SettingsStore::standard().arrayForKey(kSavedFiltersKey);
    if (!stored) return;
    std::vector<Dictionary> loaded;
    loaded.reserve(stored->size());
    for (const auto& element : *stored) {
        const Dictionary* d = element.dictionaryValue();
        if (!d) return;
        loaded.push_back(*d);
    }
    filters = std::move(loaded);
}

void checkFirstLaunch(std::vector<Dictionary>& filters) {
    SettingsStore& store = SettingsStore::standard();
    if (store.boolForKey(kHasLaunchedBeforeKey)) return;
    importDefaultFilters(filters);
    store.setBool(true, kHasLaunchedBeforeKey);
}

void importDefaultFilters(std::vector<Dictionary>& filters) {
    for (const auto& preset : kPresets) {
        auto decoded = decodeFilter(preset.code);
        if (!decoded) continue;
        (*decoded)["name"] = Value(preset.name);
        filters.push_back(std::move(*decoded));
    }
    saveFiltersToUserDefaults(filters);
}

}  // namespace sorvel
