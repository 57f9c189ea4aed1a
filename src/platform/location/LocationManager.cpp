#include "LocationManager.h"

#include "platform/foundation/Dispatch.h"

namespace sorvel {

LocationManager::LocationManager() : self_(std::make_shared<LocationManager*>(this)) {}

LocationManager::LocationManager(std::unique_ptr<LocationProvider> provider)
    : providerInjected_(true), provider_(std::move(provider)), self_(std::make_shared<LocationManager*>(this)) {}

LocationManager::~LocationManager() { stopUpdatingLocation(); }

AuthorizationStatus LocationManager::authorizationStatus() const { return Permissions::status("location"); }

void LocationManager::requestWhenInUseAuthorization() {
    DispatchQueue::main().async([weak = std::weak_ptr<LocationManager*>(self_)] {
        auto self = weak.lock();
        if (!self) return;
        LocationManager& manager = **self;
        if (manager.delegate_) manager.delegate_->locationManagerDidChangeAuthorization(manager);
    });
}

void LocationManager::startUpdatingLocation() {
    if (updating_) return;
    // Read at each start so that a permission changed while the app runs takes effect.
    if (authorizationStatus() != AuthorizationStatus::Authorized) return;
    if (!providerInjected_) provider_ = makeConfiguredProvider();
    if (!provider_) return;
    updating_ = true;
    provider_->start([weak = std::weak_ptr<LocationManager*>(self_)](const std::vector<Location>& locations) {
        if (auto self = weak.lock()) (*self)->deliver(locations);
    });
}

void LocationManager::stopUpdatingLocation() {
    if (!updating_) return;
    updating_ = false;
    if (provider_) provider_->stop();
}

void LocationManager::deliver(const std::vector<Location>& locations) {
    if (!locations.empty()) last_ = locations.back();
    if (delegate_) delegate_->locationManagerDidUpdateLocations(*this, locations);
}

}  // namespace sorvel
