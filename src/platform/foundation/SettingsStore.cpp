#include "SettingsStore.h"

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "Clock.h"
#include "Console.h"
#include "Files.h"
#include "SettingsOverride.h"

namespace fs = std::filesystem;

namespace sorvel {

namespace {
std::atomic<SettingsStore*> standardStore{nullptr};
thread_local SettingsStore* threadOverride = nullptr;
}

ScopedSettingsOverride::ScopedSettingsOverride(SettingsStore* store) : previous_(threadOverride) { threadOverride = store; }
ScopedSettingsOverride::~ScopedSettingsOverride() { threadOverride = previous_; }

// Puts committed writes on disk off the writing thread. It has its own connection, so a
// checkpoint never holds the writers' connection, and a passive checkpoint never blocks a
// writer: the writer appends to the WAL while the flusher copies what was there. A checkpoint
// syncs the WAL before it copies and the database after, which makes every frame it took
// durable.
class SettingsStore::Flusher {
public:
    explicit Flusher(const fs::path& file) {
        if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            sqlite3_close_v2(db_);
            db_ = nullptr;
            return;
        }
        sqlite3_busy_timeout(db_, 5000);
        // A connection finds the WAL only once it has read the database; until then a
        // checkpoint does nothing.
        if (sqlite3_exec(db_, "PRAGMA synchronous=NORMAL; SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr) != SQLITE_OK) {
            sqlite3_close_v2(db_);
            db_ = nullptr;
            return;
        }
        thread_ = std::thread([this] { run(); });
    }
    ~Flusher() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) thread_.join();
        if (db_) sqlite3_close_v2(db_);
    }
    bool isRunning() const { return db_ != nullptr; }

    // After each committed write: the first write that is not on disk sets the deadline.
    void noteWrite() {
        std::lock_guard lock(mutex_);
        if (dirty_) return;
        dirty_ = true;
        due_ = deadline();
        wake_.notify_one();
    }

    // Everything committed so far on disk, now; false when that could not be done.
    bool flushNow() {
        std::lock_guard lock(checkpointMutex_);
        return checkpoint();
    }

private:
    using SteadyClock = std::chrono::steady_clock;

    static SteadyClock::time_point deadline() {
        return SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(kFlushDelay));
    }

    void run() {
        std::unique_lock lock(mutex_);
        while (true) {
            wake_.wait(lock, [this] { return stop_ || dirty_; });
            // Stopping early still flushes: another process may hold the database open, and
            // then closing this store's connections checkpoints nothing.
            if (!stop_) wake_.wait_until(lock, due_, [this] { return stop_; });
            bool stopping = stop_;
            if (!dirty_) return;
            dirty_ = false;
            lock.unlock();
            bool done = flushNow();
            lock.lock();
            if (stopping) return;
            // A reader of another process can hold back part of the WAL: try again soon.
            if (!done && !dirty_) {
                dirty_ = true;
                due_ = deadline();
            }
        }
    }

    // True when every frame of the WAL is now in the synced database.
    bool checkpoint() {
        int log = 0, copied = 0;
        int rc = sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, &log, &copied);
        if (rc == SQLITE_BUSY) return false;  // another connection is checkpointing
        if (rc != SQLITE_OK) {
            if (!reported_) consolePrint("设置存储写入磁盘失败：" + std::string(sqlite3_errmsg(db_)));
            reported_ = true;
            return false;
        }
        reported_ = false;
        return copied >= log;
    }

    sqlite3* db_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool dirty_ = false;
    bool stop_ = false;
    SteadyClock::time_point due_;
    std::mutex checkpointMutex_;
    bool reported_ = false;  // one console line per run of failures, not one per attempt
};

SettingsStore& SettingsStore::standard() {
    if (threadOverride) return *threadOverride;
    SettingsStore* s = standardStore.load(std::memory_order_acquire);
    if (s) return *s;
    // Used before start-up installed one (a test of a single unit): a store in memory.
    static std::unique_ptr<SettingsStore> fallback = inMemory();
    return *fallback;
}

void SettingsStore::setStandard(SettingsStore* store) { standardStore.store(store, std::memory_order_release); }

std::unique_ptr<SettingsStore> SettingsStore::inMemory() { return std::unique_ptr<SettingsStore>(new SettingsStore()); }

SettingsStore::~SettingsStore() {
    if (standardStore.load() == this) setStandard(nullptr);
    flusher_.reset();
    sqlite3_finalize(upsert_);
    sqlite3_finalize(remove_);
    if (db_) sqlite3_close_v2(db_);
}

bool SettingsStore::openDatabase(const fs::path& file, std::string& error) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    auto fail = [&](const std::string& why) {
        error = why;
        if (db) sqlite3_close_v2(db);
        return false;
    };
    if (rc != SQLITE_OK) return fail(db ? sqlite3_errmsg(db) : "cannot open");
    sqlite3_busy_timeout(db, 5000);
    char* msg = nullptr;
    // WAL keeps readers of another process (`defaults read`) off the writer's back. With
    // synchronous=NORMAL a commit is a write into the WAL without waiting for the disk, and
    // without automatic checkpoints no commit ever does a checkpoint's fsyncs: the flusher
    // does both. A WAL database stays consistent through a power cut in this mode; only the
    // writes the flusher has not yet synced are lost.
    const char* setup =
        "PRAGMA journal_mode=WAL;"
        "PRAGMA synchronous=NORMAL;"
        "PRAGMA wal_autocheckpoint=0;"
        "CREATE TABLE IF NOT EXISTS settings (key TEXT PRIMARY KEY NOT NULL, value BLOB NOT NULL);";
    if (sqlite3_exec(db, setup, nullptr, nullptr, &msg) != SQLITE_OK) {
        std::string why = msg ? msg : "cannot set up";
        sqlite3_free(msg);
        return fail(why);
    }
    sqlite3_stmt* check = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &check, nullptr) != SQLITE_OK) return fail(sqlite3_errmsg(db));
    std::string verdict;
    if (sqlite3_step(check) == SQLITE_ROW) verdict = reinterpret_cast<const char*>(sqlite3_column_text(check, 0));
    sqlite3_finalize(check);
    if (verdict != "ok") return fail("integrity check failed: " + verdict);

    sqlite3_stmt* all = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT key, value FROM settings", -1, &all, nullptr) != SQLITE_OK)
        return fail(sqlite3_errmsg(db));
    Dictionary loaded;
    bool damaged = false;
    while ((rc = sqlite3_step(all)) == SQLITE_ROW) {
        const char* key = reinterpret_cast<const char*>(sqlite3_column_text(all, 0));
        const auto* blob = static_cast<const std::uint8_t*>(sqlite3_column_blob(all, 1));
        int size = sqlite3_column_bytes(all, 1);
        auto v = Value::decode(blob, static_cast<std::size_t>(size));
        if (!key || !v) {
            damaged = true;
            break;
        }
        loaded[key] = std::move(*v);
    }
    sqlite3_finalize(all);
    if (damaged || rc != SQLITE_DONE) return fail("unreadable entries");
    sqlite3_stmt* upsert = nullptr;
    sqlite3_stmt* remove = nullptr;
    if (sqlite3_prepare_v2(db, "INSERT INTO settings(key, value) VALUES(?1, ?2) ON CONFLICT(key) DO UPDATE SET value = excluded.value",
                           -1, &upsert, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db, "DELETE FROM settings WHERE key = ?1", -1, &remove, nullptr) != SQLITE_OK) {
        std::string why = sqlite3_errmsg(db);
        sqlite3_finalize(upsert);
        sqlite3_finalize(remove);
        return fail(why);
    }
    auto flusher = std::make_unique<Flusher>(file);
    if (flusher->isRunning()) {
        flusher_ = std::move(flusher);
    } else {
        // No second connection (out of file handles): every commit waits for the disk itself.
        sqlite3_exec(db, "PRAGMA synchronous=FULL; PRAGMA wal_autocheckpoint=1000;", nullptr, nullptr, nullptr);
    }
    db_ = db;
    upsert_ = upsert;
    remove_ = remove;
    cache_ = std::move(loaded);
    return true;
}

std::unique_ptr<SettingsStore> SettingsStore::open(const fs::path& file) {
    std::unique_ptr<SettingsStore> store(new SettingsStore());
    store->file_ = file;
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    std::string error;
    if (store->openDatabase(file, error)) return store;

    if (fs::exists(file, ec)) {
        auto aside = moveAside(file, Clock::current().now());
        // The WAL and shared-memory files belong to the damaged database; move them with it.
        for (const char* suffix : {"-wal", "-shm"}) {
            fs::path side = file.string() + suffix;
            if (aside && fs::exists(side, ec)) fs::rename(side, aside->string() + suffix, ec);
        }
        if (aside) {
            consolePrint("设置存储已损坏（" + error + "），已移至 " + aside->string() + "，使用空的设置继续。");
            std::string again;
            if (store->openDatabase(file, again)) return store;
            error = again;
        } else {
            consolePrint("设置存储已损坏（" + error + "），且无法移开：" + file.string() + "。本次运行使用内存中的设置。");
            return store;
        }
    }
    consolePrint("无法打开设置存储 " + file.string() + "（" + error + "）。本次运行使用内存中的设置。");
    return store;
}

std::optional<Value> SettingsStore::objectForKey(std::string_view key) const {
    std::shared_lock lock(cacheMutex_);
    auto it = cache_.find(key);
    if (it == cache_.end()) return std::nullopt;
    return it->second;
}

std::vector<std::string> SettingsStore::allKeys() const {
    std::shared_lock lock(cacheMutex_);
    std::vector<std::string> keys;
    for (const auto& [k, v] : cache_) keys.push_back(k);
    return keys;
}

bool SettingsStore::boolForKey(std::string_view key) const {
    auto v = objectForKey(key);
    return v && v->toBool();
}
std::int64_t SettingsStore::integerForKey(std::string_view key) const {
    auto v = objectForKey(key);
    return v ? v->toInteger() : 0;
}
float SettingsStore::floatForKey(std::string_view key) const { return static_cast<float>(doubleForKey(key)); }
double SettingsStore::doubleForKey(std::string_view key) const {
    auto v = objectForKey(key);
    return v ? v->toReal() : 0.0;
}
std::optional<std::string> SettingsStore::stringForKey(std::string_view key) const {
    auto v = objectForKey(key);
    return v ? v->toString() : std::nullopt;
}
std::optional<Array> SettingsStore::arrayForKey(std::string_view key) const {
    auto v = objectForKey(key);
    if (!v || !v->arrayValue()) return std::nullopt;
    return *v->arrayValue();
}
std::optional<Bytes> SettingsStore::dataForKey(std::string_view key) const {
    auto v = objectForKey(key);
    if (!v || !v->dataValue()) return std::nullopt;
    return *v->dataValue();
}

bool SettingsStore::persist(std::string_view key, const Value* v) {
    if (!db_) return false;
    sqlite3_stmt* st = v ? upsert_ : remove_;
    sqlite3_bind_text(st, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    Bytes blob;
    if (v) {
        blob = v->encode();
        sqlite3_bind_blob(st, 2, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
    }
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (rc != SQLITE_DONE) return false;
    if (flusher_) flusher_->noteWrite();
    return true;
}

bool SettingsStore::setObject(const Value& v, std::string_view key) {
    if (v.isNull()) return removeObjectForKey(key);
    // One writer at a time keeps the cache and the file in the same order of writes.
    std::lock_guard write(writeMutex_);
    bool ok = persist(key, &v);
    std::unique_lock lock(cacheMutex_);
    cache_[std::string(key)] = v;
    return ok || !db_;
}

bool SettingsStore::removeObjectForKey(std::string_view key) {
    std::lock_guard write(writeMutex_);
    bool ok = persist(key, nullptr);
    std::unique_lock lock(cacheMutex_);
    auto it = cache_.find(key);
    if (it != cache_.end()) cache_.erase(it);
    return ok || !db_;
}

bool SettingsStore::synchronize() {
    if (!db_) return true;
    if (flusher_) return flusher_->flushNow();
    std::lock_guard write(writeMutex_);
    return sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr) == SQLITE_OK;
}

std::vector<std::string> SettingsStore::registerSeeds(const Dictionary& seeds) {
    std::vector<std::string> written;
    for (const auto& [key, value] : seeds) {
        if (objectForKey(key)) continue;
        setObject(value, key);
        written.push_back(key);
    }
    return written;
}

}  // namespace sorvel
