#pragma once
// The SQLite index beside the asset files: one record per asset with its resources. It is the
// commit point of a save (see AssetWriter.h): an asset exists once its record is committed.
//
//   meta      (key TEXT PRIMARY KEY, value INTEGER)    "schema_version" = 1, "next_number"
//   assets    (local_identifier TEXT PRIMARY KEY, number, creation_date REAL (seconds since
//              1970), media_type, media_subtypes, latitude, longitude, altitude,
//              location_timestamp (all four NULL without a location), pairing_identifier)
//   resources (asset, position, type (1 photo, 9 paired video), file_name UNIQUE, byte_size,
//              sha256), PRIMARY KEY (asset, position)

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "PhotoAsset.h"

struct sqlite3;

namespace sorvel {

class LibraryIndex {
public:
    static constexpr const char* kFileName = ".sorvel-library.sqlite";

    struct OpenResult {
        std::unique_ptr<LibraryIndex> index;  // null on failure
        std::string error;
        // The file exists but is not a readable index (as opposed to an unreachable folder).
        bool damaged = false;
    };
    enum class Access { ReadWrite, ReadOnly };
    // ReadWrite creates the file when missing; ReadOnly fails on a missing file.
    static OpenResult open(const std::filesystem::path& file, Access access = Access::ReadWrite);
    ~LibraryIndex();

    // Adds the assets and raises the counter in one transaction: all or nothing.
    bool insert(const std::vector<PhotoAsset>& assets, std::int64_t nextNumber, std::string& error);

    // Newest first (creation date, then number). Any thread.
    std::vector<PhotoAsset> assets() const;
    std::optional<PhotoAsset> asset(const std::string& localIdentifier) const;
    bool contains(const std::string& localIdentifier) const;
    // The lowest asset number not yet given out. Any thread.
    std::int64_t nextNumber() const;

private:
    explicit LibraryIndex(sqlite3* db) : db_(db) {}
    std::vector<PhotoAsset> query(const std::string& where, const std::string& argument) const;
    mutable std::mutex mutex_;
    sqlite3* db_;
};

}  // namespace sorvel
