#pragma once
// Story mode's schedule. A cycle starts with the opening story (index 0), after thinning out
// the rare stories so that each survives in about one cycle of ten; then one unseen story per
// eligible showing of the camera screen, at most one per `storyInterval`; once all but two
// indices are recorded as shown comes the ending story (index 1), and half a second later the
// record is cleared for the next cycle. State lives in the settings store only:
// "lastStoryTimestamp" (date) and "shownStories" (array of indices). Main thread only.

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/stories/RandomSource.h"
#include "app/stories/Story.h"

namespace sorvel {

class Button;
class ScreenController;

class StoryManager {
public:
    static StoryManager& shared();

    // Whether more than `storyInterval` seconds passed since the last story (strictly).
    bool shouldShowNewStory() const;
    // Picks the next story of the cycle, records it and the time. Nothing when no candidate is
    // left or the picked text does not parse.
    std::optional<Story> getNewStory();
    // Decides, picks and presents the story card on `host`'s view.
    void displayPopup(ScreenController& host);
    // The card of `story` in its colours, outside the schedule (nothing is recorded).
    void presentStory(ScreenController& host, const Story& story);
    // The card's "OK✨" action: the card (the button's superview) shrinks and fades with its
    // overlay, which is then removed.
    static void closePopup(Button& button);

    // The indices recorded as shown in this cycle; empty when the stored value is absent or
    // not an array of integers. Indices outside the catalogue are dropped.
    std::set<int> shownStories() const;

    // Every draw goes through this source; nullptr restores the system's.
    void setRandomSource(std::unique_ptr<RandomSource> source);
    RandomSource& random() { return *random_; }

    // The texts the manager picks from: the built-in catalogue unless a test sets others.
    std::vector<std::string> stories;

    const std::string lastStoryTimestampKey = "lastStoryTimestamp";
    const std::string shownStoriesKey = "shownStories";
    const double storyInterval = 76324.0;  // 21 h 12 min 4 s

private:
    StoryManager();
    void saveShownStories(const std::set<int>& shown) const;
    void recordTimestamp() const;
    std::optional<Story> storyAt(int index) const;

    std::unique_ptr<RandomSource> random_;
};

}  // namespace sorvel
