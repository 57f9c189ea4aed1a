#pragma once
// Creating an asset inside a change block:
//
//     library.performChanges([=] {
//         auto& request = AssetCreationRequest::creationRequestForAsset();
//         request.addResource(AssetResourceType::Photo, heicBytes);
//         AssetResourceCreationOptions options;
//         options.shouldMoveFile = true;
//         request.addResource(AssetResourceType::PairedVideo, movieFile, options);
//         request.setLocation(location);
//     }, [](bool success, const std::optional<LibraryError>& error) { ... });
//
// A request only records what is asked; the library writes everything when the block returns.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "PhotoAsset.h"

namespace sorvel {

struct AssetResourceCreationOptions {
    // The library takes the file over instead of copying it: after a successful save the file
    // is gone from its old place. After a failed save it is left where it was.
    bool shouldMoveFile = false;
};

struct PendingResource {
    AssetResourceType type;
    std::variant<Bytes, std::filesystem::path> source;
    AssetResourceCreationOptions options;
};

class AssetCreationRequest {
public:
    // A new request that belongs to the change block running on this thread. Must be called
    // inside a change block (the library's queue); outside one the request is not saved and a
    // console line says so.
    static AssetCreationRequest& creationRequestForAsset();

    void addResource(AssetResourceType type, Bytes data, const AssetResourceCreationOptions& options = {});
    void addResource(AssetResourceType type, const std::filesystem::path& fileURL,
                     const AssetResourceCreationOptions& options = {});
    // May be called before or after the resources; nothing clears a location set earlier.
    void setLocation(std::optional<Location> location) { location_ = std::move(location); }

    // The identifier the asset will have once saved.
    const std::string& placeholderLocalIdentifier() const { return localIdentifier_; }
    // A capture saved again after a restart keeps the identifier it was given at the press, so
    // the library can tell it is already there. Call before anything else on the request.
    void setLocalIdentifier(std::string identifier) { localIdentifier_ = std::move(identifier); }
    // When the picture was taken; without it, the moment of the save.
    void setCreationDate(std::optional<Date> date) { creationDate_ = date; }
    const std::optional<Date>& creationDate() const { return creationDate_; }

    const std::vector<PendingResource>& resources() const { return resources_; }
    const std::optional<Location>& location() const { return location_; }

    AssetCreationRequest();

private:
    std::string localIdentifier_;
    std::vector<PendingResource> resources_;
    std::optional<Location> location_;
    std::optional<Date> creationDate_;
};

// The requests made by the change block that runs on the calling thread. Used by the library.
class ChangeBlockScope {
public:
    ChangeBlockScope();
    ~ChangeBlockScope();
    ChangeBlockScope(const ChangeBlockScope&) = delete;
    ChangeBlockScope& operator=(const ChangeBlockScope&) = delete;
    std::vector<std::unique_ptr<AssetCreationRequest>>& requests() { return requests_; }

private:
    friend class AssetCreationRequest;
    std::vector<std::unique_ptr<AssetCreationRequest>> requests_;
    ChangeBlockScope* outer_;
};

}  // namespace sorvel
