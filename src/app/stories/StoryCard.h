#pragma once
// The card that stories and the first-launch guides are shown in: a dimmed overlay over the
// whole screen (it takes every touch that misses the card) and a centred card, 0.8 of the
// screen each way, with a scrolling column (an optional rarity label, the title, the emoji
// line, the text, room at the end) and an "OK✨" button fixed near the card's bottom edge.
// The card springs in from one screen height above. Main thread only.
//
// Accessibility identifiers, for tests and tools: "storyOverlay", "storyCard",
// "storyScrollView", "storyRarityLabel", "storyTitle", "storyEmojis", "storyContent",
// "storyOKButton".

#include <QColor>
#include <QString>
#include <functional>

namespace sorvel {

class Button;
class View;

struct StoryCardContent {
    QString title;
    QString emojis;
    QString content;  // as written: each "huanhang" becomes 50 line breaks on the card
    QColor textColor = Qt::black;
    QColor cardColor = Qt::white;
    bool rare = false;  // shows "稀有故事，只有很少一部分人会看到" at the top
};

// Builds the card on `host` (the screen's root view) and starts its entrance; `okAction` is
// the button's action, given the button. Returns the overlay, owned by `host`. An alert already
// on `host` stays above the card, as a system alert would.
View* presentStoryCard(View* host, const StoryCardContent& content, std::function<void(Button&)> okAction);

enum class StoryCardExit {
    Shrink,         // scales to 0.1 where it is
    ShrinkAndDrop,  // scales to 0.1 while moving 300 points down
};

// Closes the card that holds `okButton` (the button's superview; the overlay is the card's
// superview): a 1.2 s spring shrinks and fades the card, the overlay fades with it and is
// removed at the end.
void dismissStoryCard(Button& okButton, StoryCardExit exit);

// Scrolls the text of the topmost card on `host` down by `points` (clamped to its length), as
// a reader would; for the screenshot tool. False when no card is shown.
bool scrollTopStoryCard(View* host, double points);

}  // namespace sorvel
