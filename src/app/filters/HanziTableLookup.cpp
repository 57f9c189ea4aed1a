#include <string_view>
#include <unordered_map>

#include "app/filters/HanziTable.h"
#include "app/filters/Utf8.h"

namespace sorvel {

const std::vector<char32_t>& kol1500HanziArray() {
    static const std::vector<char32_t> table = [] {
        // The literal is ours and valid UTF-8; a decoding failure here would be a build fault.
        auto decoded = decodeUtf8(std::string_view(kol1500HanziMapping));
        return decoded ? *decoded : std::vector<char32_t>{};
    }();
    return table;
}

std::optional<int> hanziTableIndex(char32_t c) {
    static const std::unordered_map<char32_t, int> index = [] {
        std::unordered_map<char32_t, int> m;
        const auto& table = kol1500HanziArray();
        for (int i = 0; i < static_cast<int>(table.size()); ++i) m.emplace(table[i], i);  // first wins
        return m;
    }();
    auto it = index.find(c);
    if (it == index.end()) return std::nullopt;
    return it->second;
}

}  // namespace sorvel
