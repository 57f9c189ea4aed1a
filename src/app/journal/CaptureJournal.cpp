#include "CaptureJournal.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Files.h"

namespace fs = std::filesystem;

namespace sorvel {

namespace {

std::mutex sharedMutex;
std::shared_ptr<CaptureJournal> sharedJournal;

constexpr const char* kEntry = ".entry";
constexpr const char* kPhoto = ".photo";
constexpr const char* kMovie = ".mov";

std::uint32_t checksum(const Bytes& bytes) {
    uLong crc = crc32_z(0L, Z_NULL, 0);
    return static_cast<std::uint32_t>(crc32_z(crc, bytes.data(), bytes.size()));
}

// Copies a file across file systems, synced, under a temporary name renamed into place.
std::optional<std::string> copyInto(const fs::path& from, const fs::path& to) {
    fs::path tmp = to.parent_path() / ("." + to.filename().string() + ".tmp");
    std::error_code ec;
    fs::copy_file(from, tmp, fs::copy_options::overwrite_existing, ec);
    if (ec) return "cannot copy " + from.string() + ": " + ec.message();
    syncPath(tmp);
    if (::rename(tmp.c_str(), to.c_str()) != 0) {
        std::string why = std::strerror(errno);
        ::unlink(tmp.c_str());
        return "cannot move the movie into the journal: " + why;
    }
    return std::nullopt;
}

}  // namespace

CaptureJournal::CaptureJournal(fs::path folder, std::optional<std::string> unavailable)
    : folder_(std::move(folder)), unavailable_(std::move(unavailable)) {}

std::shared_ptr<CaptureJournal> CaptureJournal::open(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    std::optional<std::string> unavailable;
    if (ec) unavailable = "cannot create " + folder.string() + ": " + ec.message();
    else if (::access(folder.c_str(), W_OK) != 0) unavailable = folder.string() + " is not writable: " + std::strerror(errno);
    // Temporaries of writes a killed process did not finish, and the photos and movies of
    // presses whose entry was removed when the process was killed.
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        std::error_code eec;
        bool orphan = (p.extension() == kPhoto || p.extension() == kMovie) &&
                      !fs::exists(folder / (p.stem().string() + kEntry), eec);
        if (p.filename().string().front() == '.' || orphan) ::unlink(p.c_str());
    }
    return std::make_shared<CaptureJournal>(folder, unavailable);
}

std::shared_ptr<CaptureJournal> CaptureJournal::shared() {
    std::lock_guard lock(sharedMutex);
    return sharedJournal;
}

void CaptureJournal::setShared(std::shared_ptr<CaptureJournal> journal) {
    std::lock_guard lock(sharedMutex);
    sharedJournal = std::move(journal);
}

std::optional<std::string> CaptureJournal::writeEntry(const JournalEntry& entry, bool sync) {
    if (unavailable_) return unavailable_;
    WriteResult w = writeFileAtomically(folder_ / (entry.identifier + kEntry), encodeJournalEntry(entry), sync);
    if (!w.ok) return w.error;
    return std::nullopt;
}

std::optional<std::string> CaptureJournal::begin(JournalEntry& entry) {
    std::lock_guard lock(mutex_);
    auto error = writeEntry(entry, false);
    if (!error) working_.insert(entry.identifier);
    return error;
}

std::optional<std::string> CaptureJournal::attachPhoto(JournalEntry& entry, const Bytes& photo) {
    std::lock_guard lock(mutex_);
    if (unavailable_) return unavailable_;
    WriteResult w = writeFileAtomically(folder_ / (entry.identifier + kPhoto), photo, true);
    if (!w.ok) return w.error;
    JournalEntry updated = entry;
    updated.hasPhoto = true;
    updated.photoSize = photo.size();
    updated.photoCrc = checksum(photo);
    updated.capturedDate = Clock::current().date();
    if (auto error = writeEntry(updated, true)) {
        ::unlink((folder_ / (entry.identifier + kPhoto)).c_str());
        return error;
    }
    entry = updated;
    working_.insert(entry.identifier);
    return std::nullopt;
}

std::optional<std::string> CaptureJournal::attachMovie(JournalEntry& entry, fs::path& movie) {
    std::lock_guard lock(mutex_);
    if (unavailable_) return unavailable_;
    fs::path target = folder_ / (entry.identifier + kMovie);
    if (movie != target) {
        if (::rename(movie.c_str(), target.c_str()) != 0) {
            if (errno != EXDEV) return "cannot move the movie into the journal: " + std::string(std::strerror(errno));
            if (auto error = copyInto(movie, target)) return error;
            ::unlink(movie.c_str());
        }
        syncPath(target);
        movie = target;
    }
    JournalEntry updated = entry;
    updated.hasMovie = true;
    if (auto error = writeEntry(updated, true)) return error;
    entry = updated;
    return std::nullopt;
}

std::optional<std::string> CaptureJournal::markMovieFailed(JournalEntry& entry) {
    std::lock_guard lock(mutex_);
    JournalEntry updated = entry;
    updated.movieFailed = true;
    updated.required.erase(assetSlot::kLivePhoto);
    updated.required[assetSlot::kFiltered] = SlotState::Pending;
    if (auto error = writeEntry(updated, true)) return error;
    entry = updated;
    return std::nullopt;
}

std::optional<std::string> CaptureJournal::noteRecoveryAttempt(JournalEntry& entry) {
    std::lock_guard lock(mutex_);
    ++entry.recoveryAttempts;
    return writeEntry(entry, true);
}

bool CaptureJournal::settle(JournalEntry& entry, const std::string& slot, SlotState state) {
    struct Notify {
        std::condition_variable& c;
        ~Notify() { c.notify_all(); }
    } notify{changed_};
    std::lock_guard lock(mutex_);
    entry.required[slot] = state;
    if (entry.settled()) {
        removeFiles(entry.identifier);
        working_.erase(entry.identifier);
        return true;
    }
    writeEntry(entry, true);
    bool pending = std::any_of(entry.required.begin(), entry.required.end(),
                               [](const auto& s) { return s.second == SlotState::Pending; });
    if (!pending) working_.erase(entry.identifier);  // left for the next start
    return false;
}

void CaptureJournal::abandon(const JournalEntry& entry) {
    {
        std::lock_guard lock(mutex_);
        removeFiles(entry.identifier);
        working_.erase(entry.identifier);
    }
    changed_.notify_all();
}

void CaptureJournal::removeFiles(const std::string& identifier) {
    // The entry goes first: a photo or movie without its entry is one whose press is finished,
    // and the next open removes it.
    for (const char* ext : {kEntry, kPhoto, kMovie}) ::unlink((folder_ / (identifier + ext)).c_str());
    syncPath(folder_);
}

fs::path CaptureJournal::keepAside(const std::string& identifier, const std::string& reason) {
    std::lock_guard lock(mutex_);
    fs::path aside = folder_ / "damaged";
    std::error_code ec;
    fs::create_directories(aside, ec);
    for (const char* ext : {kPhoto, kMovie, kEntry}) {
        fs::path from = folder_ / (identifier + ext);
        if (fs::exists(from, ec)) fs::rename(from, aside / from.filename(), ec);
    }
    std::string text = reason + "\n";
    writeFileAtomically(aside / (identifier + ".reason"), Bytes(text.begin(), text.end()));
    syncPath(folder_);
    working_.erase(identifier);
    changed_.notify_all();
    return aside;
}

std::vector<std::string> CaptureJournal::unfinishedIdentifiers() const {
    std::vector<std::pair<fs::file_time_type, std::string>> found;
    std::error_code ec;
    std::lock_guard lock(mutex_);
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        std::string name = p.filename().string();
        if (name.front() == '.' || p.extension() != kEntry) continue;
        std::string id = p.stem().string();
        if (working_.count(id)) continue;
        std::error_code tec;
        found.emplace_back(fs::last_write_time(p, tec), id);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> out;
    for (auto& f : found) out.push_back(std::move(f.second));
    return out;
}

std::variant<JournalEntry, std::string> CaptureJournal::load(const std::string& identifier,
                                                              std::optional<Bytes>& photo) const {
    photo.reset();
    auto bytes = readFile(folder_ / (identifier + kEntry), 1 << 24);
    if (!bytes) return std::string("the entry cannot be read");
    auto entry = decodeJournalEntry(*bytes);
    if (!entry || entry->identifier != identifier) return std::string("the entry is damaged");
    if (entry->hasPhoto) {
        photo = readFile(folder_ / (identifier + kPhoto));
        if (!photo) return std::string("the captured photo is missing");
        if (photo->size() != entry->photoSize || checksum(*photo) != entry->photoCrc)
            return std::string("the captured photo is damaged (its size or checksum differs)");
    }
    return *entry;
}

fs::path CaptureJournal::movieFile(const std::string& identifier) const { return folder_ / (identifier + kMovie); }

int CaptureJournal::inFlight() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(working_.size());
}

void CaptureJournal::adopt(const std::string& identifier) {
    std::lock_guard lock(mutex_);
    working_.insert(identifier);
}

void CaptureJournal::saveStarted(const std::string& identifier) {
    std::lock_guard lock(mutex_);
    ++savesInFlight_[identifier];
}

void CaptureJournal::saveAnswered(const std::string& identifier) {
    {
        std::lock_guard lock(mutex_);
        auto it = savesInFlight_.find(identifier);
        if (it != savesInFlight_.end() && --it->second <= 0) savesInFlight_.erase(it);
    }
    changed_.notify_all();
}

void CaptureJournal::waitUntilAnswered(const JournalEntry& entry) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !savesInFlight_.count(entry.identifier); });
}

int CaptureJournal::waitForInFlight(double seconds) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return working_.empty(); });
    return static_cast<int>(working_.size());
}

}  // namespace sorvel
