#pragma once
// The colours of a story card by the story's colour scheme: "粉色" pink text, "黑白" black text,
// both on white; "随机" one of five text-and-card pairs; anything else black on white.

#include <QColor>
#include <string_view>

#include "app/stories/RandomSource.h"

namespace sorvel {

struct StoryColors {
    QColor text;
    QColor card;
};

// Draws from `random` only for the "随机" scheme.
StoryColors storyColors(std::string_view scheme, RandomSource& random);

}  // namespace sorvel
