#include "LibraryListing.h"

#include <cstdio>

#include "LibraryIndex.h"
#include "PhotoAsset.h"
#include "platform/foundation/Dates.h"

namespace fs = std::filesystem;

namespace sorvel {

namespace {

constexpr const char* kUsage = "usage: sorvel-camera library list [--json]";

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

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
    out << "[";
    for (std::size_t n = 0; n < assets.size(); ++n) {
        const PhotoAsset& a = assets[n];
        out << (n ? ",\n " : "\n ") << "{\"localIdentifier\": " << jsonString(a.localIdentifier)
            << ", \"creationDate\": " << jsonString(formatIso8601(a.creationDate))
            << ", \"mediaType\": " << int(a.mediaType) << ", \"mediaSubtypes\": " << a.mediaSubtypes
            << ", \"kind\": " << jsonString(kind(a)) << ", \"resources\": [";
        for (std::size_t i = 0; i < a.resources.size(); ++i) {
            const AssetResource& r = a.resources[i];
            out << (i ? ", " : "") << "{\"type\": " << int(r.type) << ", \"fileName\": " << jsonString(r.fileName)
                << ", \"byteSize\": " << r.byteSize << ", \"sha256\": " << jsonString(r.sha256) << "}";
        }
        out << "], \"location\": ";
        if (a.location)
            out << "{\"latitude\": " << number(a.location->latitude) << ", \"longitude\": "
                << number(a.location->longitude) << ", \"altitude\": " << number(a.location->altitude)
                << ", \"timestamp\": " << jsonString(formatIso8601(a.location->timestamp)) << "}";
        else
            out << "null";
        out << ", \"pairingIdentifier\": " << (a.pairingIdentifier ? jsonString(*a.pairingIdentifier) : "null") << "}";
    }
    out << (assets.empty() ? "]\n" : "\n]\n");
}

}  // namespace

int runLibraryCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      const fs::path& libraryFolder) {
    std::vector<std::string> words = args;
    if (!words.empty() && words.front() == "library") words.erase(words.begin());
    bool json = false;
    if (words.empty() || words.front() != "list") {
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
    if (json) writeJson(assets, out);
    else writeText(assets, out);
    return 0;
}

}  // namespace sorvel
