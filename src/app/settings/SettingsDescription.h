#pragma once
// The settings panel's help text: the localised "settingsDescription" is a list of lines, "T:"
// starting a heading and "C:" a paragraph of body text; other lines are skipped.

#include <string>
#include <string_view>
#include <vector>

namespace sorvel {

struct DescriptionPart {
    enum class Kind { Heading, Body };
    Kind kind;
    std::string text;  // without the prefix; a heading as "\n\n" + text + "\n", body as text + "\n"
};

std::vector<DescriptionPart> parseSettingsDescription(std::string_view text);

}  // namespace sorvel
