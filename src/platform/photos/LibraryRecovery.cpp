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
    struct Tagged {
        AssetTag tag;
        std::map<std::size_t, std::string> files;  // by position
    };
    std::map<std::int64_t, Group> untagged;
    std::map<std::string, Tagged> tagged;
    for (const auto& name : namesIn(folder)) {
        auto parsed = parseAssetFileName(name);
        std::error_code ec;
        if (!parsed || !fs::is_regular_file(folder / name, ec)) continue;
        bool picture = isPhotoExtension(parsed->extension);
        if (!picture && !isMovieExtension(parsed->extension)) continue;
        if (auto tag = readAssetTag(folder / name)) {
            Tagged& t = tagged[tag->localIdentifier];
            if (t.files.empty()) t.tag = *tag;
            // A copy of a file carries its tag along; only the first file per position is the asset's.
            if (t.files.emplace(tag->position, name).second) continue;
        }
        if (picture) untagged[parsed->number].pictures.push_back(name);
        else untagged[parsed->number].movies.push_back(name);
    }

    auto modified = [&](const std::string& name) {
        struct stat st {};
        if (::stat((folder / name).c_str(), &st) != 0) return Date{0};
        return Date{double(st.st_mtim.tv_sec) + double(st.st_mtim.tv_nsec) / 1e9};
    };
    auto resource = [&](const std::string& name) -> std::optional<AssetResource> {
        auto d = describeFile(folder / name);
        if (!d) return std::nullopt;
        bool picture = isPhotoExtension(parseAssetFileName(name)->extension);
        return AssetResource{picture ? AssetResourceType::Photo : AssetResourceType::PairedVideo, name, d->byteSize,
                             d->sha256};
    };
    // Kind and subtypes follow from the files actually there.
    auto finish = [](PhotoAsset& a) {
        bool photo = false, movie = false, raw = false;
        for (const auto& r : a.resources) {
            if (r.type == AssetResourceType::Photo) {
                photo = true;
                raw = raw || parseAssetFileName(r.fileName)->extension == "DNG";
            } else {
                movie = true;
            }
        }
        a.mediaType = photo ? AssetMediaType::Image : AssetMediaType::Video;
        a.mediaSubtypes = (photo && movie ? AssetMediaSubtype::PhotoLive : 0u) | (raw ? AssetMediaSubtype::PhotoRaw : 0u);
        if (!(a.mediaSubtypes & AssetMediaSubtype::PhotoLive)) a.pairingIdentifier.reset();
        else if (!a.pairingIdentifier) a.pairingIdentifier = makeUuid();
    };

    std::vector<PhotoAsset> out;
    for (const auto& [id, t] : tagged) {
        PhotoAsset a;
        a.localIdentifier = id;
        a.creationDate = t.tag.creationDate;
        a.location = t.tag.location;
        a.pairingIdentifier = t.tag.pairingIdentifier;
        a.number = parseAssetFileName(t.files.begin()->second)->number;
        for (const auto& [position, name] : t.files)
            if (auto r = resource(name)) a.resources.push_back(*r);
        if (a.resources.empty()) continue;
        finish(a);
        out.push_back(std::move(a));
    }
    for (const auto& [number, g] : untagged) {
        auto start = [&, number = number](const std::string& name) {
            PhotoAsset a;
            a.localIdentifier = makeUuid();
            a.number = number;
            a.creationDate = modified(name);
            return a;
        };
        if (g.pictures.size() == 1 && g.movies.size() == 1) {
            auto still = resource(g.pictures[0]);
            auto movie = resource(g.movies[0]);
            if (still && movie) {
                PhotoAsset a = start(g.pictures[0]);
                a.resources = {*still, *movie};
                finish(a);
                out.push_back(std::move(a));
                continue;
            }
        }
        // Anything else is one asset per file; a movie without its still is kept as a video.
        for (const auto* names : {&g.pictures, &g.movies})
            for (const auto& name : *names) {
                auto r = resource(name);
                if (!r) continue;
                PhotoAsset a = start(name);
                a.resources = {*r};
                finish(a);
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
