// The location service: one manager for the life of the screen; the last fix goes into the
// pictures.

#include "app/ViewController.h"

namespace sorvel {

void ViewController::setupLocationManager() {
    locationManager = std::make_unique<LocationManager>();
    locationManager->setDelegate(this);
    locationManager->requestWhenInUseAuthorization();
    locationManager->startUpdatingLocation();
}

void ViewController::locationManagerDidUpdateLocations(LocationManager&, const std::vector<Location>& locations) {
    std::lock_guard lock(sharedStateMutex_);
    if (locations.empty()) currentLocation_.reset();
    else currentLocation_ = locations.back();
}

std::optional<Location> ViewController::currentLocation() const {
    std::lock_guard lock(sharedStateMutex_);
    return currentLocation_;
}

}  // namespace sorvel
