#pragma once
// The location service: when-in-use authorisation from the permissions file, and fixes from the
// configured provider delivered to a delegate on the main queue.

#include <memory>
#include <optional>
#include <vector>

#include "Location.h"
#include "LocationProvider.h"
#include "platform/foundation/Permissions.h"

namespace sorvel {

class LocationManager;

class LocationManagerDelegate {
public:
    virtual ~LocationManagerDelegate() = default;
    // Main thread. The newest fix is the last element.
    virtual void locationManagerDidUpdateLocations(LocationManager& manager, const std::vector<Location>& locations) = 0;
    // Main thread, after an authorisation request was answered.
    virtual void locationManagerDidChangeAuthorization(LocationManager&) {}
};

// Every member runs on the main thread.
class LocationManager {
public:
    // Takes the configured provider when updates start.
    LocationManager();
    // Uses `provider` (tests; nullptr means no provider).
    explicit LocationManager(std::unique_ptr<LocationProvider> provider);
    ~LocationManager();
    LocationManager(const LocationManager&) = delete;
    LocationManager& operator=(const LocationManager&) = delete;

    // Borrowed; the delegate must outlive the manager or be cleared first.
    void setDelegate(LocationManagerDelegate* delegate) { delegate_ = delegate; }
    LocationManagerDelegate* delegate() const { return delegate_; }

    AuthorizationStatus authorizationStatus() const;
    // There is no prompt on this platform: the answer is the permissions file's "location"
    // entry, reported to the delegate from the main queue.
    void requestWhenInUseAuthorization();

    // Without authorisation, or without a provider, nothing is ever delivered.
    void startUpdatingLocation();
    void stopUpdatingLocation();

    // The last fix delivered, if any.
    std::optional<Location> location() const { return last_; }

private:
    void deliver(const std::vector<Location>& locations);

    LocationManagerDelegate* delegate_ = nullptr;
    bool providerInjected_ = false;
    std::unique_ptr<LocationProvider> provider_;
    std::optional<Location> last_;
    bool updating_ = false;
    // Checked by blocks queued to the main queue, so none runs after the manager is gone.
    std::shared_ptr<LocationManager*> self_;
};

}  // namespace sorvel
