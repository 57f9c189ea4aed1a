#pragma once
// The `--set KEY=VALUE` settings of the shoot and screenshot commands, written to the store
// before the camera starts.

#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Value.h"

namespace sorvel {

class SettingsStore;

// Writes each setting. `isFirstLaunch=true` says the welcome was answered, and a welcomed home
// holds the defaults the welcome registers (resolution scales, qualities, ...): they are
// registered too, where the key has no value, or a fresh home skipping the welcome would read
// a resolution scale of 0 and save 2 x 2 pictures.
void applyCommandSettings(SettingsStore& store, const std::vector<std::pair<std::string, Value>>& settings);

}  // namespace sorvel
