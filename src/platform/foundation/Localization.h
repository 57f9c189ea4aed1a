#pragma once
// Localised texts. The table (Simplified Chinese) is compiled into the binary from
// resources/zh-Hans.strings; a key without an entry is shown as itself.

#include <string>
#include <string_view>

namespace sorvel {

// Any thread.
std::string localized(std::string_view key);

// Parses the ".strings" text form: lines of "key" = "value"; with \" \\ \n escapes and
// // or /* */ comments. Malformed lines are skipped. Exposed for tests.
bool parseStringsTable(std::string_view text, void (*add)(void* ctx, std::string key, std::string value), void* ctx);

}  // namespace sorvel
