#pragma once
// The settings store's keys: every key the app reads or writes, its stored type and the
// seed table written on first use. Features still read and write the store directly with the
// literal key at the moment of use; this table serves seeding, the command line and tests.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Value.h"

namespace sorvel {

enum class SettingType { Bool, Integer, Real, String, Data, Date, Array };

struct SettingKey {
    const char* key;
    SettingType type;
};

// The complete key table.
const std::vector<SettingKey>& settingKeys();
std::optional<SettingType> settingType(std::string_view key);
const char* settingTypeName(SettingType type);

// The twenty seed entries with their stored types (bool, integer, double, string).
const Dictionary& settingSeeds();

// Parses a command-line text as a value of `type` ("true"/"false" for bools; integers; reals;
// strings as they are; ISO 8601 for dates). Nothing when the text does not fit the type.
std::optional<Value> parseSettingValue(SettingType type, std::string_view text);

}  // namespace sorvel
