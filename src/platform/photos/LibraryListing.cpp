#include "LibraryListing.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <set>

#include "AssetFiles.h"
#include "LibraryIndex.h"
#include "PhotoAsset.h"
#include "Sha256.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Dates.h"

namespace fs = std::filesystem;

namespace sorvel {

namespace {

constexpr const char* kUsage = "usage: sorvel-camera library list [--json] | library check";

std::string number(double v) { return shortestDecimal(v); }

std::string kind(const PhotoAsset& a) {
    if (a.mediaType == AssetMediaType::Video) return "video";
    std::string k = (a.mediaSubtypes & AssetMediaSubtype::PhotoLive) ? "live photo" : "photo";
    if (a.mediaSubtypes & AssetMediaSubtype::PhotoRaw) k = "raw " + k;
    return k;
}

void writeText(const std::vector<PhotoAsset>& assets, std::ostream& out) {
    for (const auto& a : assets) {
        out << formatIso8601(a.creationDate) << "  " << kind(a) << "  ";
        for (std::size_t i = 0; i < a.resources.size(); ++i) out << (i ? " + " : "") << a.resources[i].fileName;
        if (a.location)
            out << "  at " << number(a.location->latitude) << ", " << number(a.location->longitude) << ", "
                << number(a.location->altitude) << " m";
        out << "  " << a.localIdentifier << "\n";
    }
    out << assets.size() << (assets.size() == 1 ? " asset\n" : " assets\n");
}

void writeJson(const std::vector<PhotoAsset>& assets, std::ostream& out) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const PhotoAsset& a : assets) {
        nlohmann::ordered_json resources = nlohmann::ordered_json::array();
        for (const AssetResource& r : a.resources)
            resources.push_back({{"type", int(r.type)}, {"fileName", r.fileName}, {"byteSize", r.byteSize},
                                 {"sha256", r.sha256}});
        nlohmann::ordered_json location = nullptr;
        if (a.location)
            location = {{"latitude", a.location->latitude},
                        {"longitude", a.location->longitude},
                        {"altitude", a.location->altitude},
                        {"timestamp", formatIso8601(a.location->timestamp)}};
        list.push_back({{"localIdentifier", a.localIdentifier},
                        {"creationDate", formatIso8601(a.creationDate)},
                        {"mediaType", int(a.mediaType)},
                        {"mediaSubtypes", a.mediaSubtypes},
                        {"kind", kind(a)},
                        {"resources", std::move(resources)},
                        {"location", std::move(location)},
                        {"pairingIdentifier", a.pairingIdentifier ? nlohmann::ordered_json(*a.pairingIdentifier) : nullptr}});
    }
    // Names that are not UTF-8 (a file a person renamed) are written with replacement characters
    // rather than failing the listing.
    out << list.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

std::string sha256Of(const Bytes& bytes) {
    Sha256 h;
    h.update(bytes.data(), bytes.size());
    return h.finishHex();
}

// Every listed file present with its recorded size and hash, no asset-looking file unlisted and
// nothing left of an interrupted save. One line per problem; the count of problems.
int checkLibrary(const fs::path& folder, const std::vector<PhotoAsset>& assets, std::ostream& out) {
    int problems = 0;
    std::set<std::string> listed;
    std::size_t files = 0;
    for (const PhotoAsset& a : assets)
        for (const AssetResource& r : a.resources) {
            ++files;
            listed.insert(r.fileName);
            auto bytes = readFile(folder / r.fileName);
            std::string why;
            if (!bytes) why = "missing";
            else if (bytes->size() != r.byteSize) why = "size " + std::to_string(bytes->size()) + " instead of " + std::to_string(r.byteSize);
            else if (sha256Of(*bytes) != r.sha256) why = "content differs from the saved file (SHA-256)";
            if (!why.empty()) {
                out << "damaged: " << r.fileName << " (" << why << ")\n";
                ++problems;
            }
        }
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.rfind(kTempPrefix, 0) == 0 || name.rfind(kJournalPrefix, 0) == 0) {
            out << "left by an interrupted save: " << name << "\n";
            ++problems;
        } else if (name.front() != '.' && it->is_regular_file() && !listed.count(name)) {
            out << "not in the index: " << name << "\n";
            ++problems;
        }
    }
    out << assets.size() << (assets.size() == 1 ? " asset, " : " assets, ") << files << " files, " << problems
        << (problems == 1 ? " problem\n" : " problems\n");
    return problems;
}

}  // namespace

int runLibraryCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      const fs::path& libraryFolder) {
    std::vector<std::string> words = args;
    if (!words.empty() && words.front() == "library") words.erase(words.begin());
    bool json = false;
    const bool check = !words.empty() && words.front() == "check";
    if (words.empty() || (words.front() != "list" && !check) || (check && words.size() > 1)) {
        err << kUsage << "\n";
        return 2;
    }
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (words[i] == "--json" && !json) {
            json = true;
            continue;
        }
        err << "unknown argument \"" << words[i] << "\"\n" << kUsage << "\n";
        return 2;
    }

    std::vector<PhotoAsset> assets;
    fs::path indexFile = libraryFolder / LibraryIndex::kFileName;
    std::error_code ec;
    if (fs::exists(indexFile, ec)) {
        auto opened = LibraryIndex::open(indexFile, LibraryIndex::Access::ReadOnly);
        if (!opened.index) {
            err << "cannot read the photo library index " << indexFile.string() << ": " << opened.error
                << (opened.damaged ? " (the app rebuilds it at its next start)" : "") << "\n";
            return 1;
        }
        assets = opened.index->assets();
    }
    if (check) return checkLibrary(libraryFolder, assets, out) == 0 ? 0 : 1;
    if (json) writeJson(assets, out);
    else writeText(assets, out);
    return 0;
}

}  // namespace sorvel
