#pragma once
// Filter share codes. The letter form is "a" (the version) followed by one three-character
// group per parameter that differs from its default, in id order: the parameter's letter
// ("a" for id 1 ... "y" for id 25) and its value quantised to 1296 steps across the
// parameter's range, as two base-36 digits of "abcdefghijklmnopqrstuvwxyz0123456789". The
// Hanzi form writes the letter form two characters at a time as one character of the Hanzi
// table. Every operation is pure and runs on any thread; failure is an empty result.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

namespace sorvel {

// 0 ... 1295 as two base-36 digits.
std::optional<std::string> base36Encode(std::int64_t n);
// Exactly two alphabet characters as 0 ... 1295.
std::optional<int> base36Decode(std::string_view text);
std::optional<std::string> base36EncodeNumber(std::int64_t n);
std::optional<int> base36DecodeString(std::string_view text);

std::optional<char> getCharacterForParameterID(std::int64_t id);
std::optional<std::int64_t> getParameterIDForCharacter(char c);

// The quantised step 0 ... 1295 of `value` within [min, max], rounded half away from zero in
// 32-bit float and clamped; nothing for a value that is not finite.
std::optional<int> quantizeFilterValue(float value, float min, float max);

// The letter form of a saved filter (its "parameters" entry); nothing when the entry is
// missing or not a number map, or a changed value is not finite.
std::optional<std::string> encodeFilter(const Dictionary& filter);

// A letter or Hanzi code as a Dictionary with the single entry "parameters" holding all 25
// ids (unnamed ones at their defaults); nothing for any malformed code.
std::optional<Dictionary> decodeFilter(std::string_view code);

std::optional<std::string> base36StringToHanzi(std::string_view code);
std::optional<std::string> hanziToBase36String(std::string_view text);

// True when the first character (grapheme cluster) holds an ideograph; later characters are
// not looked at.
bool isHanziString(std::string_view text);

}  // namespace sorvel
