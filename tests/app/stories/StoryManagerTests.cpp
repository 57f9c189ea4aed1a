#include <gtest/gtest.h>

#include <set>

#include "FixedDraws.h"
#include "app/stories/Stories.h"
#include "app/stories/StoryManager.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/SettingsStore.h"

using namespace sorvel;
using namespace sorvel::testing;

namespace {

class StorySchedule : public ::testing::Test {
protected:
    void SetUp() override {
        store = SettingsStore::inMemory();
        SettingsStore::setStandard(store.get());
        clock = std::make_unique<VirtualClock>(1796579052.0);
        Clock::install(clock.get());
        mainQueue = std::make_unique<ManualMainQueue>(*clock);
        DispatchQueue::installMain(mainQueue.get());
        console = std::make_unique<ConsoleCapture>();
        manager().stories = Stories::all();
    }
    void TearDown() override {
        manager().stories = Stories::all();
        manager().setRandomSource(nullptr);
        console.reset();
        DispatchQueue::installMain(nullptr);
        mainQueue.reset();
        Clock::install(nullptr);
        clock.reset();
        SettingsStore::setStandard(nullptr);
    }
    static StoryManager& manager() { return StoryManager::shared(); }
    // The catalogue index of a story by its title.
    static int indexOf(const std::optional<Story>& story) {
        if (!story) return -1;
        const auto& all = manager().stories;
        for (std::size_t i = 0; i < all.size(); ++i)
            if (auto s = Story::parse(all[i]); s && s->name == story->name) return static_cast<int>(i);
        return -1;
    }
    static std::vector<int> rareIndices() {
        std::vector<int> rare;
        for (std::size_t i = 2; i < Stories::all().size(); ++i)
            if (Story::parse(Stories::all()[i])->rarity == "稀有") rare.push_back(static_cast<int>(i));
        return rare;
    }
    std::optional<double> storedTimestamp() const {
        auto v = store->objectForKey("lastStoryTimestamp");
        if (!v || !v->dateValue()) return std::nullopt;
        return v->dateValue()->secondsSince1970;
    }

    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<VirtualClock> clock;
    std::unique_ptr<ManualMainQueue> mainQueue;
    std::unique_ptr<ConsoleCapture> console;
};

}  // namespace

// The interval is strict: at exactly 76,324 s no story may come (a ">=" would show two stories
// in one day at the boundary), one second later it may; with nothing stored it is always due.
TEST_F(StorySchedule, IntervalIsStrictlyMoreThan76324Seconds) {
    EXPECT_TRUE(manager().shouldShowNewStory()) << "never shown: the distant past";
    store->setObject(Value(clock->date()), "lastStoryTimestamp");
    EXPECT_FALSE(manager().shouldShowNewStory());
    mainQueue->advance(76324);
    EXPECT_FALSE(manager().shouldShowNewStory());
    EXPECT_TRUE(console->contains("距离上次展示故事已过去 76324 秒"));
    mainQueue->advance(0.5);
    EXPECT_TRUE(manager().shouldShowNewStory());
    store->setObject(Value("yesterday"), "lastStoryTimestamp");
    EXPECT_TRUE(manager().shouldShowNewStory()) << "a value that is not a date counts as never";
}

// A new cycle thins the rare stories in ascending order with one draw each, keeps those drawn
// above 90, records the opening story and the time, and returns the opening story.
TEST_F(StorySchedule, NewCycleThinsRareStoriesAndOpens) {
    auto rare = rareIndices();
    ASSERT_EQ(rare.size(), 7u);
    // The first rare story is kept (91), the second thinned at the boundary (90), the rest
    // thinned (1).
    FixedDraws& draws = useDraws(1, {91, 90});
    auto story = manager().getNewStory();
    EXPECT_EQ(indexOf(story), 0);
    ASSERT_EQ(draws.asked.size(), 7u) << "one draw per rare story, none for ordinary ones";
    for (const auto& range : draws.asked) EXPECT_EQ(range, std::make_pair(1, 100));

    std::set<int> expected = {0};
    for (std::size_t i = 1; i < rare.size(); ++i) expected.insert(rare[i]);
    EXPECT_EQ(manager().shownStories(), expected);
    EXPECT_EQ(storedTimestamp(), clock->now());

    auto lines = console->lines();
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[0], "处理稀有故事并展示开头故事");
    EXPECT_EQ(lines[1], "稀有故事 " + std::to_string(rare[0]) + " 保留");
    EXPECT_EQ(lines[2], "稀有故事 " + std::to_string(rare[1]) + " 被标记为已展示");
}

// Two whole cycles with every rare story kept: opening, the twenty others drawn one by one
// until 20 indices are recorded (one candidate is skipped), then the ending story; the record
// is cleared half a second later and the next story opens a new cycle.
TEST_F(StorySchedule, EndingComesOnceTwentyIndicesAreShownThenANewCycleOpens) {
    useDraws(100);  // keep every rare story; each pick takes the last candidate
    EXPECT_EQ(indexOf(manager().getNewStory()), 0);
    std::set<int> seen;
    for (int i = 0; i < 19; ++i) {
        int index = indexOf(manager().getNewStory());
        EXPECT_GE(index, 2);
        EXPECT_TRUE(seen.insert(index).second) << "story " << index << " came twice";
    }
    EXPECT_EQ(manager().shownStories().size(), 20u);
    EXPECT_EQ(console->indexOf("展示结尾故事"), -1);

    clock->setNow(clock->now() + 100);
    EXPECT_EQ(indexOf(manager().getNewStory()), 1);
    EXPECT_TRUE(console->contains("展示结尾故事"));
    EXPECT_EQ(storedTimestamp(), clock->now());
    EXPECT_FALSE(manager().shownStories().contains(1)) << "the ending is not recorded";
    mainQueue->advance(0.4);
    EXPECT_TRUE(store->objectForKey("shownStories"));
    mainQueue->advance(0.2);
    EXPECT_FALSE(store->objectForKey("shownStories"));
    EXPECT_TRUE(console->contains("清空已展示故事列表"));

    EXPECT_EQ(indexOf(manager().getNewStory()), 0);
    EXPECT_EQ(console->indexOf("处理稀有故事并展示开头故事", 1), console->indexOf("清空已展示故事列表") + 1);
}

// With every rare story thinned, a cycle is the opening, the ordinary stories (all but at most
// one of them) in the order drawn, and the ending; no rare story appears.
TEST_F(StorySchedule, AllRareThinnedGivesOpeningOrdinaryStoriesEnding) {
    useDraws(1);  // thin every rare story; each pick takes the second candidate
    std::vector<int> order;
    for (int i = 0; i < 30 && (order.empty() || order.back() != 1); ++i) order.push_back(indexOf(manager().getNewStory()));
    ASSERT_FALSE(order.empty());
    EXPECT_EQ(order.front(), 0);
    EXPECT_EQ(order.back(), 1);
    std::set<int> ordinary;
    for (std::size_t i = 1; i + 1 < order.size(); ++i) {
        auto story = Story::parse(Stories::all()[order[i]]);
        EXPECT_EQ(story->rarity, "普通") << "index " << order[i];
        ordinary.insert(order[i]);
    }
    EXPECT_EQ(ordinary.size(), order.size() - 2) << "no story twice";
    EXPECT_GE(ordinary.size(), 12u);
    EXPECT_LE(ordinary.size(), 13u);
}

// A damaged record (another type, or an array holding something other than integers) must not
// stop story mode: it counts as empty and a new cycle opens. Indices outside the catalogue do
// not count towards the ending.
TEST_F(StorySchedule, MalformedShownStoriesStartsANewCycle) {
    useDraws(1);
    store->setObject(Value("0,2,3"), "shownStories");
    EXPECT_EQ(indexOf(manager().getNewStory()), 0);

    store->setObject(Value(Array{Value(0), Value("2")}), "shownStories");
    EXPECT_EQ(indexOf(manager().getNewStory()), 0);

    Array stale{Value(0)};
    for (int i = 100; i < 125; ++i) stale.emplace_back(i);
    store->setObject(Value(std::move(stale)), "shownStories");
    EXPECT_EQ(manager().shownStories(), std::set<int>{0});
    EXPECT_GE(indexOf(manager().getNewStory()), 2) << "an ordinary story, not the ending";
}

// A picked text that does not parse yields nothing, but its index and the time are recorded,
// so the same broken text is not picked again tomorrow.
TEST_F(StorySchedule, UnparsablePickIsRecordedAndYieldsNothing) {
    manager().stories = {"普通 粉色\n开头\n🎞️\n正文", "普通 粉色\n结尾\n🎞️\n正文", "普通  粉色\n坏的\n📷\n正文",
                         "普通 黑白\n好的\n📷\n正文", "稀有 随机\n稀有\n📷\n正文"};
    useDraws(0);  // rarity draws give 1 (thinned); picks take the first candidate
    EXPECT_EQ(manager().getNewStory()->name, "开头");
    EXPECT_EQ(manager().shownStories(), (std::set<int>{0, 4}));
    clock->setNow(clock->now() + 10);
    EXPECT_FALSE(manager().getNewStory());
    EXPECT_EQ(manager().shownStories(), (std::set<int>{0, 2, 4}));
    EXPECT_EQ(storedTimestamp(), clock->now());
    EXPECT_EQ(manager().getNewStory()->name, "结尾") << "3 of 5 shown: the ending";
}
