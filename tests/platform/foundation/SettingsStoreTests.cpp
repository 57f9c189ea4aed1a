#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/foundation/Console.h"
#include "platform/foundation/SettingsStore.h"

using namespace sorvel;
namespace fs = std::filesystem;

namespace {
struct TempDir {
    fs::path path;
    TempDir() {
        path = fs::temp_directory_path() / ("sorvel-store-" + std::to_string(::getpid()) + "-" +
                                            std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
};
}  // namespace

// Every reader of a never-written key must give its absent value; a reader that returned a
// stale default would switch features on in a fresh install.
TEST(SettingsStore, FreshStoreGivesAbsentValues) {
    TempDir dir;
    auto store = SettingsStore::open(dir.path / "settings.sqlite");
    EXPECT_FALSE(store->boolForKey("setting_0"));
    EXPECT_EQ(store->integerForKey("flash_mode"), 0);
    EXPECT_EQ(store->floatForKey("quality_setting"), 0.0f);
    EXPECT_EQ(store->doubleForKey("zoomFactor_frontCamera"), 0.0);
    EXPECT_FALSE(store->stringForKey("save_format"));
    EXPECT_FALSE(store->arrayForKey("savedFilters"));
    EXPECT_FALSE(store->dataForKey("theme_customBackgroundImage"));
    EXPECT_FALSE(store->objectForKey("lastStoryTimestamp"));
    EXPECT_TRUE(store->allKeys().empty());
}

// Seeding must fill only absent keys: overwriting a user's choice would silently turn
// Live Photo back on after the user switched it off.
TEST(SettingsStore, SeedsFillOnlyAbsentKeys) {
    auto store = SettingsStore::inMemory();
    store->setBool(false, "setting_2");
    store->setObject(Value("7"), "flash_mode");  // present with another type still counts as present
    auto written = store->registerSeeds({{"setting_2", true}, {"flash_mode", 0}, {"quality_setting", 0.65}});
    EXPECT_EQ(written, std::vector<std::string>{"quality_setting"});
    EXPECT_FALSE(store->boolForKey("setting_2"));
    EXPECT_EQ(store->integerForKey("flash_mode"), 7);
    EXPECT_FLOAT_EQ(store->floatForKey("quality_setting"), 0.65f);
    EXPECT_TRUE(store->registerSeeds({{"quality_setting", 0.1}}).empty());
}

// Values must survive closing and reopening with their exact types, removals included.
TEST(SettingsStore, ValuesSurviveReopen) {
    TempDir dir;
    fs::path file = dir.path / "settings.sqlite";
    {
        auto store = SettingsStore::open(file);
        store->setBool(true, "setting_0");
        store->setInteger(3, "flash_mode");
        store->setDouble(0.341333, "heic_resolution_scale");
        store->setObject(Value("RAW"), "save_format");
        store->setObject(Value(Date{1.8e9}), "lastStoryTimestamp");
        store->setObject(Value(Array{Value(Dictionary{{"name", "a"}})}), "savedFilters");
        store->setBool(true, "gone");
        store->removeObjectForKey("gone");
    }
    auto store = SettingsStore::open(file);
    EXPECT_EQ(store->objectForKey("setting_0")->boolValue(), true);
    EXPECT_EQ(store->objectForKey("flash_mode")->integerValue(), 3);
    EXPECT_EQ(store->doubleForKey("heic_resolution_scale"), 0.341333);
    EXPECT_EQ(store->stringForKey("save_format"), "RAW");
    EXPECT_EQ(store->objectForKey("lastStoryTimestamp")->dateValue(), Date{1.8e9});
    EXPECT_EQ((*store->arrayForKey("savedFilters"))[0]["name"].toString(), "a");
    EXPECT_FALSE(store->objectForKey("gone"));
}

// Writers and readers on several threads at once: no write may be lost, and every value must
// be readable the moment its writer returns.
TEST(SettingsStore, ConcurrentWritersLoseNothing) {
    TempDir dir;
    fs::path file = dir.path / "settings.sqlite";
    {
        auto store = SettingsStore::open(file);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < 50; ++i) {
                    std::string key = "k" + std::to_string(t) + "_" + std::to_string(i);
                    store->setInteger(i * 10 + t, key);
                    EXPECT_EQ(store->integerForKey(key), i * 10 + t);
                    store->boolForKey("k0_0");
                }
            });
        for (auto& th : threads) th.join();
    }
    auto store = SettingsStore::open(file);
    ASSERT_EQ(store->allKeys().size(), 200u);
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 50; ++i) EXPECT_EQ(store->integerForKey("k" + std::to_string(t) + "_" + std::to_string(i)), i * 10 + t);
}

// A damaged store must be moved aside (never overwritten: the user may want it back), reported
// in one console line, and replaced by an empty working store.
TEST(SettingsStore, CorruptFileIsMovedAsideAndAppContinues) {
    TempDir dir;
    fs::path file = dir.path / "settings.sqlite";
    std::string garbage = "this is not a database, just damaged bytes....................................";
    for (int i = 0; i < 8; ++i) garbage += garbage;
    std::ofstream(file, std::ios::binary) << garbage;

    ConsoleCapture console;
    auto store = SettingsStore::open(file);
    ASSERT_EQ(console.lines().size(), 1u);
    EXPECT_NE(console.lines()[0].find("已移至"), std::string::npos) << console.lines()[0];

    std::vector<fs::path> aside;
    for (auto& e : fs::directory_iterator(dir.path))
        if (e.path().filename().string().find(".damaged-") != std::string::npos) aside.push_back(e.path());
    ASSERT_EQ(aside.size(), 1u);
    std::ifstream in(aside[0], std::ios::binary);
    std::string kept((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(kept, garbage);

    EXPECT_TRUE(store->setBool(true, "setting_2"));
    store.reset();
    EXPECT_TRUE(SettingsStore::open(file)->boolForKey("setting_2"));
}

// A row whose value blob is damaged (a valid database with bad contents) is damage too.
TEST(SettingsStore, UndecodableEntryCountsAsDamage) {
    TempDir dir;
    fs::path file = dir.path / "settings.sqlite";
    { SettingsStore::open(file)->setBool(true, "a"); }
    std::string cmd = "sqlite3 '" + file.string() + "' \"UPDATE settings SET value = x'09ff'\"";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    ConsoleCapture console;
    auto store = SettingsStore::open(file);
    EXPECT_EQ(console.lines().size(), 1u);
    EXPECT_FALSE(store->objectForKey("a"));
}

// A write that returned must survive the process being killed straight after it: the app is
// killed by the system at any moment, and the capture journal relies on the store.
TEST(SettingsStore, AcknowledgedWritesSurviveAKilledProcess) {
    TempDir dir;
    fs::path file = dir.path / "settings.sqlite";
    { SettingsStore::open(file)->setInteger(-1, "before"); }
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto store = SettingsStore::open(file);
        for (int i = 0; i < 200; ++i)
            if (!store->setObject(Value(Array{Value(static_cast<long long>(i)), Value("filter")}), "drag")) ::_exit(3);
        store->removeObjectForKey("before");
        ::raise(SIGKILL);  // no destructor, no checkpoint, no close
        ::_exit(4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child failed a write: " << status;
    auto store = SettingsStore::open(file);
    auto drag = store->arrayForKey("drag");
    ASSERT_TRUE(drag);
    EXPECT_EQ((*drag)[0].toInteger(), 199);
    EXPECT_FALSE(store->objectForKey("before"));
}

// Writes reach the database file itself (not only the WAL in the system's cache) shortly after
// they are made, without closing the store: what is left after a power cut. A copy of the
// database file without its WAL shows what the disk holds.
TEST(SettingsStore, WritesReachTheDatabaseFileSoonAfterwards) {
    TempDir dir;
    fs::path file = dir.path / "settings.sqlite";
    auto store = SettingsStore::open(file);
    auto diskHolds = [&](std::int64_t wanted) {
        fs::path copy = dir.path / "copy.sqlite";
        fs::remove(copy);
        fs::copy_file(file, copy);
        auto onDisk = SettingsStore::open(copy);
        return onDisk->integerForKey("k") == wanted;
    };
    store->setInteger(1, "k");
    bool flushed = false;
    for (int i = 0; i < 100 && !flushed; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        flushed = diskHolds(1);
    }
    EXPECT_TRUE(flushed) << "the write never left the WAL";
    // synchronize() does not wait for the flusher's moment.
    store->setInteger(2, "k");
    ASSERT_TRUE(store->synchronize());
    EXPECT_TRUE(diskHolds(2));
}
