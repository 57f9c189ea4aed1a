#include "Story.h"

#include <vector>

namespace sorvel {

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace

std::optional<Story> Story::parse(std::string_view multiLineString) {
    auto lines = split(multiLineString, '\n');
    if (lines.size() < 4) return std::nullopt;
    auto header = split(lines[0], ' ');
    if (header.size() != 2) return std::nullopt;
    Story story{std::string(header[0]), std::string(header[1]), std::string(lines[1]), std::string(lines[2]), {}};
    for (std::size_t i = 3; i < lines.size(); ++i) {
        if (i > 3) story.content += '\n';
        story.content += lines[i];
    }
    return story;
}

std::string expandPageBreaks(std::string_view content) {
    static constexpr std::string_view marker = "huanhang";
    const std::string breaks(50, '\n');
    std::string out;
    out.reserve(content.size());
    std::size_t start = 0;
    for (std::size_t at; (at = content.find(marker, start)) != std::string_view::npos; start = at + marker.size()) {
        out += content.substr(start, at - start);
        out += breaks;
    }
    out += content.substr(start);
    return out;
}

}  // namespace sorvel
