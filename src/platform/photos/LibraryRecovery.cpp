#include "LibraryRecovery.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "AssetFiles.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Uuid.h"

namespace fs = std::filesystem;

namespace sorvel {

namespace {

bool sizeIs(const fs::path& p, std::uint64_t size) {
    std::error_code ec;
    return fs::is_regular_file(p, ec) && fs::file_size(p, ec) == size && !ec;
}

bool removeFile(const fs::path& p) { return ::unlink(p.c_str()) == 0; }

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

int removeInterruptedSaves(const fs::path& folder, const LibraryIndex* index) {
    int removed = 0;
    for (const auto& name : namesIn(folder)) {
        if (name.rfind(kJournalPrefix, 0) != 0) continue;
        fs::path journalPath = folder / name;
        auto bytes = readFile(journalPath, 1 << 20);
        auto journal = bytes ? decodeJournal(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()))
                             : std::nullopt;
        if (journal) {
            bool committed = index != nullptr && !journal->localIdentifiers.empty() &&
                             std::all_of(journal->localIdentifiers.begin(), journal->localIdentifiers.end(),
                                         [&](const std::string& id) { return index->contains(id); });
            bool whole = std::all_of(journal->files.begin(), journal->files.end(), [&](const SaveJournal::Entry& e) {
                return sizeIs(folder / e.finalName, e.byteSize);
            });
            bool keep = committed || (index == nullptr && whole);
            for (const auto& e : journal->files) {
                if (removeFile(folder / e.tempName)) ++removed;
                if (!keep && sizeIs(folder / e.finalName, e.byteSize) && removeFile(folder / e.finalName)) ++removed;
            }
        }
        // The journal itself is bookkeeping, not a leftover a person would miss.
        removeFile(journalPath);
    }
    for (const auto& name : namesIn(folder)) {
        // "..sorvel-pending-*" is a journal that was still being written.
        bool temp = name.rfind(kTempPrefix, 0) == 0 || name.rfind("." + std::string(kJournalPrefix), 0) == 0;
        if (temp && removeFile(folder / name)) ++removed;
    }
    if (removed) syncPath(folder);
    return removed;
}

std::vector<PhotoAsset> assetsFromFiles(const fs::path& folder) {
    struct Group {
        std::vector<std::string> pictures, movies;
    };
    std::map<std::int64_t, Group> groups;
    for (const auto& name : namesIn(folder)) {
        auto parsed = parseAssetFileName(name);
        std::error_code ec;
        if (!parsed || !fs::is_regular_file(folder / name, ec)) continue;
        if (isPhotoExtension(parsed->extension)) groups[parsed->number].pictures.push_back(name);
        else if (isMovieExtension(parsed->extension)) groups[parsed->number].movies.push_back(name);
    }
    auto modified = [&](const std::string& name) {
        struct stat st {};
        if (::stat((folder / name).c_str(), &st) != 0) return Date{0};
        return Date{double(st.st_mtim.tv_sec) + double(st.st_mtim.tv_nsec) / 1e9};
    };
    auto resource = [&](const std::string& name, AssetResourceType type) -> std::optional<AssetResource> {
        auto d = describeFile(folder / name);
        if (!d) return std::nullopt;
        return AssetResource{type, name, d->byteSize, d->sha256};
    };
    std::vector<PhotoAsset> out;
    for (const auto& [number, g] : groups) {
        auto asset = [&, number = number](const std::string& name) {
            PhotoAsset a;
            a.localIdentifier = makeUuid();
            a.number = number;
            a.creationDate = modified(name);
            return a;
        };
        if (g.pictures.size() == 1 && g.movies.size() == 1) {
            auto still = resource(g.pictures[0], AssetResourceType::Photo);
            auto movie = resource(g.movies[0], AssetResourceType::PairedVideo);
            if (still && movie) {
                PhotoAsset a = asset(g.pictures[0]);
                a.mediaType = AssetMediaType::Image;
                a.mediaSubtypes = AssetMediaSubtype::PhotoLive;
                if (parseAssetFileName(g.pictures[0])->extension == "DNG") a.mediaSubtypes |= AssetMediaSubtype::PhotoRaw;
                a.resources = {*still, *movie};
                a.pairingIdentifier = makeUuid();
                out.push_back(std::move(a));
                continue;
            }
        }
        for (const auto& name : g.pictures) {
            auto r = resource(name, AssetResourceType::Photo);
            if (!r) continue;
            PhotoAsset a = asset(name);
            a.mediaType = AssetMediaType::Image;
            if (parseAssetFileName(name)->extension == "DNG") a.mediaSubtypes = AssetMediaSubtype::PhotoRaw;
            a.resources = {*r};
            out.push_back(std::move(a));
        }
        // A movie without its still is kept as a video asset rather than dropped.
        for (const auto& name : g.movies) {
            auto r = resource(name, AssetResourceType::PairedVideo);
            if (!r) continue;
            PhotoAsset a = asset(name);
            a.mediaType = AssetMediaType::Video;
            a.resources = {*r};
            out.push_back(std::move(a));
        }
    }
    return out;
}

std::int64_t firstFreeNumber(const fs::path& folder) {
    std::int64_t next = 1;
    for (const auto& name : namesIn(folder))
        if (auto parsed = parseAssetFileName(name)) next = std::max(next, parsed->number + 1);
    return next;
}

}  // namespace sorvel
