#include "AssetWriter.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "AssetFiles.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PausePoint.h"
#include "platform/foundation/Uuid.h"

namespace fs = std::filesystem;

namespace sorvel {

namespace {

// Photos read from a file are held in memory to look at their signature; larger ones are refused.
constexpr std::uintmax_t kMaxPhotoFileBytes = std::uintmax_t(1) << 31;

struct PlannedFile {
    std::string tempName;
    std::string extension;
    std::size_t assetIndex = 0;
    std::size_t resourceIndex = 0;
    std::optional<fs::path> sourceToRemove;  // a moved source, unlinked after the commit
};

struct Plan {
    fs::path folder;
    std::vector<PhotoAsset> assets;
    std::vector<PlannedFile> files;
    std::vector<std::string> renamed;  // final names in place, for undo
    fs::path journal;
    bool journalWritten = false;

    // Puts the folder back as it was before the save began; sources were never touched.
    void undo() {
        for (const auto& name : renamed) ::unlink((folder / name).c_str());
        for (const auto& f : files) ::unlink((folder / f.tempName).c_str());
        if (journalWritten) ::unlink(journal.c_str());
        syncPath(folder);
    }
};

SaveOutcome failure(Plan& plan, std::string text) {
    plan.undo();
    return SaveOutcome{{}, LibraryError{std::move(text)}};
}

std::optional<std::string> checkRequest(const AssetCreationRequest& r) {
    int photos = 0, videos = 0;
    for (const auto& res : r.resources()) {
        if (res.type == AssetResourceType::Photo) ++photos;
        else if (res.type == AssetResourceType::PairedVideo) ++videos;
        else return "unsupported resource type " + std::to_string(int(res.type));
    }
    if (photos != 1) return "an asset needs exactly one photo resource (got " + std::to_string(photos) + ")";
    if (videos > 1) return "an asset can have only one paired video";
    return std::nullopt;
}

// Writes one resource to its temporary name.
std::optional<WrittenFile> writeResource(const fs::path& folder, const PendingResource& res, PlannedFile& file,
                                         double modified, const std::string& tag, std::string& error) {
    fs::path temp = folder / file.tempName;
    bool move = res.options.shouldMoveFile;
    if (res.type == AssetResourceType::PairedVideo) {
        if (const auto* bytes = std::get_if<Bytes>(&res.source)) {
            file.extension = "MOV";
            return writeNewFile(temp, *bytes, modified, tag, error);
        }
        const auto& path = std::get<fs::path>(res.source);
        file.extension = movieExtension(path);
        if (move) file.sourceToRemove = path;
        return placeMovie(path, temp, move, modified, tag, error);
    }
    const Bytes* bytes = std::get_if<Bytes>(&res.source);
    std::optional<Bytes> read;
    if (!bytes) {
        const auto& path = std::get<fs::path>(res.source);
        read = readFile(path, kMaxPhotoFileBytes);
        if (!read) {
            error = "cannot read the photo file " + path.string();
            return std::nullopt;
        }
        bytes = &*read;
        if (move) file.sourceToRemove = path;
    }
    auto extension = photoExtension(*bytes);
    if (!extension) {
        error = "the photo data is not HEIC, DNG, JPEG or PNG";
        return std::nullopt;
    }
    file.extension = *extension;
    return writeNewFile(temp, *bytes, modified, tag, error);
}

// Gives each asset a number none of whose file names exist yet.
void assignNames(Plan& plan, std::int64_t& nextNumber) {
    for (std::size_t a = 0; a < plan.assets.size(); ++a) {
        for (;; ++nextNumber) {
            bool free = true;
            for (const auto& f : plan.files)
                if (f.assetIndex == a && fs::exists(plan.folder / assetFileName(nextNumber, f.extension))) free = false;
            if (free) break;
        }
        plan.assets[a].number = nextNumber++;
        for (const auto& f : plan.files)
            if (f.assetIndex == a)
                plan.assets[a].resources[f.resourceIndex].fileName = assetFileName(plan.assets[a].number, f.extension);
    }
}

bool writeJournal(Plan& plan, std::string& error) {
    SaveJournal j;
    for (const auto& a : plan.assets) j.localIdentifiers.push_back(a.localIdentifier);
    for (const auto& f : plan.files) {
        const AssetResource& r = plan.assets[f.assetIndex].resources[f.resourceIndex];
        j.files.push_back({r.fileName, r.byteSize, f.tempName});
    }
    std::string text = encodeJournal(j);
    WriteResult w = writeFileAtomically(plan.journal, Bytes(text.begin(), text.end()));
    if (!w.ok) error = w.error;
    plan.journalWritten = plan.journalWritten || w.ok;
    return w.ok;
}

// Renames every temporary file to its final name. False with `clash` set when a final name
// appeared meanwhile (the renamed ones are moved back, so the caller can pick new numbers).
bool renameIntoPlace(Plan& plan, bool& clash, std::string& error) {
    clash = false;
    for (const auto& f : plan.files) {
        const std::string& name = plan.assets[f.assetIndex].resources[f.resourceIndex].fileName;
        if (renameNoReplace(plan.folder / f.tempName, plan.folder / name)) {
            plan.renamed.push_back(name);
            continue;
        }
        int err = errno;
        for (std::size_t i = 0; i < plan.renamed.size(); ++i) {
            const PlannedFile& done = plan.files[i];
            ::rename((plan.folder / plan.renamed[i]).c_str(), (plan.folder / done.tempName).c_str());
        }
        plan.renamed.clear();
        clash = err == EEXIST;
        error = "cannot move " + name + " into the library: " + std::strerror(err);
        return false;
    }
    return true;
}

}  // namespace

SaveOutcome saveAssets(const fs::path& folder, LibraryIndex& index,
                       const std::vector<std::unique_ptr<AssetCreationRequest>>& requests, Date creationDate,
                       std::int64_t& nextNumber) {
    Plan plan;
    plan.folder = folder;
    if (requests.empty()) return {};
    for (const auto& r : requests)
        if (auto problem = checkRequest(*r)) return failure(plan, *problem);

    plan.journal = folder / (std::string(kJournalPrefix) + requests.front()->placeholderLocalIdentifier());
    std::string error;
    for (std::size_t a = 0; a < requests.size(); ++a) {
        const AssetCreationRequest& r = *requests[a];
        PhotoAsset asset;
        asset.localIdentifier = r.placeholderLocalIdentifier();
        asset.creationDate = r.creationDate().value_or(creationDate);
        asset.mediaType = AssetMediaType::Image;
        asset.location = r.location();
        for (const auto& res : r.resources())
            if (res.type == AssetResourceType::PairedVideo) asset.pairingIdentifier = makeUuid();
        AssetTag tag{asset.localIdentifier, asset.creationDate, asset.location, asset.pairingIdentifier, 0,
                     r.resources().size()};
        for (std::size_t i = 0; i < r.resources().size(); ++i) {
            tag.position = i;
            const PendingResource& res = r.resources()[i];
            PlannedFile file;
            file.tempName = std::string(kTempPrefix) + asset.localIdentifier + "-" + std::to_string(i);
            file.assetIndex = a;
            file.resourceIndex = i;
            plan.files.push_back(file);
            auto written = writeResource(folder, res, plan.files.back(), asset.creationDate.secondsSince1970,
                                         encodeAssetTag(tag), error);
            if (!written) return failure(plan, error);
            asset.resources.push_back({res.type, {}, written->byteSize, written->sha256});
            if (res.type == AssetResourceType::PairedVideo) asset.mediaSubtypes |= AssetMediaSubtype::PhotoLive;
            if (res.type == AssetResourceType::Photo && plan.files.back().extension == "DNG")
                asset.mediaSubtypes |= AssetMediaSubtype::PhotoRaw;
        }
        plan.assets.push_back(std::move(asset));
    }

    std::int64_t number = nextNumber;
    for (int attempt = 0;; ++attempt) {
        assignNames(plan, number);
        if (!writeJournal(plan, error)) return failure(plan, error);
        bool clash = false;
        if (renameIntoPlace(plan, clash, error)) break;
        if (!clash || attempt == 20) return failure(plan, error);
    }
    syncPath(folder);

    pausePoint("library-commit");
    if (!index.insert(plan.assets, number, error)) return failure(plan, "cannot update the library index: " + error);
    nextNumber = number;

    ::unlink(plan.journal.c_str());
    for (const auto& f : plan.files)
        if (f.sourceToRemove && ::unlink(f.sourceToRemove->c_str()) != 0 && errno != ENOENT)
            consolePrint("Photo library: saved, but could not remove the moved file " + f.sourceToRemove->string() +
                         ": " + std::strerror(errno));
    syncPath(folder);
    return SaveOutcome{std::move(plan.assets), std::nullopt};
}

}  // namespace sorvel
