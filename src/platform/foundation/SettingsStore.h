#pragma once
// The persistent key-value settings store. Every write is committed to SQLite (WAL) before
// the call returns and is visible to the next read on any thread. Reads never fail: an absent
// key gives the absent value of its reader, and a value of another type is converted by the
// one table in Value.h (toBool, toInteger, toReal, toString).
//
// Durability: a returned write is in the operating system's hands (the WAL file), so a killed
// or crashed process loses nothing. It reaches the disk itself within kFlushDelay: a flusher
// thread checkpoints the WAL (fsync of the WAL, then of the database) shortly after the first
// write that is not yet on disk, so a power cut costs at most the writes of that last moment.
// The writing thread never waits for the disk; synchronize() does, for a caller that must
// know a value is on disk before it goes on.

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "Value.h"

struct sqlite3;
struct sqlite3_stmt;

namespace sorvel {

class SettingsStore {
public:
    // Opens (creating if needed) the store at `file`. A file that is not a sound store is moved
    // aside under a time-stamped name with one console line, and an empty store takes its place.
    // When even that fails (unwritable folder), the store lives in memory for this run and a
    // console line says so. Never throws.
    static std::unique_ptr<SettingsStore> open(const std::filesystem::path& file);
    // A store with no file behind it (tests that need no persistence).
    static std::unique_ptr<SettingsStore> inMemory();
    ~SettingsStore();

    // The store the app uses; set once at start-up (and by tests).
    static SettingsStore& standard();
    static void setStandard(SettingsStore* store);

    // Readers. Any thread.
    bool boolForKey(std::string_view key) const;
    std::int64_t integerForKey(std::string_view key) const;
    float floatForKey(std::string_view key) const;
    double doubleForKey(std::string_view key) const;
    std::optional<std::string> stringForKey(std::string_view key) const;
    std::optional<Array> arrayForKey(std::string_view key) const;
    std::optional<Bytes> dataForKey(std::string_view key) const;
    std::optional<Value> objectForKey(std::string_view key) const;
    std::vector<std::string> allKeys() const;

    // Writers. Any thread. A null Value removes the key. Returns false only when the write
    // could not be persisted (the value is still visible to readers for this run).
    bool setBool(bool v, std::string_view key) { return setObject(Value(v), key); }
    bool setInteger(std::int64_t v, std::string_view key) { return setObject(Value(static_cast<long long>(v)), key); }
    bool setFloat(float v, std::string_view key) { return setObject(Value(static_cast<double>(v)), key); }
    bool setDouble(double v, std::string_view key) { return setObject(Value(v), key); }
    bool setObject(const Value& v, std::string_view key);
    bool removeObjectForKey(std::string_view key);
    // Puts every write made so far on disk before returning (fsync); false when that failed.
    bool synchronize();
    // How long a write may wait in the operating system's cache before the flusher puts it on disk.
    static constexpr double kFlushDelay = 0.1;

    // For each entry whose key holds no value, writes the entry; present keys of any type are
    // left alone. Returns the keys written.
    std::vector<std::string> registerSeeds(const Dictionary& seeds);

    const std::filesystem::path& file() const { return file_; }

private:
    SettingsStore() = default;
    class Flusher;
    bool openDatabase(const std::filesystem::path& file, std::string& error);
    bool persist(std::string_view key, const Value* v);

    std::filesystem::path file_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* upsert_ = nullptr;  // prepared once: a slider drag writes dozens of times a second
    sqlite3_stmt* remove_ = nullptr;
    std::unique_ptr<Flusher> flusher_;
    mutable std::shared_mutex cacheMutex_;
    Dictionary cache_;
    std::mutex writeMutex_;
};

}  // namespace sorvel
