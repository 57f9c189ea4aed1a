#pragma once
// Names and low-level writes of the library's files.
//
//   IMG_0001.HEIC, IMG_0002.DNG, IMG_0003.HEIC + IMG_0003.MOV   assets (a Live Photo shares its number)
//   .sorvel-tmp-<uuid>-<n>                                        a resource being written
//   .sorvel-pending-<uuid>                                        journal of a save being committed
//   .sorvel-library.sqlite (+ -wal, -shm)                         the index

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/location/Location.h"

namespace sorvel {

inline constexpr std::string_view kTempPrefix = ".sorvel-tmp-";
inline constexpr std::string_view kJournalPrefix = ".sorvel-pending-";

// "IMG_0007.HEIC"; numbers above 9999 simply get more digits.
std::string assetFileName(std::int64_t number, std::string_view extension);

struct AssetFileName {
    std::int64_t number;
    std::string extension;  // upper case, without the dot
};
// Parses "IMG_<digits>.<EXT>"; nothing for any other name.
std::optional<AssetFileName> parseAssetFileName(std::string_view name);

// The file extension for encoded picture bytes, from their signature: HEIC (ISO media with a
// HEIF brand), DNG (TIFF), JPG, PNG. Nothing for anything else.
std::optional<std::string> photoExtension(const Bytes& data);
bool isPhotoExtension(std::string_view extension);
bool isMovieExtension(std::string_view extension);
// MOV unless the movie's own name ends in .mp4 / .m4v.
std::string movieExtension(const std::filesystem::path& movie);

// What the index knows about an asset, also kept in an extended attribute of each of its files
// ("user.sorvel.asset"), so that an index rebuilt from the files loses neither identifiers nor
// locations. File systems without extended attributes simply do without.
struct AssetTag {
    std::string localIdentifier;
    Date creationDate;
    std::optional<Location> location;
    std::optional<std::string> pairingIdentifier;
    std::size_t position = 0;       // of this file among the asset's resources
    std::size_t resourceCount = 1;  // of the whole asset
};
std::string encodeAssetTag(const AssetTag& tag);
std::optional<AssetTag> decodeAssetTag(std::string_view text);
std::optional<AssetTag> readAssetTag(const std::filesystem::path& file);

struct WrittenFile {
    std::uint64_t byteSize = 0;
    std::string sha256;
};

// Creates `path` (which must not exist), writes `data`, sets its modification time to
// `modified` (seconds since 1970) and its asset tag to `tag` (when not empty) and fsyncs it. On
// failure the file is removed.
std::optional<WrittenFile> writeNewFile(const std::filesystem::path& path, const Bytes& data, double modified,
                                        const std::string& tag, std::string& error);

// Puts the movie at `path` (which must not exist): a hard link when `link` is true and the file
// system allows it, else a copy. The source is never removed (a link shares its modification
// time and tag). Then sets the modification time and tag and fsyncs as writeNewFile does.
std::optional<WrittenFile> placeMovie(const std::filesystem::path& source, const std::filesystem::path& path,
                                      bool link, double modified, const std::string& tag, std::string& error);

// Size and SHA-256 of a file; nothing when unreadable.
std::optional<WrittenFile> describeFile(const std::filesystem::path& path);

// Renames without ever replacing: false with errno EEXIST when `to` exists.
bool renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

// The journal of one save: the asset identifiers and, for each file, its final name, its size
// and its temporary name.
struct SaveJournal {
    struct Entry {
        std::string finalName;
        std::uint64_t byteSize = 0;
        std::string tempName;
    };
    std::vector<std::string> localIdentifiers;
    std::vector<Entry> files;
};
std::string encodeJournal(const SaveJournal& journal);
std::optional<SaveJournal> decodeJournal(std::string_view text);

}  // namespace sorvel
