#pragma once
// The photo library: asset files a person can browse in one folder, an SQLite index beside them,
// authorisation from the permissions file, and change blocks that create assets (see
// AssetCreationRequest.h). Saves are whole or absent, also across a crash (AssetWriter.h).

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "AssetCreationRequest.h"
#include "LibraryIndex.h"
#include "PhotoAsset.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Permissions.h"

namespace sorvel {

class PhotoLibrary : public std::enable_shared_from_this<PhotoLibrary> {
public:
    using ChangeBlock = std::function<void()>;
    using Completion = std::function<void(bool success, const std::optional<LibraryError>& error)>;
    using AuthorizationHandler = std::function<void(AuthorizationStatus status)>;
    // Numbered as on the phone platform.
    enum class AccessLevel { AddOnly = 1, ReadWrite = 2 };

    // Opens the library in `folder`, creating it when needed: removes what interrupted saves left
    // (one console line), rebuilds a lost or damaged index from the asset files (the damaged one
    // is moved aside; one console line). Never fails: when the folder cannot be used, the reason
    // is kept, every save fails with it and opening is tried again at the next save. Any thread.
    static std::shared_ptr<PhotoLibrary> open(const std::filesystem::path& folder);

    // The library the app saves into: the one set at start-up, else the default folder's.
    static PhotoLibrary& shared();
    static void setShared(std::shared_ptr<PhotoLibrary> library);

    // From the permissions file's "photos" entry (authorized when absent). Any thread.
    static AuthorizationStatus authorizationStatus();
    static AuthorizationStatus authorizationStatus(AccessLevel level);
    // There is no prompt on this platform: the answer is the current status, delivered on a
    // platform queue (never the main queue). Any thread.
    static void requestAuthorization(AuthorizationHandler handler);
    static void requestAuthorization(AccessLevel level, AuthorizationHandler handler);

    // Runs `changes` on the library's serial queue, saves what its creation requests asked for,
    // then calls `completion` on a platform queue (never the main queue) with the outcome.
    // Refused (without running the block) when access is denied or restricted. Any thread.
    void performChanges(ChangeBlock changes, Completion completion);
    // The same, waiting for the outcome; nothing on success. Never call on the library's queue.
    std::optional<LibraryError> performChangesAndWait(ChangeBlock changes);

    const std::filesystem::path& folder() const { return folder_; }
    // Why the library cannot be used right now, if it cannot.
    std::optional<std::string> unavailableReason() const;

    // Reading; any thread. Newest first.
    std::vector<PhotoAsset> assets() const;
    std::optional<PhotoAsset> asset(const std::string& localIdentifier) const;
    // The resource at `position` (in the order added) of an asset.
    std::optional<std::filesystem::path> resourceFile(const std::string& localIdentifier, std::size_t position) const;
    // Its bytes; nothing when the file is gone or no longer has the size and hash recorded.
    std::optional<Bytes> resourceData(const std::string& localIdentifier, std::size_t position) const;

    ~PhotoLibrary();

private:
    explicit PhotoLibrary(std::filesystem::path folder);
    // Library queue (or the opening thread, before the library is shared).
    bool openStorage();
    std::optional<LibraryError> apply(const ChangeBlock& changes);
    std::shared_ptr<LibraryIndex> index() const;

    std::filesystem::path folder_;
    std::shared_ptr<DispatchQueue> queue_;
    mutable std::mutex mutex_;
    std::shared_ptr<LibraryIndex> index_;
    std::string unavailable_;
    std::int64_t nextNumber_ = 1;  // library queue
    int lockFd_ = -1;
};

}  // namespace sorvel
