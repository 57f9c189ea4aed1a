#include <gtest/gtest.h>

#include <map>
#include <set>

#include "FixedDraws.h"
#include "app/stories/Stories.h"
#include "app/stories/Story.h"
#include "app/stories/StoryColors.h"

using namespace sorvel;
using namespace sorvel::testing;

namespace {

int countOf(const std::string& text, std::string_view what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

}  // namespace

// The header must split into exactly two words and the text needs its three fixed lines plus
// content; a parser that split on runs of spaces or accepted a bare title would show stories
// with an empty colour or title.
TEST(Story, ParsesFourLinesAndRejectsMalformedHeaders) {
    auto story = Story::parse("稀有 随机\n标题\n📷\n第一行\n\nhuanhang 第三行");
    ASSERT_TRUE(story);
    EXPECT_EQ(story->rarity, "稀有");
    EXPECT_EQ(story->color, "随机");
    EXPECT_EQ(story->name, "标题");
    EXPECT_EQ(story->emojis, "📷");
    EXPECT_EQ(story->content, "第一行\n\nhuanhang 第三行");

    auto minimal = Story::parse("普通 粉色\n标题\n📷\n");
    ASSERT_TRUE(minimal) << "four lines, the last one empty";
    EXPECT_EQ(minimal->content, "");

    EXPECT_FALSE(Story::parse("普通 粉色\n标题\n📷")) << "three lines";
    EXPECT_FALSE(Story::parse(""));
    EXPECT_FALSE(Story::parse("普通  粉色\n标题\n📷\n正文")) << "two spaces make three words";
    EXPECT_FALSE(Story::parse("普通 粉色 多余\n标题\n📷\n正文"));
    EXPECT_FALSE(Story::parse("普通\n标题\n📷\n正文")) << "one word";
    EXPECT_FALSE(Story::parse(" 普通 粉色\n标题\n📷\n正文")) << "a leading space is a third, empty word";
}

// The marker is a page break: exactly fifty line breaks each time, and the text around it
// untouched.
TEST(Story, PageBreakBecomesFiftyLineBreaks) {
    EXPECT_EQ(expandPageBreaks("前huanhang后"), "前" + std::string(50, '\n') + "后");
    EXPECT_EQ(expandPageBreaks("a\nhuanhang\nb"), "a\n" + std::string(50, '\n') + "\nb");
    EXPECT_EQ(expandPageBreaks("huanhanghuanhang"), std::string(100, '\n'));
    EXPECT_EQ(expandPageBreaks("没有分页的一行\n第二行"), "没有分页的一行\n第二行");
    EXPECT_EQ(expandPageBreaks("huanhan"), "huanhan");
}

// The catalogue is product content written by hand: a story that does not parse would never be
// shown, a wrong header would break the cycle (opening and ending must be ordinary pink) or
// the one-in-ten rarity, and a page break used twice or not at all changes the reading.
TEST(Story, CatalogueHasTheAgreedComposition) {
    const auto& all = Stories::all();
    ASSERT_EQ(all.size(), 22u);
    std::map<std::string, int> headers;
    std::set<std::string> titles;
    int withPageBreak = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE("story " + std::to_string(i));
        const std::string& text = all[i];
        auto story = Story::parse(text);
        ASSERT_TRUE(story);
        int lines = countOf(text, "\n") + 1;
        EXPECT_GE(lines, 7);
        EXPECT_LE(lines, 33);
        EXPECT_FALSE(story->name.empty());
        EXPECT_TRUE(titles.insert(story->name).second) << "title used twice: " << story->name;
        EXPECT_FALSE(story->emojis.empty());
        EXPECT_LE(story->emojis.size(), 32u) << "the emoji line is a short run";
        EXPECT_EQ(story->content.find("\n\n\n"), std::string::npos) << "at most one blank line between paragraphs";
        EXPECT_NE(story->content.back(), '\n');
        int breaks = countOf(text, "huanhang");
        EXPECT_LE(breaks, 1);
        withPageBreak += breaks;
        ++headers[story->rarity + " " + story->color];
    }
    EXPECT_EQ(Story::parse(all[0])->rarity + " " + Story::parse(all[0])->color, "普通 粉色");
    EXPECT_EQ(Story::parse(all[1])->rarity + " " + Story::parse(all[1])->color, "普通 粉色");
    EXPECT_EQ(headers, (std::map<std::string, int>{{"普通 粉色", 9}, {"普通 黑白", 6}, {"稀有 随机", 6}, {"稀有 黑白", 1}}));
    EXPECT_EQ(withPageBreak, 11);
}

// Pink and black schemes are fixed; "随机" must reach all five pairs through the one random
// source, and an unknown scheme falls back to black on white rather than drawing.
TEST(Story, ColourSchemes) {
    FixedDraws none(0);
    StoryColors pink = storyColors("粉色", none);
    EXPECT_NEAR(pink.text.redF(), 0.905, 1e-3);
    EXPECT_NEAR(pink.text.greenF(), 0.447, 1e-3);
    EXPECT_NEAR(pink.text.blueF(), 0.58, 1e-3);
    EXPECT_EQ(pink.card, QColor(Qt::white));
    EXPECT_EQ(storyColors("黑白", none).text, QColor(Qt::black));
    EXPECT_EQ(storyColors("蓝色", none).text, QColor(Qt::black));
    EXPECT_EQ(storyColors("蓝色", none).card, QColor(Qt::white));
    EXPECT_TRUE(none.asked.empty()) << "only the random scheme draws";

    const double expected[5][6] = {{0.1, 0.2, 0.4, 0.82, 0.88, 0.93},
                                   {0.24, 0.47, 0.27, 1.0, 0.96, 0.87},
                                   {0.6, 0.2, 0.2, 1.0, 0.87, 0.87},
                                   {0.4, 0.3, 0.55, 0.93, 0.89, 0.95},
                                   {0.2, 0.3, 0.6, 1.0, 1.0, 0.88}};
    FixedDraws draws(0, {0, 1, 2, 3, 4});
    for (const auto& e : expected) {
        StoryColors c = storyColors("随机", draws);
        EXPECT_NEAR(c.text.redF(), e[0], 1e-3);
        EXPECT_NEAR(c.text.greenF(), e[1], 1e-3);
        EXPECT_NEAR(c.text.blueF(), e[2], 1e-3);
        EXPECT_NEAR(c.card.redF(), e[3], 1e-3);
        EXPECT_NEAR(c.card.greenF(), e[4], 1e-3);
        EXPECT_NEAR(c.card.blueF(), e[5], 1e-3);
    }
    ASSERT_EQ(draws.asked.size(), 5u);
    EXPECT_EQ(draws.asked[0], std::make_pair(0, 4));
}
