#include "FirstLaunchManager.h"

#include "app/SettingsKeys.h"
#include "platform/foundation/SettingsStore.h"

namespace sorvel {

FirstLaunchManager& FirstLaunchManager::shared() {
    static FirstLaunchManager manager;
    return manager;
}

bool FirstLaunchManager::shouldShowWelcomePopup() const {
    if (SettingsStore::standard().boolForKey(firstLaunchKey)) return debugMode;
    return true;
}

void FirstLaunchManager::setFirstLaunchCompleted() { SettingsStore::standard().setBool(true, firstLaunchKey); }

void FirstLaunchManager::showWelcomePopup(ViewController&, std::function<void(const std::string&)>) {
    setFirstLaunchCompleted();
    SettingsStore::standard().registerSeeds(settingSeeds());
}

}  // namespace sorvel
