// The settings panel's plain logic: stored values to controls, slider labels, the drag rules,
// the blur style, the help text and the icon rows.

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "app/settings/AppIconChoices.h"
#include "app/settings/DragToClose.h"
#include "app/settings/BackgroundLuminance.h"
#include "app/settings/SettingsDescription.h"
#include "app/settings/SettingsRows.h"
#include "platform/foundation/Localization.h"

using namespace sorvel;

// A format the panel cannot show must select "RAW" and never crash or pick past the end; the
// three segments must write exactly the texts the deep-mode pipeline compares against.
TEST(SettingsLogic, SaveFormatMapsBothWays) {
    EXPECT_EQ(saveFormatSegment("RAW"), 0);
    EXPECT_EQ(saveFormatSegment("RAW+HEIC"), 1);
    EXPECT_EQ(saveFormatSegment("HEIC"), 2);
    EXPECT_EQ(saveFormatSegment(std::nullopt), 0);
    for (const char* other : {"PNG", "", "heic", "R+H", "HEIC "}) EXPECT_EQ(saveFormatSegment(other), 0) << other;
    EXPECT_EQ(saveFormatForSegment(0), "RAW");
    EXPECT_EQ(saveFormatForSegment(1), "RAW+HEIC");
    EXPECT_EQ(saveFormatForSegment(2), "HEIC");
    EXPECT_EQ(saveFormatForSegment(3), std::nullopt);
    EXPECT_EQ(saveFormatForSegment(-1), std::nullopt);
}

// Truncation, not rounding, and in the slider's own single precision: in double, the default
// 0.65 would read 64% and 0.29 would read 28%.
TEST(SettingsLogic, SliderLabelTruncatesInSinglePrecision) {
    EXPECT_EQ(sliderLabelText("质量-普通静态模式", 0.65f), "质量-普通静态模式: 65%");
    EXPECT_EQ(sliderLabelText("t", 0.999f), "t: 99%");
    EXPECT_EQ(sliderLabelText("t", 0.29f), "t: 29%");
    EXPECT_EQ(sliderLabelText("t", 1.0f), "t: 100%");
    EXPECT_EQ(sliderLabelText("t", 0.0f), "t: 0%");
    EXPECT_EQ(sliderLabelText("t", 0.0049f), "t: 0%");
    EXPECT_EQ(sliderLabelText("t", std::nanf("")), "t: 0%");
    EXPECT_EQ(sliderLabelText("t", INFINITY), "t: 0%");
}

// The rows are the store's key table: a title or segment out of place would write one option
// under another's key.
TEST(SettingsLogic, RowsMatchTheirKeys) {
    const auto& rows = settingsOptionRows();
    ASSERT_EQ(rows.size(), 15u);
    std::set<int> segmented;
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].control == OptionRow::Control::Segmented) segmented.insert(static_cast<int>(i));
        else EXPECT_TRUE(rows[i].items.empty());
    EXPECT_EQ(segmented, (std::set<int>{1, 3, 7, 8}));
    // As texts: the literals of two files need not share an address.
    EXPECT_EQ(std::vector<std::string>(rows[3].items.begin(), rows[3].items.end()),
              (std::vector<std::string>{"关", "自动", "开", "常亮"}));
    EXPECT_EQ(std::string(rows[0].title), "深度Sorvel");
    EXPECT_EQ(std::string(rows[14].title), "水印包含地点");
    EXPECT_EQ(switchKey(9), "setting_9");
    EXPECT_EQ(switchKey(14), "setting_14");
    ASSERT_EQ(settingsSliderRows().size(), 4u);
    EXPECT_EQ(std::string(settingsSliderRows()[3].key), "normal_resolution_scale");
}

// The panel must not steal a scroll that starts upward or below the top, must never move
// above its resting place, and must close on a flick or past half height, not otherwise.
TEST(SettingsLogic, DragToCloseRules) {
    EXPECT_TRUE(panelDragMayBegin(10, 0));
    EXPECT_TRUE(panelDragMayBegin(10, -5));
    EXPECT_FALSE(panelDragMayBegin(0, 0));
    EXPECT_FALSE(panelDragMayBegin(-10, 0));
    EXPECT_FALSE(panelDragMayBegin(10, 1));

    EXPECT_EQ(draggedPanelCentreY(633, 40), 673);
    EXPECT_EQ(draggedPanelCentreY(633, 0), 633);
    EXPECT_EQ(draggedPanelCentreY(633, -40), 633);

    EXPECT_TRUE(panelDragCloses(501, 430, 844));
    EXPECT_FALSE(panelDragCloses(500, 422, 844));
    EXPECT_TRUE(panelDragCloses(0, 423, 844));
    EXPECT_FALSE(panelDragCloses(100, 421, 844));
    EXPECT_FALSE(panelDragCloses(-2000, 400, 844));
}

TEST(SettingsLogic, LightBackgroundByLuminance) {
    EXPECT_FALSE(backgroundIsLight({0, 0, 0}));
    EXPECT_TRUE(backgroundIsLight({1, 1, 1}));
    EXPECT_FALSE(backgroundIsLight({0.5, 0.5, 0.5})) << "exactly 0.5 is not light";
    // Green weighs most: pure green is light, pure blue and pure red are dark.
    EXPECT_TRUE(backgroundIsLight({0, 1, 0}));
    EXPECT_FALSE(backgroundIsLight({0, 0, 1}));
    EXPECT_FALSE(backgroundIsLight({1, 0, 0}));
    EXPECT_FALSE(backgroundIsLight({1, 1}));
    EXPECT_FALSE(backgroundIsLight({}));
}

TEST(SettingsLogic, DescriptionLinesBecomeHeadingsAndBody) {
    auto parts = parseSettingsDescription("T:标题\nC:正文\nignored line\n\nC:second\nT:");
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_EQ(parts[0].kind, DescriptionPart::Kind::Heading);
    EXPECT_EQ(parts[0].text, "\n\n标题\n");
    EXPECT_EQ(parts[1].kind, DescriptionPart::Kind::Body);
    EXPECT_EQ(parts[1].text, "正文\n");
    EXPECT_EQ(parts[2].text, "second\n");
    EXPECT_EQ(parts[3].text, "\n\n\n");
    EXPECT_TRUE(parseSettingsDescription("").empty());
}

// The shipped help text must explain every option the panel shows, each heading followed by
// its explanation; a missing entry would leave the panel showing the bare key.
TEST(SettingsLogic, TheHelpTextExplainsEveryOption) {
    const std::string text = localized("settingsDescription");
    ASSERT_NE(text, "settingsDescription") << "no entry in the localisation table";
    auto parts = parseSettingsDescription(text);
    std::set<std::string> headings;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].kind != DescriptionPart::Kind::Heading) continue;
        headings.insert(parts[i].text.substr(2, parts[i].text.size() - 3));
        ASSERT_LT(i + 1, parts.size());
        EXPECT_EQ(parts[i + 1].kind, DescriptionPart::Kind::Body) << parts[i].text;
    }
    for (const OptionRow& row : settingsOptionRows()) EXPECT_TRUE(headings.count(row.title)) << row.title;
    for (const char* key : {"极端模式介绍", "灵感故事介绍", "双拍照按钮介绍"}) EXPECT_NE(localized(key), key);
}

// The picker's rows: the primary icon first, then AppIcon2 ... AppIcon15, each with a name.
TEST(SettingsLogic, IconRowsMapToAlternateNames) {
    EXPECT_EQ(alternateIconNameForRow(0), std::nullopt);
    EXPECT_EQ(alternateIconNameForRow(1), "AppIcon2");
    EXPECT_EQ(alternateIconNameForRow(14), "AppIcon15");
    std::set<std::string> names;
    for (int row = 1; row < kAppIconCount; ++row) names.insert(*alternateIconNameForRow(row));
    EXPECT_EQ(names.size(), 14u);
    EXPECT_FALSE(names.count("AppIcon1"));
    auto keys = appIconNameKeys();
    ASSERT_EQ(keys.size(), 15u);
    EXPECT_EQ(keys.front(), "图标1");
    EXPECT_EQ(keys.back(), "图标15");
    std::set<std::string> shown;
    for (const std::string& key : keys) {
        EXPECT_NE(localized(key), key) << "no name for " << key;
        shown.insert(localized(key));
    }
    EXPECT_EQ(shown.size(), 15u) << "two icons share a name";
}
