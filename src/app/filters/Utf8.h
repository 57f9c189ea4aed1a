#pragma once
// Strict UTF-8 decoding and encoding for the share codes, and the text splitting they need, by
// ICU.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvel {

// Nothing for malformed UTF-8 (overlong forms, surrogates, values beyond U+10FFFF, cut-off
// sequences).
std::optional<std::vector<char32_t>> decodeUtf8(std::string_view text);
void appendUtf8(std::string& out, char32_t c);

// The text split into extended grapheme clusters (what a person counts as characters), each
// in canonical composed form (NFC), so that canonically equivalent texts compare equal.
// Nothing for malformed UTF-8.
std::optional<std::vector<std::u32string>> graphemeClusters(std::string_view text);

// True for scalars with the Unicode property Ideographic.
bool isIdeographic(char32_t c);

}  // namespace sorvel
