#pragma once
#include <string>

namespace sorvel {
// A random (version 4) UUID in upper-case canonical form. Any thread.
std::string makeUuid();
// True for the canonical 8-4-4-4-12 hexadecimal form.
bool isUuid(const std::string& text);
}  // namespace sorvel
