#include "platform/capture/DeferredPhotoStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

#include "platform/foundation/Files.h"

namespace fs = std::filesystem;

namespace sorvel {

namespace {

std::mutex folderMutex;
std::optional<fs::path> storeFolder;

constexpr const char* kRecordExtension = ".deferred";
constexpr const char* kLogExtension = ".frames";

std::optional<fs::path> fileFor(const std::string& identifier, const char* extension) {
    auto dir = DeferredPhotoStore::folder();
    if (!dir || !DeferredPhotoStore::isValidIdentifier(identifier)) return std::nullopt;
    return *dir / (identifier + extension);
}

}  // namespace

void DeferredPhotoStore::setFolder(std::optional<fs::path> folder) {
    std::lock_guard lock(folderMutex);
    storeFolder = std::move(folder);
}

std::optional<fs::path> DeferredPhotoStore::folder() {
    std::lock_guard lock(folderMutex);
    return storeFolder;
}

bool DeferredPhotoStore::isValidIdentifier(const std::string& identifier) {
    if (identifier.empty() || identifier.size() > 64) return false;
    return std::all_of(identifier.begin(), identifier.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
    });
}

bool DeferredPhotoStore::write(const std::string& identifier, const Bytes& record, bool sync, std::string* error) {
    auto file = fileFor(identifier, kRecordExtension);
    if (!file) {
        if (error) *error = "no deferred photo store";
        return false;
    }
    std::error_code ec;
    fs::create_directories(file->parent_path(), ec);
    WriteResult w = writeFileAtomically(*file, record, sync);
    if (!w.ok && error) *error = w.error;
    return w.ok;
}

bool DeferredPhotoStore::append(const std::string& identifier, const Bytes& bytes) {
    auto file = fileFor(identifier, kLogExtension);
    if (!file) return false;
    int fd = ::open(file->c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return done == bytes.size();
}

std::optional<Bytes> DeferredPhotoStore::read(const std::string& identifier) {
    auto file = fileFor(identifier, kRecordExtension);
    return file ? readFile(*file, 1 << 24) : std::nullopt;
}

std::optional<Bytes> DeferredPhotoStore::readLog(const std::string& identifier) {
    auto file = fileFor(identifier, kLogExtension);
    return file ? readFile(*file, 1 << 24) : std::nullopt;
}

void DeferredPhotoStore::sync(const std::string& identifier) {
    for (const char* extension : {kRecordExtension, kLogExtension})
        if (auto file = fileFor(identifier, extension)) syncPath(*file);
    if (auto dir = folder()) syncPath(*dir);
}

void DeferredPhotoStore::remove(const std::string& identifier) {
    for (const char* extension : {kRecordExtension, kLogExtension})
        if (auto file = fileFor(identifier, extension)) ::unlink(file->c_str());
}

std::vector<std::string> DeferredPhotoStore::identifiers() {
    auto dir = folder();
    if (!dir) return {};
    std::vector<std::pair<fs::file_time_type, std::string>> found;
    std::error_code ec;
    for (fs::directory_iterator it(*dir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        if (p.extension() != kRecordExtension || p.filename().string().front() == '.') continue;
        std::string id = p.stem().string();
        if (!isValidIdentifier(id)) continue;
        std::error_code tec;
        found.emplace_back(fs::last_write_time(p, tec), id);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> out;
    for (auto& [time, id] : found) out.push_back(std::move(id));
    return out;
}

}  // namespace sorvel
