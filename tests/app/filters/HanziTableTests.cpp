#include <gtest/gtest.h>

#include <set>

#include "app/filters/FilterCodec.h"
#include "app/filters/HanziTable.h"
#include "app/filters/SavedFilter.h"

namespace sorvel {
namespace {

// A lost, repeated or non-ideograph entry would make some codes ambiguous or unreadable.
TEST(FilterHanziTable, HoldsFifteenHundredDistinctUnifiedIdeographs) {
    const auto& table = kol1500HanziArray();
    ASSERT_EQ(table.size(), 1500u);
    std::set<char32_t> distinct(table.begin(), table.end());
    EXPECT_EQ(distinct.size(), 1500u);
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_TRUE(table[i] >= 0x4E00 && table[i] <= 0x9FFF) << "entry " << i << " is U+" << std::hex << unsigned(table[i]);
        EXPECT_EQ(hanziTableIndex(table[i]), static_cast<int>(i));
    }
}

ParameterMap preset(const char* code) {
    auto decoded = decodeFilter(code);
    EXPECT_TRUE(decoded) << code;
    auto map = decoded ? parametersOfFilter(*decoded) : std::nullopt;
    EXPECT_TRUE(map && map->size() == 25u) << code;
    return map ? *map : ParameterMap{};
}

// The preset codes only mean their names with this table: a shifted or reordered table turns
// them into other looks (or makes them fail, and the presets silently disappear).
TEST(FilterHanziTable, PresetCodesDecodeToTheLooksTheirNamesPromise) {
    // 🌊海草ccd: cool, slightly faded, sea green.
    ParameterMap sea = preset("萌似月波差城侨光约衣持幅灵");
    EXPECT_NEAR(sea["1"], 0.25f, 0.01);     // a little brighter
    EXPECT_LT(sea["2"], 1.0f);              // lower contrast
    EXPECT_LT(sea["3"], 1.0f);              // less saturated
    EXPECT_GT(sea["3"], 0.7f);
    EXPECT_NEAR(sea["7"], 12.0f, 0.1);      // hue turned towards green
    EXPECT_LT(sea["8"], 5000.0f);           // cool white balance
    EXPECT_GT(sea["8"], 4000.0f);
    EXPECT_NEAR(sea["13"], 0.31f, 0.01);    // faded film look
    EXPECT_LT(sea["20"], 0.8f);             // flattened highlights
    EXPECT_GT(sea["21"], 0.2f);             // lifted shadows
    EXPECT_EQ(sea["22"], 1.0f);
    EXPECT_EQ(sea["23"], 1.0f);
    EXPECT_EQ(encodeFilter(makeSavedFilter("", sea)), "aatebqhcpkgyfhkhmlft09uka");

    // 🟡只有你是彩色的: people in colour, the rest black and white.
    ParameterMap you = preset("蜜约身七入纺析萌");
    EXPECT_GT(you["22"], 1.4f);
    EXPECT_EQ(you["23"], 0.0f);
    EXPECT_NEAR(you["19"], 1.37f, 0.01);    // vignette draws the eye to the person
    EXPECT_EQ(you["3"], 1.0f);
    EXPECT_EQ(you["1"], 0.0f);
    EXPECT_EQ(encodeFilter(makeSavedFilter("", you)), "asmlt22uk3v22waa");

    // 🍀自然柔和: natural and soft: small changes, soft glow, gentle tones.
    ParameterMap soft = preset("萌假世毕入何湖麦澳灵");
    EXPECT_NEAR(soft["1"], 0.15f, 0.01);
    EXPECT_NEAR(soft["5"], 0.15f, 0.01);
    EXPECT_NEAR(soft["9"], 0.30f, 0.01);
    EXPECT_NEAR(soft["10"], 12.0f, 0.1);
    EXPECT_NEAR(soft["20"], 0.85f, 0.01);
    EXPECT_NEAR(soft["21"], 0.25f, 0.01);
    for (const char* untouched : {"2", "3", "7", "8", "13", "15", "17", "22", "23", "24", "25"})
        EXPECT_EQ(soft[untouched], preset("a")[untouched]) << untouched;
}

}  // namespace
}  // namespace sorvel
