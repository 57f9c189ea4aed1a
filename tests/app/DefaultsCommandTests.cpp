#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sstream>

#include "AppHarness.h"
#include "app/SettingsKeys.h"
#include "app/cli/DefaultsCommand.h"
#include "app/cli/ShootOptions.h"
#include "platform/foundation/SettingsStore.h"

using namespace sorvel;
using namespace sorvel::testing;
namespace fs = std::filesystem;

namespace {

struct CommandRun {
    int code;
    std::string out, err;
};

CommandRun defaults(const fs::path& file, std::vector<std::string> args) {
    std::ostringstream out, err;
    int code = runDefaultsCommand(args, out, err, file);
    return {code, out.str(), err.str()};
}

// Runs the real binary in a new process and returns its exit code and standard output.
CommandRun binary(const std::string& args) {
    std::string cmd = std::string(SORVEL_BINARY_DIR) + "/src/sorvel-camera " + args + " 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    std::array<char, 256> buf;
    while (p && fgets(buf.data(), buf.size(), p)) out += buf.data();
    int status = p ? pclose(p) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, {}};
}

}  // namespace

// Every type flag must store the value with its type, so the app's typed readers see it as
// the settings panel would have written it.
TEST(DefaultsCommand, WriteThenReadRoundTripsEachType) {
    TempFolder dir("sorvel-defaults");
    fs::path file = dir.path() / "settings.sqlite";
    struct Case {
        std::string key, flag, value, printed;
        Value::Type type;
    };
    std::vector<Case> cases = {
        {"setting_2", "-bool", "false", "false\n", Value::Type::Bool},
        {"flash_mode", "-int", "3", "3\n", Value::Type::Integer},
        {"quality_setting", "-float", "0.65", "0.65\n", Value::Type::Real},
        {"save_format", "-string", "RAW+HEIC", "RAW+HEIC\n", Value::Type::String},
        {"lastStoryTimestamp", "-date", "2026-12-06T10:00:00+08:00", "2026-12-06T02:00:00Z\n", Value::Type::Date},
    };
    for (const auto& c : cases) {
        CommandRun w = defaults(file, {"write", c.key, c.flag, c.value});
        EXPECT_EQ(w.code, 0) << c.key << ": " << w.err;
        CommandRun r = defaults(file, {"read", c.key});
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out, c.printed) << c.key;
    }
    auto store = SettingsStore::open(file);
    for (const auto& c : cases) EXPECT_EQ(store->objectForKey(c.key)->type(), c.type) << c.key;
    EXPECT_FALSE(store->boolForKey("setting_2"));
    EXPECT_EQ(store->integerForKey("flash_mode"), 3);

    CommandRun del = defaults(file, {"delete", "flash_mode"});
    EXPECT_EQ(del.code, 0);
    EXPECT_EQ(defaults(file, {"read", "flash_mode"}).code, 1);
}

// A bad invocation must exit 2 with a usage message and leave the store exactly as it was.
TEST(DefaultsCommand, BadInvocationsExitTwoAndWriteNothing) {
    TempFolder dir("sorvel-defaults");
    fs::path file = dir.path() / "settings.sqlite";
    ASSERT_EQ(defaults(file, {"write", "keep", "-int", "1"}).code, 0);
    std::vector<std::vector<std::string>> bad = {
        {},
        {"write", "k", "-number", "1"},
        {"write", "k", "-bool"},
        {"write", "k", "-bool", "maybe"},
        {"write", "k", "-int", "1.5"},
        {"write", "k", "-int", "12abc"},
        {"write", "k", "-float", "abc"},
        {"write", "k", "-date", "2026-02-30T00:00:00Z"},
        {"write", "keep", "-int", ""},
        {"read", "a", "b"},
        {"frobnicate"},
    };
    for (const auto& args : bad) {
        CommandRun r = defaults(file, args);
        EXPECT_EQ(r.code, 2) << (args.empty() ? "(none)" : args[0]);
        EXPECT_NE(r.err.find("usage:"), std::string::npos);
    }
    auto store = SettingsStore::open(file);
    EXPECT_EQ(store->allKeys(), std::vector<std::string>{"keep"});
    EXPECT_EQ(store->integerForKey("keep"), 1);
}

// The value written by one process must be read by the next: the store is the file, not a
// cache in the writer.
TEST(DefaultsCommand, ValueWrittenIsReadByANewProcess) {
    TempFolder dir("sorvel-defaults");
    std::string home = "--home " + dir.path().string();
    EXPECT_EQ(binary(home + " defaults write setting_2 -bool false").code, 0);
    CommandRun r = binary(home + " defaults read setting_2");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "false\n");
    EXPECT_EQ(binary(home + " defaults write setting_2 -bool").code, 2);
    EXPECT_EQ(binary(home + " defaults read setting_2").out, "false\n");
}

// The seed table is what a fresh install runs with; a missing entry or a wrong type would
// change a default behaviour (a real 1 instead of an integer flash mode, say).
TEST(SettingsKeys, SeedTableHasTheTwentyEntriesWithTheirTypes) {
    const Dictionary& seeds = settingSeeds();
    ASSERT_EQ(seeds.size(), 20u);
    for (const auto& [key, value] : seeds) {
        auto type = settingType(key);
        ASSERT_TRUE(type) << key << " missing from the key table";
        Value::Type expected = *type == SettingType::Bool      ? Value::Type::Bool
                               : *type == SettingType::Integer ? Value::Type::Integer
                               : *type == SettingType::Real    ? Value::Type::Real
                                                               : Value::Type::String;
        EXPECT_EQ(value.type(), expected) << key;
    }
    EXPECT_EQ(seeds.at("save_format"), Value("HEIC"));
    EXPECT_EQ(seeds.at("photo_preview"), Value(2));
    EXPECT_EQ(seeds.at("exposure_compensation"), Value(0.5));

    auto store = SettingsStore::inMemory();
    store->setBool(false, "setting_2");
    auto written = store->registerSeeds(seeds);
    EXPECT_EQ(written.size(), 19u);
    EXPECT_FALSE(store->boolForKey("setting_2"));
    EXPECT_EQ(store->allKeys().size(), 20u);
    EXPECT_TRUE(store->boolForKey("setting_9"));
}

// `shoot --set` must type each value by its key before anything is captured: a string "0.5"
// stored for a real setting, or an unknown key silently accepted, would shoot with the wrong
// settings.
TEST(ShootOptions, SetValuesAreTypedByKeyAndBadOnesRefused) {
    auto ok = parseShootOptions({"--count", "3", "--json", "--camera", "front", "--orientation", "4", "--set",
                                 "setting_2=false", "--set", "quality_setting_2=0.5", "--set", "flash_mode=2", "--set",
                                 "save_format=RAW+HEIC", "--interval", "1.5"});
    ASSERT_TRUE(ok.options) << ok.error;
    const ShootOptions& o = *ok.options;
    EXPECT_EQ(o.count, 3);
    EXPECT_TRUE(o.json);
    EXPECT_EQ(o.camera, "front");
    EXPECT_EQ(o.orientation, 4);
    EXPECT_EQ(o.interval, 1.5);
    ASSERT_EQ(o.settings.size(), 4u);
    EXPECT_EQ(o.settings[0].second, Value(false));
    EXPECT_EQ(o.settings[1].second, Value(0.5));
    EXPECT_EQ(o.settings[2].second, Value(2));
    EXPECT_EQ(o.settings[3].second, Value("RAW+HEIC"));

    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
             {"--set", "no_such_key=1"},
             {"--set", "setting_2=maybe"},
             {"--set", "flash_mode=1.5"},
             {"--set", "quality_setting=high"},
             {"--set", "=1"},
             {"--set"},
             {"--count", "-1"},
             {"--count", "2.5"},
             {"--camera", "side"},
             {"--orientation", "5"},
             {"--interval", "-1"},
             {"--frobnicate"}}) {
        EXPECT_FALSE(parseShootOptions(bad).options) << bad[0] << " " << (bad.size() > 1 ? bad[1] : "");
    }
    // No press at all: the run only saves what an earlier one left in the journal.
    auto none = parseShootOptions({"--count", "0"});
    ASSERT_TRUE(none.options);
    EXPECT_EQ(none.options->count, 0);
}
