#include "StoryManager.h"

#include <cstdio>

#include "app/stories/Stories.h"
#include "app/stories/StoryCard.h"
#include "app/stories/StoryColors.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/ui/ScreenController.h"

namespace sorvel {

StoryManager& StoryManager::shared() {
    static StoryManager manager;
    return manager;
}

StoryManager::StoryManager() : stories(Stories::all()), random_(std::make_unique<SystemRandomSource>()) {}

void StoryManager::setRandomSource(std::unique_ptr<RandomSource> source) {
    random_ = source ? std::move(source) : std::make_unique<SystemRandomSource>();
}

bool StoryManager::shouldShowNewStory() const {
    Date last = Date::distantPast();
    if (auto stored = SettingsStore::standard().objectForKey(lastStoryTimestampKey))
        if (auto date = stored->dateValue()) last = *date;
    double elapsed = Clock::current().now() - last.secondsSince1970;
    char line[96];
    std::snprintf(line, sizeof line, "距离上次展示故事已过去 %.0f 秒", elapsed);
    consolePrint(line);
    return storyInterval < elapsed;
}

std::set<int> StoryManager::shownStories() const {
    std::set<int> shown;
    auto stored = SettingsStore::standard().arrayForKey(shownStoriesKey);
    if (!stored) return shown;
    for (const Value& entry : *stored) {
        auto index = entry.integerValue();
        if (!index) return {};
        // A record written by a build with a longer catalogue may name stories that no longer
        // exist; counting them would bring the ending story early.
        if (*index >= 0 && *index < static_cast<std::int64_t>(stories.size())) shown.insert(static_cast<int>(*index));
    }
    return shown;
}

void StoryManager::saveShownStories(const std::set<int>& shown) const {
    Array list;
    for (int index : shown) list.emplace_back(index);
    SettingsStore::standard().setObject(Value(std::move(list)), shownStoriesKey);
}

void StoryManager::recordTimestamp() const {
    SettingsStore::standard().setObject(Value(Clock::current().date()), lastStoryTimestampKey);
}

std::optional<Story> StoryManager::storyAt(int index) const {
    if (index < 0 || index >= static_cast<int>(stories.size())) return std::nullopt;
    return Story::parse(stories[index]);
}

std::optional<Story> StoryManager::getNewStory() {
    std::set<int> shown = shownStories();
    const int n = static_cast<int>(stories.size());

    if (shown.empty()) {
        consolePrint("处理稀有故事并展示开头故事");
        for (int index = 2; index < n; ++index) {
            auto story = storyAt(index);
            if (!story || story->rarity != "稀有") continue;
            int draw = drawBetween(*random_, 1, 100);
            if (draw <= 90) {
                consolePrint("稀有故事 " + std::to_string(index) + " 被标记为已展示");
                shown.insert(index);
                saveShownStories(shown);
            } else {
                consolePrint("稀有故事 " + std::to_string(index) + " 保留");
            }
        }
        shown.insert(0);
        saveShownStories(shown);
        recordTimestamp();
        return storyAt(0);
    }

    if (static_cast<int>(shown.size()) >= n - 2) {
        consolePrint("展示结尾故事");
        recordTimestamp();
        DispatchQueue::main().asyncAfter(0.5, [key = shownStoriesKey] {
            SettingsStore::standard().removeObjectForKey(key);
            consolePrint("清空已展示故事列表");
        });
        return storyAt(1);
    }

    std::vector<int> candidates;
    for (int index = 2; index < n; ++index)
        if (!shown.contains(index)) candidates.push_back(index);
    if (candidates.empty()) {
        consolePrint("没有新的故事可以展示");
        return std::nullopt;
    }
    int picked = candidates[drawBetween(*random_, 0, static_cast<int>(candidates.size()) - 1)];
    consolePrint("展示普通故事");
    shown.insert(picked);
    saveShownStories(shown);
    recordTimestamp();
    return storyAt(picked);
}

void StoryManager::displayPopup(ScreenController& host) {
    if (!shouldShowNewStory()) {
        consolePrint("未到展示新故事的时间");
        return;
    }
    auto story = getNewStory();
    if (!story) {
        consolePrint("没有可用的故事");
        return;
    }
    recordTimestamp();
    presentStory(host, *story);
}

void StoryManager::presentStory(ScreenController& host, const Story& story) {
    StoryColors colors = storyColors(story.color, *random_);
    StoryCardContent card;
    card.title = QString::fromStdString(story.name);
    card.emojis = QString::fromStdString(story.emojis);
    card.content = QString::fromStdString(story.content);
    card.textColor = colors.text;
    card.cardColor = colors.card;
    card.rare = story.rarity != "普通";
    presentStoryCard(host.view(), card, [](Button& button) { closePopup(button); });
}

void StoryManager::closePopup(Button& button) { dismissStoryCard(button, StoryCardExit::Shrink); }

}  // namespace sorvel
