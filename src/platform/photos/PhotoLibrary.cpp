#include "PhotoLibrary.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>

#include "AssetFiles.h"
#include "AssetWriter.h"
#include "LibraryRecovery.h"
#include "Sha256.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"

namespace fs = std::filesystem;

namespace sorvel {

namespace {

std::mutex sharedMutex;
std::shared_ptr<PhotoLibrary> sharedLibrary;

constexpr const char* kLockFileName = ".sorvel-library.lock";

bool allowsChanges(AuthorizationStatus s) {
    return s != AuthorizationStatus::Denied && s != AuthorizationStatus::Restricted;
}

}  // namespace

PhotoLibrary::PhotoLibrary(fs::path folder)
    : folder_(std::move(folder)), queue_(DispatchQueue::makeSerial("com.sorvel.photos.library")) {}

PhotoLibrary::~PhotoLibrary() {
    if (lockFd_ >= 0) ::close(lockFd_);
}

std::shared_ptr<PhotoLibrary> PhotoLibrary::open(const fs::path& folder) {
    std::shared_ptr<PhotoLibrary> library(new PhotoLibrary(folder));
    library->openStorage();
    return library;
}

PhotoLibrary& PhotoLibrary::shared() {
    std::lock_guard lock(sharedMutex);
    if (!sharedLibrary) sharedLibrary = open(photoLibraryFolder());
    return *sharedLibrary;
}

void PhotoLibrary::setShared(std::shared_ptr<PhotoLibrary> library) {
    std::lock_guard lock(sharedMutex);
    sharedLibrary = std::move(library);
}

bool PhotoLibrary::openStorage() {
    auto unavailable = [&](const std::string& why) {
        std::lock_guard lock(mutex_);
        unavailable_ = why;
        return false;
    };
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (ec || !fs::is_directory(folder_, ec))
        return unavailable("the library folder " + folder_.string() + " cannot be created: " +
                           (ec ? ec.message() : "not a folder"));

    // Another process that has the library open may be saving right now; its temporary files
    // are not leftovers, so only the holder of this lock cleans up.
    if (lockFd_ < 0) lockFd_ = ::open((folder_ / kLockFileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    bool sole = lockFd_ >= 0 && ::flock(lockFd_, LOCK_EX | LOCK_NB) == 0;

    fs::path indexFile = folder_ / LibraryIndex::kFileName;
    bool existed = fs::exists(indexFile, ec);
    auto opened = LibraryIndex::open(indexFile);
    bool rebuild = !existed;
    std::string damage;
    if (!opened.index && opened.damaged) {
        // Only the lock holder may move the index away from under other users of the library.
        if (!sole) return unavailable("the library index is damaged and another process has the library open");
        double now = Clock::current().now();
        auto aside = moveAside(indexFile, now);
        for (const char* suffix : {"-wal", "-shm"}) {
            fs::path extra = indexFile.string() + suffix;
            if (fs::exists(extra, ec)) moveAside(extra, now);
        }
        if (!aside) return unavailable("the library index is damaged and cannot be moved aside: " + opened.error);
        damage = "the index was damaged (" + opened.error + "); moved aside to " + aside->filename().string();
        opened = LibraryIndex::open(indexFile);
        rebuild = true;
    }
    if (!opened.index) return unavailable("the library index cannot be opened: " + opened.error);

    int removed = sole ? removeInterruptedSaves(folder_, rebuild ? nullptr : opened.index.get()) : 0;
    if (removed)
        consolePrint("Photo library: removed " + std::to_string(removed) + " leftover file(s) of interrupted saves");
    std::int64_t next = std::max(opened.index->nextNumber(), firstFreeNumber(folder_));
    // Two processes opening a library without an index must not both fill the new one.
    if (rebuild && sole) {
        auto found = assetsFromFiles(folder_);
        std::string error;
        if (!found.empty() && !opened.index->insert(found, next, error))
            return unavailable("the library index cannot be rebuilt: " + error);
        std::string count = std::to_string(found.size()) + " asset(s)";
        if (!damage.empty()) consolePrint("Photo library: " + damage + " and rebuilt with " + count + " from the files");
        else if (!found.empty()) consolePrint("Photo library: index rebuilt with " + count + " found in the folder");
    }
    std::lock_guard lock(mutex_);
    index_ = std::move(opened.index);
    nextNumber_ = next;
    unavailable_.clear();
    return true;
}

std::optional<std::string> PhotoLibrary::unavailableReason() const {
    std::lock_guard lock(mutex_);
    if (unavailable_.empty()) return std::nullopt;
    return unavailable_;
}

std::shared_ptr<LibraryIndex> PhotoLibrary::index() const {
    std::lock_guard lock(mutex_);
    return index_;
}

AuthorizationStatus PhotoLibrary::authorizationStatus() { return Permissions::status("photos"); }

// Add-only access answers the same as read-write here: the permissions file has one entry, and a
// "limited" answer must refuse the app's add-only saves as well.
AuthorizationStatus PhotoLibrary::authorizationStatus(AccessLevel) { return authorizationStatus(); }

void PhotoLibrary::requestAuthorization(AuthorizationHandler handler) {
    requestAuthorization(AccessLevel::ReadWrite, std::move(handler));
}

void PhotoLibrary::requestAuthorization(AccessLevel level, AuthorizationHandler handler) {
    DispatchQueue::global().async([level, handler = std::move(handler)] {
        if (handler) handler(authorizationStatus(level));
    });
}

void PhotoLibrary::performChanges(ChangeBlock changes, Completion completion) {
    queue_->async([self = shared_from_this(), changes = std::move(changes), completion = std::move(completion)] {
        auto error = self->apply(changes);
        if (!completion) return;
        DispatchQueue::global().async([completion, error] { completion(!error, error); });
    });
}

std::optional<LibraryError> PhotoLibrary::performChangesAndWait(ChangeBlock changes) {
    std::optional<LibraryError> error;
    queue_->sync([&] { error = apply(changes); });
    return error;
}

std::optional<LibraryError> PhotoLibrary::apply(const ChangeBlock& changes) {
    if (!allowsChanges(authorizationStatus()))
        return LibraryError{std::string("access to the photo library is ") +
                            authorizationStatusName(authorizationStatus())};
    ChangeBlockScope scope;
    if (changes) changes();
    if (scope.requests().empty()) return std::nullopt;
    // The folder may have been removed or replaced while the app ran; start over in a new one
    // rather than writing beside an index that is no longer there.
    std::error_code ec;
    if (index() && !fs::exists(folder_ / LibraryIndex::kFileName, ec)) {
        std::lock_guard lock(mutex_);
        index_.reset();
        if (lockFd_ >= 0) ::close(lockFd_);
        lockFd_ = -1;
    }
    if (!index() && !openStorage()) return LibraryError{*unavailableReason()};
    auto idx = index();
    SaveOutcome outcome = saveAssets(folder_, *idx, scope.requests(), Clock::current().date(), nextNumber_);
    return outcome.error;
}

std::vector<PhotoAsset> PhotoLibrary::assets() const {
    auto idx = index();
    return idx ? idx->assets() : std::vector<PhotoAsset>{};
}

std::optional<PhotoAsset> PhotoLibrary::asset(const std::string& localIdentifier) const {
    auto idx = index();
    return idx ? idx->asset(localIdentifier) : std::nullopt;
}

std::optional<fs::path> PhotoLibrary::resourceFile(const std::string& localIdentifier, std::size_t position) const {
    auto a = asset(localIdentifier);
    if (!a || position >= a->resources.size()) return std::nullopt;
    return folder_ / a->resources[position].fileName;
}

std::optional<Bytes> PhotoLibrary::resourceData(const std::string& localIdentifier, std::size_t position) const {
    auto a = asset(localIdentifier);
    if (!a || position >= a->resources.size()) return std::nullopt;
    const AssetResource& r = a->resources[position];
    auto bytes = readFile(folder_ / r.fileName);
    if (!bytes || bytes->size() != r.byteSize) return std::nullopt;
    Sha256 hash;
    hash.update(bytes->data(), bytes->size());
    if (hash.finishHex() != r.sha256) return std::nullopt;
    return bytes;
}

}  // namespace sorvel
