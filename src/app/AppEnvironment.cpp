#include "AppEnvironment.h"

#include "app/journal/CaptureJournal.h"
#include "platform/capture/DeferredPhotoStore.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Permissions.h"

namespace sorvel {

AppEnvironment::AppEnvironment(const std::optional<std::filesystem::path>& home,
                               const std::optional<std::filesystem::path>& library)
    : home_(appHome(home)), library_(photoLibraryFolder(library)) {
    std::error_code ec;
    std::filesystem::create_directories(home_, ec);
    settings_ = SettingsStore::open(settingsFile(home_));
    SettingsStore::setStandard(settings_.get());
    Permissions::setFile(home_ / "permissions.conf");
    CaptureJournal::setShared(CaptureJournal::open(home_ / "journal"));
    DeferredPhotoStore::setFolder(home_ / "deferred-photos");
}

AppEnvironment::~AppEnvironment() {
    DeferredPhotoStore::setFolder(std::nullopt);
    CaptureJournal::setShared(nullptr);
    SettingsStore::setStandard(nullptr);
}

}  // namespace sorvel
