#include "Localization.h"

#include <mutex>
#include <unordered_map>

namespace sorvel {

// Generated from resources/zh-Hans.strings at build time.
extern const char kLocalizationTableText[];

namespace {

// Reads one quoted string at `i`, advancing past it.
bool readQuoted(std::string_view t, std::size_t& i, std::string& out) {
    if (i >= t.size() || t[i] != '"') return false;
    ++i;
    out.clear();
    while (i < t.size() && t[i] != '"') {
        char c = t[i++];
        if (c == '\\' && i < t.size()) {
            char e = t[i++];
            c = e == 'n' ? '\n' : e == 't' ? '\t' : e;
        }
        out += c;
    }
    if (i >= t.size()) return false;
    ++i;
    return true;
}

void skipSpaceAndComments(std::string_view t, std::size_t& i) {
    for (;;) {
        while (i < t.size() && (t[i] == ' ' || t[i] == '\t' || t[i] == '\n' || t[i] == '\r')) ++i;
        if (t.substr(i, 2) == "//") {
            while (i < t.size() && t[i] != '\n') ++i;
        } else if (t.substr(i, 2) == "/*") {
            auto end = t.find("*/", i + 2);
            i = end == std::string_view::npos ? t.size() : end + 2;
        } else {
            return;
        }
    }
}

const std::unordered_map<std::string, std::string>& table() {
    static const auto* map = [] {
        auto* m = new std::unordered_map<std::string, std::string>();
        parseStringsTable(kLocalizationTableText,
                          [](void* ctx, std::string k, std::string v) {
                              static_cast<std::unordered_map<std::string, std::string>*>(ctx)->emplace(std::move(k), std::move(v));
                          },
                          m);
        return m;
    }();
    return *map;
}

}  // namespace

bool parseStringsTable(std::string_view t, void (*add)(void*, std::string, std::string), void* ctx) {
    std::size_t i = 0;
    bool clean = true;
    std::string key, value;
    for (;;) {
        skipSpaceAndComments(t, i);
        if (i >= t.size()) return clean;
        std::size_t start = i;
        bool ok = readQuoted(t, i, key);
        if (ok) {
            skipSpaceAndComments(t, i);
            ok = i < t.size() && t[i] == '=';
            if (ok) {
                ++i;
                skipSpaceAndComments(t, i);
                ok = readQuoted(t, i, value);
            }
            if (ok) {
                skipSpaceAndComments(t, i);
                ok = i < t.size() && t[i] == ';';
                if (ok) ++i;
            }
        }
        if (ok) {
            add(ctx, key, value);
            continue;
        }
        clean = false;
        // Skip the malformed line and go on with the next.
        i = t.find('\n', std::max(start + 1, i));
        if (i == std::string_view::npos) return false;
    }
}

namespace {
std::mutex extraMutex;
std::map<std::string, std::string>* extraEntries = nullptr;
}  // namespace

ScopedLocalizationEntries::ScopedLocalizationEntries(std::map<std::string, std::string> entries) {
    std::lock_guard lock(extraMutex);
    delete extraEntries;
    extraEntries = new std::map<std::string, std::string>(std::move(entries));
}

ScopedLocalizationEntries::~ScopedLocalizationEntries() {
    std::lock_guard lock(extraMutex);
    delete extraEntries;
    extraEntries = nullptr;
}

std::string localized(std::string_view key) {
    {
        std::lock_guard lock(extraMutex);
        if (extraEntries)
            if (auto it = extraEntries->find(std::string(key)); it != extraEntries->end()) return it->second;
    }
    const auto& t = table();
    auto it = t.find(std::string(key));
    return it == t.end() ? std::string(key) : it->second;
}

}  // namespace sorvel
