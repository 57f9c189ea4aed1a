#include "app/settings/SettingsDescription.h"

namespace sorvel {

std::vector<DescriptionPart> parseSettingsDescription(std::string_view text) {
    std::vector<DescriptionPart> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (line.starts_with("T:"))
            parts.push_back({DescriptionPart::Kind::Heading, "\n\n" + std::string(line.substr(2)) + "\n"});
        else if (line.starts_with("C:"))
            parts.push_back({DescriptionPart::Kind::Body, std::string(line.substr(2)) + "\n"});
        start = end + 1;
    }
    return parts;
}

}  // namespace sorvel
