#include "AssetCreationRequest.h"

#include "platform/foundation/Console.h"
#include "platform/foundation/Uuid.h"

namespace sorvel {

namespace {
thread_local ChangeBlockScope* currentScope = nullptr;
}

ChangeBlockScope::ChangeBlockScope() : outer_(currentScope) { currentScope = this; }

ChangeBlockScope::~ChangeBlockScope() { currentScope = outer_; }

AssetCreationRequest::AssetCreationRequest() : localIdentifier_(makeUuid()) {}

AssetCreationRequest& AssetCreationRequest::creationRequestForAsset() {
    if (!currentScope) {
        consolePrint("Photo library: an asset creation request was made outside a change block and is ignored");
        // Kept per thread so a caller may fill it in without harm; it is never saved.
        thread_local AssetCreationRequest detached;
        detached = AssetCreationRequest();
        return detached;
    }
    currentScope->requests_.push_back(std::make_unique<AssetCreationRequest>());
    return *currentScope->requests_.back();
}

void AssetCreationRequest::addResource(AssetResourceType type, Bytes data, const AssetResourceCreationOptions& options) {
    resources_.push_back({type, std::move(data), options});
}

void AssetCreationRequest::addResource(AssetResourceType type, const std::filesystem::path& fileURL,
                                       const AssetResourceCreationOptions& options) {
    resources_.push_back({type, fileURL, options});
}

}  // namespace sorvel
