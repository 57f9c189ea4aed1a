// A slider drag in the filter editor as the settings store sees it: 200 writes in a row of the
// whole "savedFilters" array (five filters of 25 parameters), one per mouse move. The store
// file lies in the temporary directory ($TMPDIR, else /tmp); its file system decides the cost of
// an fsync.
//
// Drag200/store is the store as the app uses it. Drag200/fullSync is the same 200 commits
// through a plain SQLite connection with synchronous=FULL, the store's former mode, where every
// commit waited for its fsync: the figure to compare with, measured in the same run.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>

#include "platform/foundation/SettingsStore.h"

namespace fs = std::filesystem;
using namespace sorvel;

namespace {

constexpr int kChanges = 200;

fs::path makeTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "sorvel-bench-XXXXXX").string();
    return ::mkdtemp(pattern.data());
}

Value savedFilters(int change) {
    Array filters;
    for (int f = 0; f < 5; ++f) {
        Dictionary parameters;
        for (int id = 1; id <= 25; ++id) parameters[std::to_string(id)] = Value(id == 1 && f == 0 ? change * 0.01 : 0.5);
        filters.emplace_back(Dictionary{{"name", Value("滤镜" + std::to_string(f))}, {"parameters", Value(std::move(parameters))}});
    }
    return Value(std::move(filters));
}

void BM_Drag200_store(benchmark::State& state) {
    fs::path root = makeTempFolder();
    auto store = SettingsStore::open(root / "settings.sqlite");
    std::vector<Value> values;
    for (int i = 0; i < kChanges; ++i) values.push_back(savedFilters(i));
    double worst = 0;
    std::int64_t slow = 0, writes = 0;
    for (auto _ : state) {
        for (const auto& v : values) {
            auto start = std::chrono::steady_clock::now();
            if (!store->setObject(v, "savedFilters")) state.SkipWithError("write failed");
            double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            worst = std::max(worst, ms);
            slow += ms > 1.0;
            ++writes;
        }
    }
    state.counters["worst_write_ms"] = worst;
    // Writes over 1 ms, per thousand: the machine's scheduling shows here as well as the store.
    state.counters["over_1ms_permille"] = 1000.0 * static_cast<double>(slow) / static_cast<double>(writes);
    store.reset();
    fs::remove_all(root);
}
BENCHMARK(BM_Drag200_store)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Drag200_fullSync(benchmark::State& state) {
    fs::path root = makeTempFolder();
    sqlite3* db = nullptr;
    sqlite3_open((root / "settings.sqlite").c_str(), &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
                 "CREATE TABLE settings (key TEXT PRIMARY KEY NOT NULL, value BLOB NOT NULL);",
                 nullptr, nullptr, nullptr);
    std::vector<Bytes> blobs;
    for (int i = 0; i < kChanges; ++i) blobs.push_back(savedFilters(i).encode());
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO settings(key, value) VALUES('savedFilters', ?1) ON CONFLICT(key) DO UPDATE SET value = excluded.value",
                       -1, &st, nullptr);
    double worst = 0;
    for (auto _ : state) {
        for (const auto& blob : blobs) {
            auto start = std::chrono::steady_clock::now();
            sqlite3_bind_blob(st, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
            if (sqlite3_step(st) != SQLITE_DONE) state.SkipWithError("write failed");
            sqlite3_reset(st);
            worst = std::max(worst, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
    }
    state.counters["worst_write_ms"] = worst;
    sqlite3_finalize(st);
    sqlite3_close(db);
    fs::remove_all(root);
}
BENCHMARK(BM_Drag200_fullSync)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
