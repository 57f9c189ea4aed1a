#pragma once
// The 1500 ideographs of the Hanzi share-code form. The table is part of the code format:
// two installations exchange Hanzi codes only if they hold the same characters in the same
// order, so entries are never reordered or replaced.

#include <optional>
#include <vector>

namespace sorvel {

// 1500 characters, UTF-8.
extern const char kol1500HanziMapping[];

// Entry i of the table is the i-th character of kol1500HanziMapping. Built once; any thread.
const std::vector<char32_t>& kol1500HanziArray();

// The first index holding `c`, or nothing.
std::optional<int> hanziTableIndex(char32_t c);

}  // namespace sorvel
