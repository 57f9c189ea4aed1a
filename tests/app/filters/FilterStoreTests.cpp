#include <gtest/gtest.h>

#include "app/filters/FilterStore.h"
#include "app/filters/SavedFilter.h"
#include "platform/foundation/SettingsStore.h"

namespace sorvel {
namespace {

class FilterStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        store = SettingsStore::inMemory();
        SettingsStore::setStandard(store.get());
    }
    void TearDown() override { SettingsStore::setStandard(nullptr); }

    // A restart: the list as a new controller reads it from what the last one left in the store.
    struct Launched {
        std::vector<Dictionary> filters;
    };
    Launched relaunch() {
        Launched state;
        loadFiltersFromUserDefaults(state.filters);
        checkFirstLaunch(state.filters);
        return state;
    }

    std::unique_ptr<SettingsStore> store;
};

// The presets must appear once, in order, complete, and never again on later launches.
TEST_F(FilterStoreTest, FirstLaunchImportsTheThreePresetsOnce) {
    Launched first = relaunch();
    ASSERT_EQ(first.filters.size(), 3u);
    const char* names[] = {"🌊海草ccd", "🟡只有你是彩色的", "🍀自然柔和"};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(nameOfFilter(first.filters[i]));
        EXPECT_EQ(*nameOfFilter(first.filters[i]), names[i]);
        auto map = parametersOfFilter(first.filters[i]);
        ASSERT_TRUE(map);
        EXPECT_EQ(map->size(), 25u);
        EXPECT_EQ(first.filters[i].size(), 2u);
    }
    EXPECT_TRUE(store->boolForKey("hasLaunchedBefore"));

    Launched second = relaunch();
    EXPECT_EQ(second.filters.size(), 3u);
    EXPECT_EQ(second.filters, first.filters) << "stored form must read back as it was written";
}

// Deleting everything must stick: the presets come back only on a never-launched store.
TEST_F(FilterStoreTest, EmptiedListStaysEmptyAfterRestart) {
    Launched state = relaunch();
    state.filters.clear();
    saveFiltersToUserDefaults(state.filters);
    EXPECT_TRUE(relaunch().filters.empty());
}

// A damaged "savedFilters" value must neither crash nor replace what is in memory.
TEST_F(FilterStoreTest, MalformedStoredListLeavesFiltersUnchanged) {
    std::vector<Dictionary> filters{makeSavedFilter("mine", defaultParameterMap())};
    store->setObject(Value("not an array"), "savedFilters");
    loadFiltersFromUserDefaults(filters);
    EXPECT_EQ(filters.size(), 1u);
    store->setObject(Value(Array{Value(Dictionary{{"name", Value("ok")}}), Value(3)}), "savedFilters");
    loadFiltersFromUserDefaults(filters);
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_EQ(*nameOfFilter(filters[0]), "mine");
    store->setObject(Value(Array{Value(Dictionary{{"name", Value("ok")}})}), "savedFilters");
    loadFiltersFromUserDefaults(filters);
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_EQ(*nameOfFilter(filters[0]), "ok");
}

// Names may repeat; lookups must take the earliest, and ignore non-string names.
TEST_F(FilterStoreTest, LookupByNameTakesTheFirstMatch) {
    std::vector<Dictionary> filters{Dictionary{{"name", Value(5)}}, makeSavedFilter("A", {{"1", 1.0f}}),
                                    makeSavedFilter("A", {{"1", 2.0f}})};
    EXPECT_EQ(indexOfFilterNamed(filters, "A"), 1u);
    EXPECT_FALSE(indexOfFilterNamed(filters, "5"));
    EXPECT_FALSE(indexOfFilterNamed(filters, "B"));
}

}  // namespace
}  // namespace sorvel
