#pragma once
// One story of the catalogue, parsed from its text:
//
//   line 1   rarity and colour scheme, one space apart ("普通 粉色", "稀有 随机")
//   line 2   title
//   line 3   emoji line
//   line 4…  content, line breaks kept; a line may hold the page-break marker "huanhang"

#include <optional>
#include <string>
#include <string_view>

namespace sorvel {

struct Story {
    std::string rarity;
    std::string color;
    std::string name;
    std::string emojis;
    std::string content;

    // Nothing for a text of fewer than four lines or a header that is not exactly two words
    // (two spaces in a row make three).
    static std::optional<Story> parse(std::string_view multiLineString);
};

// The content as the card shows it: every "huanhang" becomes 50 line breaks, so what follows
// it comes into view only after scrolling on.
std::string expandPageBreaks(std::string_view content);

}  // namespace sorvel
