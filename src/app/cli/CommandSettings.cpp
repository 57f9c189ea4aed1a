#include "app/cli/CommandSettings.h"

#include "app/SettingsKeys.h"
#include "platform/foundation/SettingsStore.h"

namespace sorvel {

void applyCommandSettings(SettingsStore& store, const std::vector<std::pair<std::string, Value>>& settings) {
    for (const auto& [key, value] : settings) store.setObject(value, key);
    if (store.boolForKey("isFirstLaunch")) store.registerSeeds(settingSeeds());
}

}  // namespace sorvel
