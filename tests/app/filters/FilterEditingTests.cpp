// The editor's rules without the screen: what a row accepts, and what the list operations do
// to filters that share a name. The screen-level cases are in tests/app/FilterEditorTests.cpp.

#include <gtest/gtest.h>

#include <cmath>

#include "app/filters/FilterEdits.h"
#include "app/filters/FilterParameter.h"
#include "app/filters/FilterStore.h"
#include "app/filters/ParameterText.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/SettingsStore.h"

namespace sorvel {
namespace {

const FilterParameter& exposure() { return *findFilterParameter(1); }
const FilterParameter& temperature() { return *findFilterParameter(8); }

// What people type into a field: signs, stray spaces, commas, exponents, huge numbers. Text
// that is not a number must change nothing; a number outside the range must never reach the
// slider (no clamping).
TEST(ParameterText, TypedTextIsAcceptedIgnoredOrRefusedNeverClamped) {
    using Kind = TextEntryOutcome::Kind;
    struct Case {
        const FilterParameter* parameter;
        const char* text;
        Kind kind;
        float slider;
        const char* rewritten;
    };
    const Case cases[] = {
        {&exposure(), "3.5", Kind::Accepted, 3.5f, ""},
        {&exposure(), "+1", Kind::Accepted, 1.0f, ""},
        {&exposure(), "-4", Kind::Accepted, -4.0f, ""},
        {&exposure(), ".5", Kind::Accepted, 0.5f, ""},
        {&exposure(), "2e-1", Kind::Accepted, 0.2f, ""},
        {&exposure(), "12.345", Kind::Refused, 0.25f, "0.25"},
        {&exposure(), "-4.001", Kind::Refused, 0.25f, "0.25"},
        {&exposure(), "1e40", Kind::Refused, 0.25f, "0.25"},
        {&exposure(), "nan", Kind::Refused, 0.25f, "0.25"},
        {&exposure(), "", Kind::Ignored, 0.25f, ""},
        {&exposure(), " 1", Kind::Ignored, 0.25f, ""},
        {&exposure(), "1,5", Kind::Ignored, 0.25f, ""},
        {&exposure(), "--1", Kind::Ignored, 0.25f, ""},
        {&exposure(), "+-1", Kind::Ignored, 0.25f, ""},
        {&temperature(), "7000.5", Kind::Ignored, 6000.0f, ""},
        {&temperature(), "6500", Kind::Accepted, 6500.0f, ""},
        {&temperature(), "9001", Kind::Refused, 6543.5f, "6544"},
        {&temperature(), "99999999999999999999", Kind::Ignored, 6000.0f, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        float before = c.kind == Kind::Accepted ? 0.25f : c.slider;
        auto outcome = parameterTextEntered(*c.parameter, c.text, before);
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_FLOAT_EQ(outcome.sliderValue, c.slider);
        EXPECT_EQ(outcome.rewrittenText, c.rewritten);
    }
}

// Whole numbers round half away from zero on both sides of zero and never show "-0"; floats
// show two decimals with the usual rounding of the formatter.
TEST(ParameterText, SlidersSnapAndFormat) {
    EXPECT_EQ(parameterSliderMoved(temperature(), 6543.6f).text, "6544");
    EXPECT_EQ(parameterSliderMoved(temperature(), 6543.6f).sliderValue, 6544.0f);
    EXPECT_EQ(parameterSliderMoved(temperature(), 6543.5f).sliderValue, 6544.0f);
    EXPECT_EQ(parameterSliderMoved(temperature(), 6543.49f).sliderValue, 6543.0f);
    EXPECT_EQ(roundHalfAwayFromZero(-2.5f), -3.0f);
    FilterParameter signedWhole{99, "x", -10, 10, 0, 1};
    EXPECT_EQ(parameterValueText(signedWhole, -0.4f), "0");
    EXPECT_EQ(parameterValueText(signedWhole, -2.5f), "-3");
    EXPECT_EQ(parameterSliderMoved(exposure(), 1.23456f).text, "1.23");
    EXPECT_FLOAT_EQ(parameterSliderMoved(exposure(), 1.23456f).sliderValue, 1.23456f);
    EXPECT_EQ(parameterValueText(exposure(), -4.0f), "-4.00");
}

class FilterEdits : public ::testing::Test {
protected:
    void SetUp() override {
        store = SettingsStore::inMemory();
        SettingsStore::setStandard(store.get());
    }
    void TearDown() override { SettingsStore::setStandard(nullptr); }
    std::vector<Dictionary> stored() {
        std::vector<Dictionary> list;
        loadFiltersFromUserDefaults(list);
        return list;
    }
    std::unique_ptr<SettingsStore> store;
};

// Names need not be unique: every operation must touch the first filter of the selection's
// name only, and renaming must not steal another filter's name.
TEST_F(FilterEdits, DuplicateNamesTouchOnlyTheFirstAndRenamesStayUnique) {
    std::vector<Dictionary> filters;
    ASSERT_TRUE(appendNewFilter(filters, "A"));
    ASSERT_TRUE(appendNewFilter(filters, "B"));
    ASSERT_TRUE(appendNewFilter(filters, "B"));
    EXPECT_FALSE(appendNewFilter(filters, ""));
    EXPECT_EQ(uniqueFilterName(filters, "A"), "A1");
    EXPECT_EQ(uniqueFilterName(filters, "C"), "C");

    std::optional<Dictionary> selected = filters[1];
    ParameterMap rows = defaultParameterMap();
    rows["1"] = 2.0f;
    ASSERT_TRUE(writeBackSelectedFilter(filters, selected, rows));
    EXPECT_EQ(parametersOfFilter(stored()[1])->at("1"), 2.0f);
    EXPECT_EQ(parametersOfFilter(stored()[2])->at("1"), 0.0f) << "the second \"B\" must stay as it was";

    // Renaming the first "B" to "A" gives "A1"; renaming it to "A" again, once "A1" exists, "A2".
    EXPECT_EQ(saveSelectedFilter(filters, selected, "A", rows), "A1");
    EXPECT_EQ(*nameOfFilter(stored()[1]), "A1");
    EXPECT_EQ(saveSelectedFilter(filters, selected, "A", rows), "A2");
    EXPECT_EQ(saveSelectedFilter(filters, selected, "A2", rows), "A2") << "an unchanged name is kept";
    EXPECT_EQ(*nameOfFilter(stored()[2]), "B");

    ASSERT_TRUE(resetSelectedFilterParameter(filters, selected, "1", 0.0f));
    EXPECT_EQ(parametersOfFilter(stored()[1])->at("1"), 0.0f);

    ASSERT_TRUE(deleteSelectedFilter(filters, selected));
    EXPECT_FALSE(selected) << "a deleted filter must not stay selected";
    ASSERT_EQ(stored().size(), 2u);
    EXPECT_EQ(*nameOfFilter(stored()[1]), "B");

    ConsoleCapture console;
    EXPECT_FALSE(deleteSelectedFilter(filters, selected));
    EXPECT_TRUE(console.contains("没有选中任何滤镜"));
    EXPECT_FALSE(writeBackSelectedFilter(filters, selected, rows));
    EXPECT_FALSE(saveSelectedFilter(filters, selected, "X", rows));
    EXPECT_EQ(stored().size(), 2u);
}

}  // namespace
}  // namespace sorvel
