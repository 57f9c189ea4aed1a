#pragma once
// Localised texts. The table (Simplified Chinese) is compiled into the binary from
// resources/zh-Hans.strings; a key without an entry is shown as itself.

#include <map>
#include <string>
#include <string_view>

namespace sorvel {

// Any thread.
std::string localized(std::string_view key);

// Parses the ".strings" text form: lines of "key" = "value"; with \" \\ \n escapes and
// // or /* */ comments. Malformed lines are skipped. Exposed for tests.
bool parseStringsTable(std::string_view text, void (*add)(void* ctx, std::string key, std::string value), void* ctx);

// While alive, these entries are looked up before the table's (a test's way to see which texts
// pass through the lookup). Process-wide; not for concurrent tests.
class ScopedLocalizationEntries {
public:
    explicit ScopedLocalizationEntries(std::map<std::string, std::string> entries);
    ~ScopedLocalizationEntries();
    ScopedLocalizationEntries(const ScopedLocalizationEntries&) = delete;
    ScopedLocalizationEntries& operator=(const ScopedLocalizationEntries&) = delete;
};

}  // namespace sorvel
