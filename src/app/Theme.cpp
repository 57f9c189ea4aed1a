#include "Theme.h"

#include "platform/foundation/SettingsStore.h"

namespace sorvel {

std::optional<QColor> colorFromHex(std::string_view t) {
    if (t.size() != 7 || t[0] != '#') return std::nullopt;
    int v[3];
    for (int i = 0; i < 3; ++i) {
        int n = 0;
        for (int j = 0; j < 2; ++j) {
            char c = t[1 + i * 2 + j];
            int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (d < 0) return std::nullopt;
            n = n * 16 + d;
        }
        v[i] = n;
    }
    return QColor(v[0], v[1], v[2]);
}

static QColor stored(const char* key, const char* fallback) {
    auto text = SettingsStore::standard().stringForKey(key);
    if (text)
        if (auto c = colorFromHex(*text)) return *c;
    return *colorFromHex(fallback);
}

QColor themeBackgroundColor() { return stored("theme_backgroundColor", "#000000"); }
QColor themeTextColor() { return stored("theme_textAndIconColor", "#FFFFFF"); }

}  // namespace sorvel
