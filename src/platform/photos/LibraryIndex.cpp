#include "LibraryIndex.h"

#include <sqlite3.h>

#include <map>

namespace fs = std::filesystem;

namespace sorvel {

namespace {

constexpr int kSchemaVersion = 1;

// Prepared statement that finalises itself.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { ok_ = sqlite3_prepare_v2(db, sql, -1, &s_, nullptr) == SQLITE_OK; }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    explicit operator bool() const { return ok_; }
    sqlite3_stmt* get() const { return s_; }
    void bind(int i, const std::string& v) { sqlite3_bind_text(s_, i, v.c_str(), int(v.size()), SQLITE_TRANSIENT); }
    void bind(int i, std::int64_t v) { sqlite3_bind_int64(s_, i, v); }
    void bind(int i, double v) { sqlite3_bind_double(s_, i, v); }
    void bindNull(int i) { sqlite3_bind_null(s_, i); }
    std::string text(int i) const {
        auto p = sqlite3_column_text(s_, i);
        return p ? reinterpret_cast<const char*>(p) : "";
    }

private:
    sqlite3_stmt* s_ = nullptr;
    bool ok_ = false;
};

bool exec(sqlite3* db, const char* sql, std::string& error) {
    char* msg = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &msg) == SQLITE_OK) return true;
    error = msg ? msg : sqlite3_errmsg(db);
    sqlite3_free(msg);
    return false;
}

// Errors that mean "the folder or disk is not usable", as opposed to "this file is not an index".
bool isAccessError(int code) {
    switch (code & 0xff) {
    case SQLITE_CANTOPEN:
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return true;
    default:
        return false;
    }
}

const char* kSchema =
    "CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY NOT NULL, value INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS assets ("
    "  local_identifier TEXT PRIMARY KEY NOT NULL, number INTEGER NOT NULL, creation_date REAL NOT NULL,"
    "  media_type INTEGER NOT NULL, media_subtypes INTEGER NOT NULL,"
    "  latitude REAL, longitude REAL, altitude REAL, location_timestamp REAL, pairing_identifier TEXT);"
    "CREATE TABLE IF NOT EXISTS resources ("
    "  asset TEXT NOT NULL REFERENCES assets(local_identifier), position INTEGER NOT NULL,"
    "  type INTEGER NOT NULL, file_name TEXT NOT NULL UNIQUE, byte_size INTEGER NOT NULL,"
    "  sha256 TEXT NOT NULL, PRIMARY KEY (asset, position));"
    "INSERT OR IGNORE INTO meta VALUES ('schema_version', 1);"
    "INSERT OR IGNORE INTO meta VALUES ('next_number', 1);";

}  // namespace

LibraryIndex::OpenResult LibraryIndex::open(const fs::path& file, Access access) {
    OpenResult result;
    sqlite3* db = nullptr;
    bool readOnly = access == Access::ReadOnly;
    int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) | SQLITE_OPEN_FULLMUTEX;
    int rc = sqlite3_open_v2(file.c_str(), &db, flags, nullptr);
    auto fail = [&](int code, const std::string& why) {
        result.error = why;
        result.damaged = !isAccessError(code);
        if (db) sqlite3_close_v2(db);
        return std::move(result);
    };
    if (rc != SQLITE_OK) return fail(rc, db ? sqlite3_errmsg(db) : "cannot open the index");
    sqlite3_busy_timeout(db, 5000);
    sqlite3_extended_result_codes(db, 0);
    std::string error;
    // synchronous=FULL: a committed save survives a power cut, not only a killed process.
    if (!readOnly && !exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", error))
        return fail(sqlite3_errcode(db), error);
    {
        Statement check(db, "PRAGMA quick_check");
        if (!check) return fail(sqlite3_errcode(db), sqlite3_errmsg(db));
        int step = sqlite3_step(check.get());
        if (step != SQLITE_ROW) return fail(sqlite3_errcode(db), sqlite3_errmsg(db));
        std::string verdict = check.text(0);
        if (verdict != "ok") return fail(SQLITE_CORRUPT, "integrity check failed: " + verdict);
    }
    if (!readOnly && !exec(db, kSchema, error)) return fail(sqlite3_errcode(db), error);
    {
        // A file made by something else, or a later version, is not ours to write into.
        Statement version(db, "SELECT value FROM meta WHERE key = 'schema_version'");
        if (!version || sqlite3_step(version.get()) != SQLITE_ROW ||
            sqlite3_column_int64(version.get(), 0) != kSchemaVersion)
            return fail(SQLITE_CORRUPT, "unknown index schema");
        // Every column the reader needs must be there.
        Statement probe(db,
                        "SELECT a.local_identifier, a.number, a.creation_date, a.media_type, a.media_subtypes,"
                        " a.latitude, a.longitude, a.altitude, a.location_timestamp, a.pairing_identifier,"
                        " r.position, r.type, r.file_name, r.byte_size, r.sha256"
                        " FROM assets a LEFT JOIN resources r ON r.asset = a.local_identifier LIMIT 1");
        if (!probe) return fail(SQLITE_CORRUPT, std::string("unknown index schema: ") + sqlite3_errmsg(db));
    }
    result.index.reset(new LibraryIndex(db));
    return result;
}

LibraryIndex::~LibraryIndex() { sqlite3_close_v2(db_); }

bool LibraryIndex::insert(const std::vector<PhotoAsset>& assets, std::int64_t nextNumber, std::string& error) {
    std::lock_guard lock(mutex_);
    if (!exec(db_, "BEGIN IMMEDIATE", error)) return false;
    auto rollback = [&](const std::string& why) {
        error = why;
        std::string ignored;
        exec(db_, "ROLLBACK", ignored);
        return false;
    };
    Statement addAsset(db_, "INSERT INTO assets VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    Statement addResource(db_, "INSERT INTO resources VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    Statement counter(db_, "UPDATE meta SET value = max(value, ?1) WHERE key = 'next_number'");
    if (!addAsset || !addResource || !counter) return rollback(sqlite3_errmsg(db_));
    for (const PhotoAsset& a : assets) {
        sqlite3_reset(addAsset.get());
        addAsset.bind(1, a.localIdentifier);
        addAsset.bind(2, a.number);
        addAsset.bind(3, a.creationDate.secondsSince1970);
        addAsset.bind(4, std::int64_t(a.mediaType));
        addAsset.bind(5, std::int64_t(a.mediaSubtypes));
        if (a.location) {
            addAsset.bind(6, a.location->latitude);
            addAsset.bind(7, a.location->longitude);
            addAsset.bind(8, a.location->altitude);
            addAsset.bind(9, a.location->timestamp.secondsSince1970);
        } else {
            for (int i = 6; i <= 9; ++i) addAsset.bindNull(i);
        }
        if (a.pairingIdentifier) addAsset.bind(10, *a.pairingIdentifier);
        else addAsset.bindNull(10);
        if (sqlite3_step(addAsset.get()) != SQLITE_DONE) return rollback(sqlite3_errmsg(db_));
        for (std::size_t i = 0; i < a.resources.size(); ++i) {
            const AssetResource& r = a.resources[i];
            sqlite3_reset(addResource.get());
            addResource.bind(1, a.localIdentifier);
            addResource.bind(2, std::int64_t(i));
            addResource.bind(3, std::int64_t(r.type));
            addResource.bind(4, r.fileName);
            addResource.bind(5, std::int64_t(r.byteSize));
            addResource.bind(6, r.sha256);
            if (sqlite3_step(addResource.get()) != SQLITE_DONE) return rollback(sqlite3_errmsg(db_));
        }
    }
    counter.bind(1, nextNumber);
    if (sqlite3_step(counter.get()) != SQLITE_DONE) return rollback(sqlite3_errmsg(db_));
    if (!exec(db_, "COMMIT", error)) return rollback(error);
    return true;
}

std::vector<PhotoAsset> LibraryIndex::query(const std::string& where, const std::string& argument) const {
    std::lock_guard lock(mutex_);
    std::string sql =
        "SELECT a.local_identifier, a.number, a.creation_date, a.media_type, a.media_subtypes,"
        " a.latitude, a.longitude, a.altitude, a.location_timestamp, a.pairing_identifier,"
        " r.type, r.file_name, r.byte_size, r.sha256"
        " FROM assets a LEFT JOIN resources r ON r.asset = a.local_identifier " +
        where + " ORDER BY a.creation_date DESC, a.number DESC, a.local_identifier, r.position";
    Statement s(db_, sql.c_str());
    std::vector<PhotoAsset> out;
    if (!s) return out;
    if (!argument.empty()) s.bind(1, argument);
    while (sqlite3_step(s.get()) == SQLITE_ROW) {
        std::string id = s.text(0);
        if (out.empty() || out.back().localIdentifier != id) {
            PhotoAsset a;
            a.localIdentifier = id;
            a.number = sqlite3_column_int64(s.get(), 1);
            a.creationDate = Date{sqlite3_column_double(s.get(), 2)};
            a.mediaType = static_cast<AssetMediaType>(sqlite3_column_int(s.get(), 3));
            a.mediaSubtypes = static_cast<unsigned>(sqlite3_column_int64(s.get(), 4));
            if (sqlite3_column_type(s.get(), 5) != SQLITE_NULL)
                a.location = Location{sqlite3_column_double(s.get(), 5), sqlite3_column_double(s.get(), 6),
                                      sqlite3_column_double(s.get(), 7), Date{sqlite3_column_double(s.get(), 8)}};
            if (sqlite3_column_type(s.get(), 9) != SQLITE_NULL) a.pairingIdentifier = s.text(9);
            out.push_back(std::move(a));
        }
        if (sqlite3_column_type(s.get(), 11) == SQLITE_NULL) continue;
        AssetResource r;
        r.type = static_cast<AssetResourceType>(sqlite3_column_int(s.get(), 10));
        r.fileName = s.text(11);
        r.byteSize = static_cast<std::uint64_t>(sqlite3_column_int64(s.get(), 12));
        r.sha256 = s.text(13);
        out.back().resources.push_back(std::move(r));
    }
    return out;
}

std::vector<PhotoAsset> LibraryIndex::assets() const { return query("", ""); }

std::optional<PhotoAsset> LibraryIndex::asset(const std::string& localIdentifier) const {
    auto found = query("WHERE a.local_identifier = ?1", localIdentifier);
    if (found.empty()) return std::nullopt;
    return std::move(found.front());
}

bool LibraryIndex::contains(const std::string& localIdentifier) const { return asset(localIdentifier).has_value(); }

std::int64_t LibraryIndex::nextNumber() const {
    std::lock_guard lock(mutex_);
    Statement s(db_, "SELECT value FROM meta WHERE key = 'next_number'");
    if (!s || sqlite3_step(s.get()) != SQLITE_ROW) return 1;
    return sqlite3_column_int64(s.get(), 0);
}

}  // namespace sorvel
