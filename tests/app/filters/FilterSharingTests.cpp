#include <gtest/gtest.h>

#include <cmath>

#include "app/filters/FilterCodec.h"
#include "app/filters/FilterSharing.h"
#include "app/filters/FilterStore.h"
#include "app/filters/SavedFilter.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SettingsStore.h"

namespace sorvel {
namespace {

class FilterSharingTest : public ::testing::Test {
protected:
    void SetUp() override {
        store = SettingsStore::inMemory();
        SettingsStore::setStandard(store.get());
    }
    void TearDown() override { SettingsStore::setStandard(nullptr); }
    std::unique_ptr<SettingsStore> store;
};

std::vector<std::string> names(const std::vector<Dictionary>& filters) {
    std::vector<std::string> out;
    for (const auto& f : filters) out.push_back(nameOfFilter(f) ? *nameOfFilter(f) : "<none>");
    return out;
}

// A counter that only grows (or starts after the highest) would skip the freed "导入1" and
// collide with or skip names; each import must take the lowest free one and be saved.
TEST_F(FilterSharingTest, ImportNamesTakeTheLowestFreeCounter) {
    std::vector<Dictionary> filters{makeSavedFilter(localized("导入%@").replace(localized("导入%@").find("%@"), 2, "2"),
                                                     defaultParameterMap())};
    for (const char* code : {"aa09", "ac99", "萌似月波差城侨光约衣持幅灵"}) {
        ImportOutcome outcome = importFilter(code, filters);
        EXPECT_TRUE(outcome.imported) << code;
        EXPECT_FALSE(outcome.error);
    }
    std::string prefix = localized("导入%@").substr(0, localized("导入%@").find("%@"));
    EXPECT_EQ(names(filters), (std::vector<std::string>{prefix + "2", prefix + "1", prefix + "3", prefix + "4"}));
    std::vector<Dictionary> reloaded;
    loadFiltersFromUserDefaults(reloaded);
    EXPECT_EQ(reloaded, filters) << "every import is written through to the store";
    auto third = parametersOfFilter(filters[3]);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->size(), 25u);
}

// An invalid code must import nothing, not even a partial filter, and say why.
TEST_F(FilterSharingTest, InvalidCodeShowsErrorAndImportsNothing) {
    std::vector<Dictionary> filters;
    for (const char* bad : {"Aa09", " aa09", "azaa", "萌似x"}) {
        ImportOutcome outcome = importFilter(bad, filters);
        EXPECT_FALSE(outcome.imported);
        ASSERT_TRUE(outcome.error) << bad;
        EXPECT_EQ(outcome.error->message, localized("无效的滤镜代码"));
        EXPECT_EQ(outcome.error->title, localized("错误"));
    }
    EXPECT_TRUE(filters.empty());
    EXPECT_FALSE(store->objectForKey("savedFilters"));
    ImportOutcome empty = importFilter("", filters);
    EXPECT_FALSE(empty.imported);
    EXPECT_FALSE(empty.error) << "an empty field does nothing at all";
}

// The share dialog must offer exactly the codes of the selected filter, letter form first.
TEST_F(FilterSharingTest, ShareDialogCarriesBothCodesOrErrors) {
    EXPECT_EQ(shareCurrentFilter(std::nullopt).message, localized("没有选中的滤镜"));
    EXPECT_EQ(shareCurrentFilter(makeSavedFilter("n", {{"1", NAN}})).message, localized("无法编码滤镜"));

    AlertSpec alert = shareCurrentFilter(makeSavedFilter("n", {{"1", 2.0f}, {"8", 6500.0f}}));
    std::string hanzi = *base36StringToHanzi("aa09hu9");
    EXPECT_EQ(alert.title, localized("🍎分享滤镜"));
    EXPECT_EQ(alert.message, formatLocalized(localized("分享消息"), {"aa09hu9", hanzi}));
    ASSERT_EQ(alert.buttons.size(), 3u);
    EXPECT_EQ(alert.buttons[0].pasteboardText, "aa09hu9");
    EXPECT_EQ(alert.buttons[1].pasteboardText, hanzi);
    ASSERT_TRUE(alert.buttons[0].followUp && alert.buttons[1].followUp);
    EXPECT_EQ(alert.buttons[0].followUp->title, localized("✅已经复制好了喔!"));
    EXPECT_EQ(alert.buttons[1].followUp->title, localized("✅汉字版 已经复制好了喔!"));
    EXPECT_EQ(alert.buttons[1].followUp->message, localized("复制消息"));
    EXPECT_EQ(alert.buttons[2].style, AlertButtonStyle::Cancel);
    EXPECT_FALSE(alert.buttons[2].pasteboardText);
}

// Translations may reorder or repeat arguments; a formatter that only knows "%@" would print
// the letter code where the Hanzi code belongs.
TEST(FilterSharing, FormatFillsPlainAndPositionalArguments) {
    EXPECT_EQ(formatLocalized("导入%@", {"3"}), "导入3");
    EXPECT_EQ(formatLocalized("A:%@ B:%@", {"x", "y"}), "A:x B:y");
    EXPECT_EQ(formatLocalized("B:%2$@ A:%1$@ %%", {"x", "y"}), "B:y A:x %");
    EXPECT_EQ(formatLocalized("%@ %@ %@", {"x"}), "x  ");
    EXPECT_EQ(formatLocalized("100%", {}), "100%");
    EXPECT_EQ(formatLocalized("%9$@|%d", {"x"}), "|%d");
}

}  // namespace
}  // namespace sorvel
